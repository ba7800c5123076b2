#include "app/customization.h"
#include "app/datafolder.h"
#include "app/mainwindow.h"
#include "livedata/headlessrecorder.h"
#include "settings/serialportlist.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QSettings>

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
    if (printsOnly || hasOption(argc, argv, {"--record"}, true))
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
    const QCommandLineOption dataFolderOption(
        "data-folder",
        "Work in the folder $XDG_DATA_HOME/quva-explorer (by default "
        "~/.local/share/quva-explorer), created if missing, instead of the working "
        "directory: it then holds gui_settings.ini, the recording journal and the dumps. "
        "The menu entry starts the program so.");
    parser.addOptions({portOption, recordOption, baudOption, modeOption, addressOption,
                       durationOption, dataFolderOption});
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
