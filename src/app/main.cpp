#include "customization.h"
#include "headlesscommand.h"
#include "mainwindow.h"
#include "serialportlist.h"
#include "settingsfile.h"
#include "viewerwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <memory>

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
    if (asksForHelp(argc, argv) || asksForHeadlessRun(argc, argv))
        application = std::make_unique<QCoreApplication>(argc, argv);
    else
        application = std::make_unique<QApplication>(argc, argv);
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
    addHeadlessOptions(parser);
    parser.addOption({"open", "Opens FILE.csv in a viewer window of its own.", "FILE.csv"});
    parser.process(*application);
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
