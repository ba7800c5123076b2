#include "simoptions.h"

#include <QCommandLineParser>

#include <cmath>

namespace
{

const char *const Description =
    "A simulated QUVA sensor: a Modbus RTU slave (functions 3, 6 and 16) on a new\n"
    "pseudo-terminal in raw mode. The first line on stdout is \"port: /dev/pts/N\".\n"
    "\n"
    "Registers: 1 hardware revision, 2-3 serial number, 4-5 firmware date, 16-30\n"
    "the live block (a new measurement every 1/rate seconds), 34-38 and 40-46 the\n"
    "configuration, 96-148 the calibration block (calibration date in 144-145),\n"
    "192-201 the mapping k, alpha, A, B, C (float32). Other registers read as 0.\n"
    "\n"
    "Writes: 32 <- 0x6B3E unlocks, 32 <- 0 locks. Configuration, calibration block,\n"
    "mapping and the command register 33 take writes only while unlocked, else the\n"
    "reply is the exception \"illegal data address\"; a value out of range (baud rate\n"
    "other than 9600/19200/115200, address 0 or above 247, mode above 5, filter\n"
    "length 0 or above 256, an analog source code the firmware lacks) gets \"illegal\n"
    "data value\". A rejected write changes nothing. 33 <- 1 commits configuration\n"
    "and mapping, 2 the calibration block, 255 reboots: silent for --reboot-ms,\n"
    "then back with the committed registers, address, baud rate and mode.\n"
    "\n"
    "Encodings follow the firmware date: nu in 18 (x0.01) and, from 2023-03-20,\n"
    "in 24-25 (x0.001); eta in 28-29 from 2024-02-21; the mapped viscosity\n"
    "k*nu^alpha (committed mapping) in 27 from 2024-10-08. Missing values read\n"
    "0xFFFF, 0x7FFF or 0xFFFFFFFF. The fluid cools from 80 to 20 degC within\n"
    "--cooldown-minutes and warms again; nu = A*exp(B/(T + C)), the density falls\n"
    "linearly with T, eta = nu*rho/1000. State bit 0 (no resonance detected)\n"
    "makes viscosities and density missing.\n"
    "\n"
    "Requests for other addresses are ignored, and so are requests from a port set\n"
    "to another baud rate than the sensor's. Replies are paced at the baud rate.\n"
    "\n"
    "With --tcp or --mbtcp it listens on 127.0.0.1 instead, one connection at a time (a\n"
    "new one replaces the old), as a serial device server passing RTU frames or as a\n"
    "Modbus TCP gateway (unit identifier = address; a reply goes out whole once the\n"
    "sensor has sent it on its serial side); the first line on stdout is then\n"
    "\"port: tcp://127.0.0.1:PORT\" or \"port: mbtcp://127.0.0.1:PORT\". Over Modbus TCP\n"
    "--bad-crc spoils the transaction identifier and --wrong-address the unit.\n"
    "SIGINT and SIGTERM end it cleanly.";

struct OptionReader {
    QCommandLineParser &parser;
    QString error;

    // Keeps value unchanged when the option is absent.
    void number(const QString &name, double minimum, double maximum, double &value)
    {
        if (!error.isEmpty() || !parser.isSet(name))
            return;
        bool ok = false;
        const double parsed = parser.value(name).toDouble(&ok);
        if (!ok || !std::isfinite(parsed) || parsed < minimum || parsed > maximum) {
            error = QStringLiteral("--%1: expected a number from %2 to %3, got \"%4\"")
                        .arg(name)
                        .arg(minimum)
                        .arg(maximum)
                        .arg(parser.value(name));
            return;
        }
        value = parsed;
    }

    void integer(const QString &name, qint64 minimum, qint64 maximum, qint64 &value, int base = 10)
    {
        if (!error.isEmpty() || !parser.isSet(name))
            return;
        QString text = parser.value(name);
        if (base == 16 && text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            text = text.mid(2);
        bool ok = false;
        const qint64 parsed = text.toLongLong(&ok, base);
        if (!ok || parsed < minimum || parsed > maximum) {
            error = QStringLiteral("--%1: expected %2 from %3 to %4, got \"%5\"")
                        .arg(name)
                        .arg(base == 16 ? QStringLiteral("a hexadecimal number")
                                        : QStringLiteral("an integer"))
                        .arg(base == 16 ? QString::number(minimum, 16).toUpper()
                                        : QString::number(minimum))
                        .arg(base == 16 ? QString::number(maximum, 16).toUpper()
                                        : QString::number(maximum))
                        .arg(parser.value(name));
            return;
        }
        value = parsed;
    }

    template <typename T>
    void integer(const QString &name, qint64 min, qint64 max, T &value, int base = 10)
    {
        qint64 wide = value;
        integer(name, min, max, wide, base);
        value = static_cast<T>(wide);
    }

    void fail(const QString &text)
    {
        if (error.isEmpty())
            error = text;
    }
};

void addOption(QCommandLineParser &parser, const char *name, const char *valueName,
               const char *text)
{
    parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(text),
                                        QString::fromLatin1(valueName)));
}

void addFlag(QCommandLineParser &parser, const char *name, const char *text)
{
    parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(text)));
}

// The help lists the options in the order they are added: the line, the sensor's
// identity, its fluid, its behaviour, the line faults, the files it writes.
void addLineOptions(QCommandLineParser &parser)
{
    addOption(parser, "device", "path",
              "Serve this serial device (an adapter, one end of a socat pair) instead of a new "
              "pseudo-terminal.");
    addOption(parser, "link", "path", "Also make this symbolic link to the port; removed on exit.");
    addOption(parser, "tcp", "port",
              "Serve RTU frames over TCP on 127.0.0.1:port (0: a free port) instead of a "
              "serial line.");
    addOption(parser, "mbtcp", "port",
              "Serve Modbus TCP on 127.0.0.1:port (0: a free port) instead of a serial line.");
    addOption(parser, "address", "n[,n...]",
              "Modbus address, 1..247 (default 1); several, comma-separated, serve as many "
              "sensors on one line, each with its own measurements, serial number and seed.");
    addOption(parser, "baud", "rate", "Baud rate: 9600, 19200 or 115200 (default 19200).");
    addOption(parser, "mode", "n",
              "Parity/stop bits as register 37: 0 none/1, 1 none/2, 2 even/1, 3 even/2, "
              "4 odd/1, 5 odd/2 (default 0).");
    addOption(parser, "turnaround-ms", "ms", "Pause between a request and its reply (default 5).");
    addFlag(parser, "any-line-settings",
            "Answer whatever baud rate the pseudo-terminal is set to.");
}

void addIdentityOptions(QCommandLineParser &parser)
{
    addOption(parser, "hw-rev", "n", "Hardware revision (default 3).");
    addOption(parser, "serial", "hex", "Serial number, hexadecimal (default 0012ABCD).");
    addOption(parser, "serial-step", "n",
              "With several addresses, each further sensor's serial number is the one before "
              "plus n (default 1; 0 gives them all the same one).");
    addOption(parser, "firmware-date", "date",
              "Firmware date, ISO 8601, UTC unless a zone is given (default "
              "2024-10-10T11:08:48Z, past every format change).");
}

void addFluidOptions(QCommandLineParser &parser)
{
    addOption(parser, "rate", "n", "Measurements per second (default 1).");
    addOption(parser, "cooldown-minutes", "m",
              "Minutes to cool from 80 to 20 degC; it warms again as long (default 30).");
    addOption(parser, "visc-a", "cSt", "A of nu = A*exp(B/(T + C)) (default 0.02).");
    addOption(parser, "visc-b", "degC", "B of the viscosity curve (default 900).");
    addOption(parser, "visc-c", "degC", "C of the viscosity curve (default 95).");
    addOption(parser, "density", "kg/m3", "Density at 20 degC (default 870).");
    addOption(parser, "density-slope", "kg/m3", "Density lost per degC (default 0.65).");
    addOption(parser, "noise", "rel", "Relative noise of T, nu and density (default 0.002).");
    addOption(parser, "fault-every", "s",
              "Raise the fault bits every s seconds of measurement time, from the "
              "first measurement on (default 0: never).");
    addOption(parser, "fault-for", "s", "How long each fault lasts (default 10).");
    addOption(parser, "fault-bits", "hex", "State bits of the fault (default 0001: no resonance).");
}

void addBehaviourOptions(QCommandLineParser &parser)
{
    addOption(parser, "reboot-ms", "ms", "Silence after the reboot command (default 1500).");
    addOption(parser, "silence-on-signal", "n",
              "SIGUSR1 silences the sensor at address n, one of --address: it hears no "
              "request, as if cut off the line, and goes on measuring; SIGUSR2 lets it answer "
              "again.");
    addOption(parser, "ignore-writes", "first-last",
              "Acknowledge writes to these registers but keep the old values.");
    addOption(parser, "calib-file", "path",
              "Load registers 96..148 from a 406-byte calibration image (16-bit "
              "little-endian words of registers 0..202).");
}

void addFaultOptions(QCommandLineParser &parser)
{
    addOption(parser, "seed", "n",
              "Seed of the random faults and noise (default: random, logged).");
    addOption(parser, "drop", "p", "Probability per request that it is lost: no reply, no effect.");
    addOption(parser, "bad-crc", "p", "Probability of a reply with a wrong CRC.");
    addOption(parser, "wrong-address", "p",
              "Probability of a reply from another address (valid CRC).");
    addOption(parser, "split", "p", "Probability of a reply split in the middle by a pause.");
    addOption(parser, "split-ms", "ms", "Pause inside a split reply (default 300).");
    addOption(parser, "exception", "p",
              "Probability of the exception reply \"server device failure\" instead of the "
              "answer; the request has no effect.");
    addOption(parser, "garbage", "p", "Probability of 1 to 3 stray bytes before the reply.");
}

void addOutputOptions(QCommandLineParser &parser)
{
    addOption(parser, "state-file", "path",
              "Keep a JSON file with the register image, the committed settings and the "
              "counters, rewritten atomically after every request.");
    addOption(parser, "frames-log", "path",
              "Append one JSON line per measurement: frame number, the words of registers "
              "16..30 and the values they encode.");
    addFlag(parser, "verbose", "Log every request and reply on stderr.");
    addFlag(parser, "exit-with-parent",
            "End when the process that started it ends (for test runs).");
}

// The readers below run in the order of the options in the help; the first error found
// is the one reported.
void readAddresses(OptionReader &read, SimOptions &options)
{
    if (!read.parser.isSet(QStringLiteral("address")))
        return;
    const QString text = read.parser.value(QStringLiteral("address"));
    options.addresses.clear();
    for (const QString &part : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int address = part.toInt(&ok, 10);
        if (!ok || part.trimmed() != part || address < 1 || address > 247 ||
            options.addresses.contains(address)) {
            read.fail(QStringLiteral("--address: expected addresses from 1 to 247, each once, "
                                     "separated by commas, got \"%1\"")
                          .arg(text));
            break;
        }
        options.addresses.append(address);
    }
    if (!options.addresses.isEmpty())
        options.address = options.addresses.constFirst();
}

void readLineOptions(OptionReader &read, SimOptions &options)
{
    const QCommandLineParser &parser = read.parser;
    options.device = parser.value(QStringLiteral("device"));
    options.link = parser.value(QStringLiteral("link"));
    const bool rtuOverTcp = parser.isSet(QStringLiteral("tcp"));
    const bool modbusTcp = parser.isSet(QStringLiteral("mbtcp"));
    if (rtuOverTcp || modbusTcp) {
        if (rtuOverTcp && modbusTcp)
            read.fail(QStringLiteral("--tcp and --mbtcp: expected one of them, got both"));
        else if (!options.device.isEmpty() || !options.link.isEmpty())
            read.fail(QStringLiteral("--%1: serves a network port, not with --device or --link")
                          .arg(rtuOverTcp ? QStringLiteral("tcp") : QStringLiteral("mbtcp")));
        options.network = rtuOverTcp ? SimNetwork::RtuOverTcp : SimNetwork::ModbusTcp;
        read.integer(rtuOverTcp ? QStringLiteral("tcp") : QStringLiteral("mbtcp"), 0, 65535,
                     options.tcpPort);
    }
    readAddresses(read, options);
    if (parser.isSet(QStringLiteral("baud"))) {
        const QString text = parser.value(QStringLiteral("baud"));
        options.line.baudrate = text.toUInt();
        if (!LineSettings::isValidBaudrate(options.line.baudrate))
            read.fail(
                QStringLiteral("--baud: expected 9600, 19200 or 115200, got \"%1\"").arg(text));
    }
    read.integer(QStringLiteral("mode"), 0, 5, options.line.mode);
    read.number(QStringLiteral("turnaround-ms"), 0, 10000, options.turnaroundMs);
    options.anyLineSettings = parser.isSet(QStringLiteral("any-line-settings"));
}

void readIdentityOptions(OptionReader &read, SimOptions &options)
{
    read.integer(QStringLiteral("hw-rev"), 0, 65535, options.hardwareRevision);
    read.integer(QStringLiteral("serial"), 0, 0xFFFFFFFFLL, options.serialNumber, 16);
    read.integer(QStringLiteral("serial-step"), 0, 0xFFFFFFFFLL, options.serialStep);
    if (!read.parser.isSet(QStringLiteral("firmware-date")))
        return;
    const QString text = read.parser.value(QStringLiteral("firmware-date"));
    QDateTime date = QDateTime::fromString(text, Qt::ISODate);
    if (date.isValid() && date.timeSpec() == Qt::LocalTime)
        date.setTimeSpec(Qt::UTC);
    if (!date.isValid() || date.toSecsSinceEpoch() < 0 || date.toSecsSinceEpoch() > 0xFFFFFFFFLL)
        read.fail(QStringLiteral("--firmware-date: expected an ISO date-time such as "
                                 "2024-10-10T11:08:48Z, got \"%1\"")
                      .arg(text));
    else
        options.firmwareDate = date;
}

void readFluidOptions(OptionReader &read, SimOptions &options)
{
    read.number(QStringLiteral("rate"), 0.001, 1000, options.rate);
    FluidSettings &fluid = options.fluid;
    read.number(QStringLiteral("cooldown-minutes"), 0.001, 1e6, fluid.cooldownMinutes);
    read.number(QStringLiteral("visc-a"), 1e-9, 1e9, fluid.viscosityA);
    read.number(QStringLiteral("visc-b"), -1e6, 1e6, fluid.viscosityB);
    read.number(QStringLiteral("visc-c"), -19.9, 1e6, fluid.viscosityC);
    read.number(QStringLiteral("density"), 0, 6553, fluid.density20);
    read.number(QStringLiteral("density-slope"), -100, 100, fluid.densitySlope);
    read.number(QStringLiteral("noise"), 0, 0.5, fluid.noise);
    read.number(QStringLiteral("fault-every"), 0, 1e9, fluid.faultEverySeconds);
    read.number(QStringLiteral("fault-for"), 0, 1e9, fluid.faultForSeconds);
    read.integer(QStringLiteral("fault-bits"), 0, 0xFFFF, fluid.faultBits, 16);
}

// The silenced address must be one of those served, so the addresses are read first.
void readSilencedAddress(OptionReader &read, SimOptions &options)
{
    read.integer(QStringLiteral("silence-on-signal"), 1, 247, options.silencedBySignal);
    if (options.silencedBySignal == 0 || options.addresses.contains(options.silencedBySignal))
        return;
    QStringList served;
    for (int address : options.addresses)
        served.append(QString::number(address));
    read.fail(QStringLiteral("--silence-on-signal: expected one of the addresses served (%1), "
                             "got \"%2\"")
                  .arg(served.join(QLatin1Char(',')),
                       read.parser.value(QStringLiteral("silence-on-signal"))));
}

void readIgnoredWrites(OptionReader &read, SimOptions &options)
{
    if (!read.parser.isSet(QStringLiteral("ignore-writes")))
        return;
    const QString range = read.parser.value(QStringLiteral("ignore-writes"));
    const QStringList parts = range.split(QLatin1Char('-'));
    bool firstOk = false;
    bool lastOk = false;
    const int first = parts.value(0).toInt(&firstOk);
    const int last = parts.size() == 2 ? parts.value(1).toInt(&lastOk) : first;
    if (parts.size() == 1)
        lastOk = firstOk;
    if (parts.size() > 2 || !firstOk || !lastOk || first < 0 || last > 255 || first > last)
        read.fail(QStringLiteral("--ignore-writes: expected FIRST-LAST within 0..255, "
                                 "got \"%1\"")
                      .arg(range));
    options.ignoreWritesFirst = first;
    options.ignoreWritesLast = last;
}

void readBehaviourOptions(OptionReader &read, SimOptions &options)
{
    read.integer(QStringLiteral("reboot-ms"), 0, 600000, options.rebootMs);
    readSilencedAddress(read, options);
    readIgnoredWrites(read, options);
    options.calibrationFile = read.parser.value(QStringLiteral("calib-file"));
}

void readFaultOptions(OptionReader &read, SimOptions &options)
{
    if (read.parser.isSet(QStringLiteral("seed"))) {
        bool ok = false;
        options.seed = read.parser.value(QStringLiteral("seed")).toULongLong(&ok);
        options.seedGiven = true;
        if (!ok)
            read.fail(QStringLiteral("--seed: expected a non-negative integer, got \"%1\"")
                          .arg(read.parser.value(QStringLiteral("seed"))));
    }
    LineFaults &faults = options.faults;
    read.number(QStringLiteral("drop"), 0, 1, faults.drop);
    read.number(QStringLiteral("bad-crc"), 0, 1, faults.badCrc);
    read.number(QStringLiteral("wrong-address"), 0, 1, faults.wrongAddress);
    read.number(QStringLiteral("split"), 0, 1, faults.split);
    read.integer(QStringLiteral("split-ms"), 0, 60000, faults.splitPauseMs);
    read.number(QStringLiteral("exception"), 0, 1, faults.exception);
    read.number(QStringLiteral("garbage"), 0, 1, faults.garbage);
}

void readOutputOptions(OptionReader &read, SimOptions &options)
{
    options.stateFile = read.parser.value(QStringLiteral("state-file"));
    options.framesLog = read.parser.value(QStringLiteral("frames-log"));
    options.verbose = read.parser.isSet(QStringLiteral("verbose"));
    options.exitWithParent = read.parser.isSet(QStringLiteral("exit-with-parent"));
}

} // namespace

SimOptionsResult parseSimOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(Description));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version."));
    parser.addOption(version);
    addLineOptions(parser);
    addIdentityOptions(parser);
    addFluidOptions(parser);
    addBehaviourOptions(parser);
    addFaultOptions(parser);
    addOutputOptions(parser);

    SimOptionsResult result;
    if (!parser.parse(arguments)) {
        result.text = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.status = SimOptionsResult::ShowHelp;
        result.text = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.status = SimOptionsResult::ShowVersion;
        result.text = QStringLiteral("quva-sim " QUVA_VERSION "\n");
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.text = QStringLiteral("unexpected argument \"%1\"")
                          .arg(parser.positionalArguments().constFirst());
        return result;
    }

    OptionReader read{parser, QString()};
    readLineOptions(read, result.options);
    readIdentityOptions(read, result.options);
    readFluidOptions(read, result.options);
    readBehaviourOptions(read, result.options);
    readFaultOptions(read, result.options);
    readOutputOptions(read, result.options);
    if (!read.error.isEmpty()) {
        result.text = read.error;
        return result;
    }
    result.status = SimOptionsResult::Run;
    return result;
}
