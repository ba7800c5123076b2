#include "app/customization.h"
#include "app/datafolder.h"
#include "app/mainwindow.h"
#include "livedata/headlessrecorder.h"
#include "livedata/mqttsubscriber.h"
#include "livedata/recorderoptions.h"
#include "settings/serialportlist.h"
#include "settings/settingsfile.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>

namespace
{

// True when an argument is one of these options, alone or, if the option takes a
// value, as name=value. Looked at before the parser runs, which needs an application.
bool hasOption(int argc, char *argv[], std::initializer_list<const char *> names,
               bool takesValue = false)
{
    for (int i = 1; i < argc; ++i) {
        for (const char *name : names) {
            const std::size_t length = std::strlen(name);
            if (std::strncmp(argv[i], name, length) == 0 &&
                (argv[i][length] == '\0' || (takesValue && argv[i][length] == '=')))
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    // Without TZ glibc re-reads the zone file on every local-time conversion; naming
    // the same zone explicitly makes each conversion several times cheaper.
    if (!std::getenv("TZ"))
        setenv("TZ", ":/etc/localtime", 1);

    // The help, the version and recording without a window need no display, so they
    // get no GUI application. Destroyed in reverse order: window, settings, application.
    const bool printsOnly =
        hasOption(argc, argv, {"-h", "-?", "--help", "--help-all", "-v", "--version"});
    std::unique_ptr<QCoreApplication> application;
    if (printsOnly || hasOption(argc, argv, {"--record", "--subscribe"}, true))
        application = std::make_unique<QCoreApplication>(argc, argv);
    else
        application = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationVersion(QUVA_VERSION);

    // Entered before the settings are read, since it holds them.
    if (!printsOnly && hasOption(argc, argv, {"--data-folder"})) {
        QString error;
        if (!enterDataFolder(error)) {
            std::fprintf(stderr, "quva-explorer: %s\n", qPrintable(error));
            if (qobject_cast<QApplication *>(application.get()))
                QMessageBox::critical(nullptr, "Data folder", error);
            return 1;
        }
    }
    SettingsFile settings;
    readCustomization(settings);

    QCommandLineParser parser;
    parser.setApplicationDescription("Service and monitoring tool for the " + productName +
                                     " sensor.");
    parser.addHelpOption();
    parser.addVersionOption();
    addRecorderOptions(parser);
    parser.addOption({"data-folder",
                      "Work in the folder $XDG_DATA_HOME/quva-explorer (by default "
                      "~/.local/share/quva-explorer), created if missing, instead of the "
                      "working directory: it then holds gui_settings.ini, the recording "
                      "journal and the dumps. The menu entry starts the program so."});
    parser.process(*application);
    useCLocale();

    if (parser.isSet("subscribe")) {
        const ParsedSubscriberOptions parsed = parseSubscriberOptions(parser);
        if (!parsed.options) {
            std::fprintf(stderr, "%s\n", qPrintable(parsed.error));
            return 2;
        }
        MqttSubscriber subscriber(*parsed.options);
        return subscriber.run();
    }
    if (parser.isSet("record")) {
        const ParsedRecorderOptions parsed = parseRecorderOptions(parser);
        if (!parsed.options) {
            std::fprintf(stderr, "%s\n", qPrintable(parsed.error));
            return 2;
        }
        HeadlessRecorder recorder(*parsed.options);
        return recorder.run();
    }

    setUserGivenPorts(parser.values("port"));
    MainWindow window;
    window.show();
    return application->exec();
}
