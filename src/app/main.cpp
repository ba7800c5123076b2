#include "app/customization.h"
#include "app/mainwindow.h"
#include "livedata/headlessrecorder.h"
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
    const QCommandLineOption portOption(
        "port",
        "Also offer the serial port PATH, which the system does not list (repeatable); "
        "with --record, the port to record from.",
        "PATH");
    const QCommandLineOption recordOption(
        "record", "Record from the sensor on --port into FILE.csv without a window.", "FILE.csv");
    const QCommandLineOption baudOption("baud", "With --record: baud rate (default 19200).", "B",
                                        "19200");
    const QCommandLineOption modeOption(
        "mode", "With --record: parity and stop bits, 0 none/1 (default) to 5 odd/2.", "M", "0");
    const QCommandLineOption addressOption("address", "With --record: Modbus address (default 1).",
                                           "A", "1");
    const QCommandLineOption durationOption(
        "duration", "With --record: stop after SECONDS (default: at Ctrl-C).", "SECONDS", "0");
    const QCommandLineOption giveUpOption(
        "give-up-after",
        "With --record: end with exit code 3 when the sensor has been unreachable for SECONDS "
        "(default: keep trying).",
        "SECONDS", "0");
    parser.addOptions({portOption, recordOption, baudOption, modeOption, addressOption,
                       durationOption, giveUpOption});
    parser.process(*application);
    useCLocale();

    if (parser.isSet(recordOption)) {
        HeadlessRecorder::Options options;
        options.fileName = parser.value(recordOption);
        options.portName = parser.values(portOption).value(0);
        options.baudrate = parser.value(baudOption).toUInt();
        options.mode = uint8_t(parser.value(modeOption).toUInt());
        options.address = uint8_t(parser.value(addressOption).toUInt());
        options.durationSeconds = parser.value(durationOption).toInt();
        bool giveUpValid = false;
        options.giveUpAfterSeconds = parser.value(giveUpOption).toInt(&giveUpValid);
        if (!giveUpValid || options.giveUpAfterSeconds < 0) {
            std::fprintf(stderr,
                         "Error: --give-up-after %s: expected a whole number of seconds, 0 "
                         "or more\n",
                         qPrintable(parser.value(giveUpOption)));
            return 2;
        }
        if (options.portName.isEmpty()) {
            std::fprintf(stderr, "Error: --record needs --port PATH\n");
            return 2;
        }
        HeadlessRecorder recorder(options);
        return recorder.run();
    }

    setUserGivenPorts(parser.values(portOption));
    MainWindow window;
    window.show();
    return application->exec();
}
