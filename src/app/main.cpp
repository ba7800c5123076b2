#include "app/customization.h"
#include "app/mainwindow.h"
#include "livedata/headlessrecorder.h"
#include "livedata/recorderoptions.h"
#include "settings/serialportlist.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QSettings>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace
{

bool recordsWithoutWindow(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--record") == 0 || std::strncmp(argv[i], "--record=", 9) == 0)
            return true;
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

    // Recording without a window needs no display, so it gets no GUI application.
    // Destroyed in reverse order: window, settings, application.
    std::unique_ptr<QCoreApplication> application;
    if (recordsWithoutWindow(argc, argv))
        application = std::make_unique<QCoreApplication>(argc, argv);
    else
        application = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationVersion(QUVA_VERSION);
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    readCustomization(settings);

    QCommandLineParser parser;
    parser.setApplicationDescription("Service and monitoring tool for the " + productName +
                                     " sensor.");
    parser.addHelpOption();
    parser.addVersionOption();
    addRecorderOptions(parser);
    parser.process(*application);
    useCLocale();

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
