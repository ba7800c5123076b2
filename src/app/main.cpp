#include "customization.h"
#include "headlesscommand.h"
#include "mainwindow.h"
#include "serialportlist.h"
#include "settingsfile.h"
#include "viewerwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace
{

// The headless modes' options and the window's own.
void addWindowOptions(QCommandLineParser &parser)
{
    addHeadlessOptions(parser);
    parser.addOption({"open", "Opens FILE.csv in a viewer window of its own.", "FILE.csv"});
}

// Whether the window system can be reached; only X11 and Wayland say so beforehand.
bool hasDisplay()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#else
    return true;
#endif
}

// The arguments without the options that QApplication takes for itself (-platform NAME,
// -style=NAME, -reverse, ...), which it removes before the program's parser sees them.
QStringList withoutQtOptions(int argc, char *argv[])
{
    static const QStringList withValue = {"platform",
                                          "platformpluginpath",
                                          "platformtheme",
                                          "plugin",
                                          "qwindowgeometry",
                                          "qwindowicon",
                                          "qwindowtitle",
                                          "display",
                                          "geometry",
                                          "style",
                                          "stylesheet",
                                          "session",
                                          "name",
                                          "title",
                                          "qmljsdebugger"};
    static const QStringList alone = {"reverse", "nograb", "dograb", "sync", "widgetcount"};
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        QString name = argument;
        while (name.startsWith('-'))
            name.remove(0, 1);
        const bool hasValue = name.contains('=');
        name = name.section('=', 0, 0);
        if (i > 0 && argument.startsWith('-') && withValue.contains(name)) {
            if (!hasValue)
                ++i;
            continue;
        }
        if (i > 0 && argument.startsWith('-') && alone.contains(name))
            continue;
        arguments.append(argument);
    }
    return arguments;
}

// The window's options, checked before the window system starts: a mistyped option gets
// the usage error, and a missing display one line, instead of the window system's abort.
// -1 to go on, otherwise the exit code.
int checkWindowCommandLine(int argc, char *argv[])
{
    const QStringList arguments = withoutQtOptions(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    addWindowOptions(parser);
    const int code = parseCommandLine(parser, arguments, "quva-explorer");
    if (code >= 0)
        return code;
    if (!hasDisplay()) {
        std::fprintf(stderr, "quva-explorer: no display for the window (DISPLAY and "
                             "WAYLAND_DISPLAY are not set); --record, --subscribe, --help and "
                             "--version need none\n");
        return 1;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
#ifndef Q_OS_WIN
    // Without TZ glibc re-reads the zone file on every local-time conversion; naming
    // the same zone explicitly makes each conversion several times cheaper.
    if (!std::getenv("TZ"))
        setenv("TZ", ":/etc/localtime", 1);
#endif

    // The help, the version and recording without a window need no display, so they
    // get no GUI application. Destroyed in reverse order: window, settings, application.
    std::unique_ptr<QCoreApplication> application;
    if (asksForHelp(argc, argv) || asksForHeadlessRun(argc, argv)) {
        application = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        const int code = checkWindowCommandLine(argc, argv);
        if (code >= 0)
            return code;
        application = std::make_unique<QApplication>(argc, argv);
        // The desktop entry's name, so that the desktop groups the window with its entry.
        QGuiApplication::setDesktopFileName("com.tarnwell.QuvaExplorer");
    }
    QCoreApplication::setApplicationVersion(QUVA_VERSION);

    QString error;
    if (!enterDataFolderIfAsked(argc, argv, error)) {
        std::fprintf(stderr, "quva-explorer: %s\n", qPrintable(error));
        if (qobject_cast<QApplication *>(application.get()))
            QMessageBox::critical(nullptr, "Data folder", error);
        return 1;
    }
    SettingsFile settings;
    readCustomization(settings);

    QCommandLineParser parser;
    parser.setApplicationDescription("Service and monitoring tool for the " + productName +
                                     " sensor.");
    parser.addHelpOption();
    parser.addVersionOption();
    addWindowOptions(parser);
    const int code = parseCommandLine(parser, QCoreApplication::arguments(), "quva-explorer");
    if (code >= 0)
        return code;
    useCLocale();

    if (parser.isSet("subscribe") || parser.isSet("record"))
        return runHeadless(parser);

    setUserGivenPorts(parser.values("port"));
    MainWindow window;
    window.show();
    for (const QString &fileName : parser.values("open"))
        ViewerWindow::openFile(fileName, &window);
    return application->exec();
}
