#ifndef RECORDEROPTIONS_H
#define RECORDEROPTIONS_H

#include "mqttmessage.h"
#include "networkaddress.h"

#include <QCommandLineParser>
#include <QString>
#include <QVector>

#include <cstdint>
#include <optional>

// The command-line options of recording without a window, and their checks. Every value
// is checked before the recorder touches a file or opens a port; the first bad one gives
// a single error line that names the option, the value and what is accepted.
//
// A new option goes into addRecorderOptions, a field here and a check in
// parseRecorderOptions.
struct RecorderOptions {
    QString fileName;
    QString portName; // a serial port, or tcp://HOST:PORT or mbtcp://HOST:PORT
    uint32_t baudrate = 19200;
    uint8_t mode = 0;                 // parity and stop bits, 0 none/1 to 5 odd/2
    uint8_t address = 1;              // the first of addresses
    QVector<uint8_t> addresses = {1}; // every sensor recorded, in the order given
    double durationSeconds = 0;       // 0: until interrupted
    int giveUpAfterSeconds = 0;       // an outage this long ends the recording; 0: never
    std::optional<MqttSettings> mqtt; // --mqtt: publish every sample to this broker

    bool overNetwork() const { return networkKind(portName) != NetworkKind::None; }
    // The error line when the port would not open at the start.
    QString cannotOpenText() const;
};

// The longest --duration taken, in seconds (about 31 years).
inline constexpr double MaxRecordingSeconds = 1e9;

struct ParsedRecorderOptions {
    std::optional<RecorderOptions> options;
    QString error; // "Error: ..." when options is empty
};

// Adds --port, --record, --baud, --mode, --address, --duration, --give-up-after, the
// --mqtt options and --subscribe to the parser.
void addRecorderOptions(QCommandLineParser &parser);

// The options of a parser that has parsed the command line; meaningful when --record is set.
ParsedRecorderOptions parseRecorderOptions(const QCommandLineParser &parser);

// Taking samples from a broker into a CSV file: --subscribe URL --record FILE.
struct SubscriberOptions {
    QString fileName; // may hold {serial}: one file per sensor
    QString serial;   // empty: every sensor under the prefix
    MqttSettings mqtt;
    double durationSeconds = 0; // 0: until interrupted
};

struct ParsedSubscriberOptions {
    std::optional<SubscriberOptions> options;
    QString error;
};

// The options of a parser that has parsed the command line; meaningful when --subscribe
// is set.
ParsedSubscriberOptions parseSubscriberOptions(const QCommandLineParser &parser);

#endif
