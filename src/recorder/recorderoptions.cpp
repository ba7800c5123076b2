#include "recorderoptions.h"

#include "networkaddress.h"
#include "recordingfile.h"

#include <QFile>
#include <QStringList>

#include <cmath>
#include <limits>

namespace
{

const QString portOption = "port";
const QString recordOption = "record";
const QString baudOption = "baud";
const QString modeOption = "mode";
const QString addressOption = "address";
const QString durationOption = "duration";
const QString giveUpOption = "give-up-after";
const QString mqttOption = "mqtt";
const QString caFileOption = "mqtt-cafile";
const QString passwordFileOption = "mqtt-password-file";
const QString prefixOption = "mqtt-prefix";
const QString subscribeOption = "subscribe";
const QString serialOption = "serial";

// The rates the Settings tab offers, the only ones the sensor takes.
const QStringList baudrates = {"9600", "19200", "115200"};

QString invalid(const QString &option, const QString &expected, const QString &value)
{
    return QString("Error: --%1: expected %2, got \"%3\"").arg(option, expected, value);
}

// A whole number from first to last, in decimal.
std::optional<int> wholeNumber(const QString &text, int first, int last)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || text.trimmed() != text || value < first || value > last)
        return std::nullopt;
    return value;
}

// --duration, when given, into seconds; false with the error when it is not a duration.
bool readDuration(const QCommandLineParser &parser, double &seconds, QString &error)
{
    if (!parser.isSet(durationOption))
        return true;
    const QString text = parser.value(durationOption);
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0 || value > MaxRecordingSeconds ||
        text.trimmed() != text) {
        error = invalid(durationOption,
                        "a positive number of seconds such as 60 or 1.5, at most 1000000000", text);
        return false;
    }
    seconds = value;
    return true;
}

// Every value follows its option: a word on its own is refused.
bool noStrayArguments(const QCommandLineParser &parser, QString &error)
{
    if (parser.positionalArguments().isEmpty())
        return true;
    error = QString("Error: unexpected argument \"%1\": every value follows its option")
                .arg(parser.positionalArguments().first());
    return false;
}

// The first line of a password file, "user:password".
bool readPasswordFile(const QString &path, MqttSettings &settings, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QString("Error: --%1: cannot read \"%2\": %3")
                    .arg(passwordFileOption, path, file.errorString());
        return false;
    }
    const QString line = QString::fromUtf8(file.readLine(4096)).remove('\n').remove('\r');
    const int colon = line.indexOf(':');
    if (colon <= 0) {
        error = QString("Error: --%1: expected a first line user:password in \"%2\"")
                    .arg(passwordFileOption, path);
        return false;
    }
    settings.user = line.left(colon);
    settings.password = line.mid(colon + 1);
    return true;
}

// The broker options beside the URL option urlOption (--mqtt or --subscribe).
std::optional<MqttSettings> parseMqttSettings(const QCommandLineParser &parser,
                                              const QString &urlOption, QString &error)
{
    MqttSettings settings;
    const QString url = parser.value(urlOption);
    QString expected;
    const std::optional<MqttUrl> parsedUrl = parseMqttUrl(url, expected);
    if (!parsedUrl) {
        error = invalid(urlOption, expected, url);
        return std::nullopt;
    }
    settings.url = *parsedUrl;
    if (parser.isSet(caFileOption)) {
        settings.caFile = parser.value(caFileOption);
        if (!settings.url.tls) {
            error =
                QString("Error: --%1 needs an mqtts:// broker, got \"%2\"").arg(caFileOption, url);
            return std::nullopt;
        }
        QFile file(settings.caFile);
        if (!file.open(QIODevice::ReadOnly)) {
            error = QString("Error: --%1: cannot read \"%2\": %3")
                        .arg(caFileOption, settings.caFile, file.errorString());
            return std::nullopt;
        }
    }
    if (parser.isSet(passwordFileOption) &&
        !readPasswordFile(parser.value(passwordFileOption), settings, error))
        return std::nullopt;
    if (parser.isSet(prefixOption)) {
        settings.prefix = parser.value(prefixOption);
        const QString prefixError = topicPrefixError(settings.prefix);
        if (!prefixError.isEmpty()) {
            error = invalid(prefixOption, prefixError, settings.prefix);
            return std::nullopt;
        }
    }
    return settings;
}

} // namespace

QString RecorderOptions::cannotOpenText() const
{
    return (overNetwork() ? "Error: cannot connect to " : "Error: cannot open the serial port ") +
           portName;
}

void addRecorderOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {portOption,
         "Also offer the serial port PATH, which the system does not list (repeatable); "
         "with --record, the port to record from. A sensor behind a serial device server or "
         "a Modbus TCP gateway is reached by tcp://HOST:PORT (RTU frames over TCP) or "
         "mbtcp://HOST:PORT (Modbus TCP, the address as unit identifier).",
         "PATH"},
        {recordOption,
         "Record from the sensor on --port into FILE.csv without a window. In the name, "
         "{serial} stands for the sensor's serial number (00-12-AB-CD) and {address} for its "
         "address; with several addresses the name needs one of them.",
         "FILE.csv"},
        {baudOption, "With --record: baud rate, 9600, 19200 (default) or 115200.", "B"},
        {modeOption, "With --record: parity and stop bits, 0 none/1 (default) to 5 odd/2.", "M"},
        {addressOption,
         "With --record: Modbus address, 1 (default) to 247; several, separated by commas "
         "(1,2,5), record as many sensors on one line, one file each.",
         "A[,A...]"},
        {durationOption,
         "With --record: stop after SECONDS, a positive number, decimals allowed "
         "(default: at Ctrl-C).",
         "SECONDS"},
        {giveUpOption,
         "With --record: end with exit code 3 when the sensor has been unreachable for SECONDS "
         "(default: keep trying).",
         "SECONDS"},
        {mqttOption,
         "With --record: publish every sample to the MQTT broker at URL, mqtt://HOST:PORT or "
         "mqtts://HOST:PORT (TLS).",
         "URL"},
        {caFileOption,
         "With an mqtts:// broker: check its certificate against the CA certificates in FILE "
         "(default: the system's).",
         "FILE"},
        {passwordFileOption, "Log in to the broker with the first line of FILE, user:password.",
         "FILE"},
        {prefixOption, "The first levels of the MQTT topics (default quva).", "PREFIX"},
        {subscribeOption,
         "Take the samples published to the MQTT broker at URL into --record FILE.csv, "
         "duplicates removed; {serial} in the file name makes one file per sensor.",
         "URL"},
        {serialOption,
         "With --subscribe: only the sensor with this serial number, such as "
         "00-12-AB-CD.",
         "SERIAL"},
    });
}

ParsedRecorderOptions parseRecorderOptions(const QCommandLineParser &parser)
{
    ParsedRecorderOptions parsed;
    RecorderOptions options;

    options.fileName = parser.value(recordOption);
    if (options.fileName.isEmpty()) {
        parsed.error = invalid(recordOption, "the name of the CSV file to record into", "");
        return parsed;
    }
    options.portName = parser.values(portOption).value(0);
    if (options.portName.isEmpty()) {
        parsed.error = "Error: --record needs --port PATH";
        return parsed;
    }
    const NetworkAddress network = parseNetworkAddress(options.portName);
    if (!network.error.isEmpty()) {
        parsed.error = "Error: --port: " + network.error;
        return parsed;
    }
    if (!noStrayArguments(parser, parsed.error))
        return parsed;

    if (parser.isSet(baudOption)) {
        const QString text = parser.value(baudOption);
        if (!baudrates.contains(text)) {
            parsed.error = invalid(baudOption, "9600, 19200 or 115200", text);
            return parsed;
        }
        options.baudrate = text.toUInt();
    }
    if (parser.isSet(modeOption)) {
        const QString text = parser.value(modeOption);
        const std::optional<int> mode = wholeNumber(text, 0, 5);
        if (!mode) {
            parsed.error =
                invalid(modeOption, "a whole number from 0 (none, 1) to 5 (odd, 2)", text);
            return parsed;
        }
        options.mode = uint8_t(*mode);
    }
    if (parser.isSet(addressOption)) {
        const QString text = parser.value(addressOption);
        const QStringList parts = text.split(',');
        options.addresses.clear();
        for (const QString &part : parts) {
            const std::optional<int> address = wholeNumber(part, 1, 247);
            if (!address) {
                parsed.error =
                    parts.size() == 1
                        ? invalid(addressOption, "a whole number from 1 to 247", text)
                        : invalid(addressOption,
                                  "whole numbers from 1 to 247 separated by commas, such as 1,2,5",
                                  text);
                return parsed;
            }
            if (options.addresses.contains(uint8_t(*address))) {
                parsed.error = QString("Error: --address: %1 is given twice in \"%2\"; each "
                                       "sensor is recorded once")
                                   .arg(*address)
                                   .arg(text);
                return parsed;
            }
            options.addresses.append(uint8_t(*address));
        }
        options.address = options.addresses.constFirst();
    }
    if (options.addresses.size() > 1 && !namesEachSensor(options.fileName)) {
        parsed.error = QString("Error: --record: several sensors cannot share one file; put "
                               "{serial} or {address} into the name, such as "
                               "run-{serial}.csv, got \"%1\"")
                           .arg(options.fileName);
        return parsed;
    }
    if (!readDuration(parser, options.durationSeconds, parsed.error))
        return parsed;
    if (parser.isSet(giveUpOption)) {
        const std::optional<int> seconds =
            wholeNumber(parser.value(giveUpOption), 0, std::numeric_limits<int>::max() / 1000);
        if (!seconds) {
            parsed.error = invalid(giveUpOption, "a whole number of seconds, 0 or more",
                                   parser.value(giveUpOption));
            return parsed;
        }
        options.giveUpAfterSeconds = *seconds;
    }
    if (parser.isSet(mqttOption)) {
        options.mqtt = parseMqttSettings(parser, mqttOption, parsed.error);
        if (!options.mqtt)
            return parsed;
    } else {
        for (const QString &option : {caFileOption, passwordFileOption, prefixOption}) {
            if (parser.isSet(option)) {
                parsed.error = QString("Error: --%1 needs --mqtt URL").arg(option);
                return parsed;
            }
        }
    }
    if (parser.isSet(serialOption)) {
        parsed.error = QString("Error: --%1 needs --subscribe URL").arg(serialOption);
        return parsed;
    }

    parsed.options = options;
    return parsed;
}

ParsedSubscriberOptions parseSubscriberOptions(const QCommandLineParser &parser)
{
    ParsedSubscriberOptions parsed;
    SubscriberOptions options;
    for (const QString &option :
         {portOption, baudOption, modeOption, addressOption, giveUpOption, mqttOption}) {
        if (parser.isSet(option)) {
            parsed.error = QString("Error: --%1 is for recording from a sensor, not with --%2")
                               .arg(option, subscribeOption);
            return parsed;
        }
    }
    if (!noStrayArguments(parser, parsed.error))
        return parsed;
    options.fileName = parser.value(recordOption);
    if (options.fileName.isEmpty()) {
        parsed.error = QString("Error: --%1 needs --record FILE.csv").arg(subscribeOption);
        return parsed;
    }
    const std::optional<MqttSettings> mqtt =
        parseMqttSettings(parser, subscribeOption, parsed.error);
    if (!mqtt)
        return parsed;
    options.mqtt = *mqtt;
    if (parser.isSet(serialOption)) {
        const std::optional<QString> serial = normalizedSerial(parser.value(serialOption));
        if (!serial) {
            parsed.error = invalid(serialOption, "a serial number such as 00-12-AB-CD",
                                   parser.value(serialOption));
            return parsed;
        }
        options.serial = *serial;
    } else if (!options.fileName.contains("{serial}")) {
        parsed.error = QString("Error: --%1 without --%2 takes every sensor and needs {serial} in "
                               "the --record file name, got \"%3\"")
                           .arg(subscribeOption, serialOption, options.fileName);
        return parsed;
    }
    if (!readDuration(parser, options.durationSeconds, parsed.error))
        return parsed;
    parsed.options = options;
    return parsed;
}
