#ifndef MQTTMESSAGE_H
#define MQTTMESSAGE_H

#include "csvline.h"
#include "registermap.h"

#include <QByteArray>
#include <QString>

#include <optional>

// What the recorder publishes to an MQTT broker and a consumer reads back, as pure
// functions of the values. Per sensor, under the topic prefix:
//   <prefix>/<serial>/sample    QoS 1, one JSON object per sample
//   <prefix>/<serial>/identity  QoS 1, retained
//   <prefix>/<serial>/status    QoS 1, retained, "online" or "offline" (also the last will)
// The numbers of a sample carry the decimals of the CSV file, so a sample published
// from the file is the same message as one published live.

struct MqttUrl {
    bool tls = false; // mqtts://
    QString host;
    int port = 1883;
};

// "mqtt://HOST:PORT" or "mqtts://HOST:PORT"; the port may be left out (1883, 8883).
// On failure error says what was wrong.
std::optional<MqttUrl> parseMqttUrl(const QString &text, QString &error);
QString mqttUrlText(const MqttUrl &url);

// Where and how to reach the broker: checked options, credentials already read.
struct MqttSettings {
    MqttUrl url;
    QString caFile; // mqtts: the CA certificates that the broker's certificate is checked against
    QString user;   // empty: no credentials
    QString password;
    QString prefix = "quva";
};

// Empty when prefix is usable as the first levels of a topic; otherwise why not.
QString topicPrefixError(const QString &prefix);

QString sampleTopic(const QString &prefix, const QString &serial);
QString identityTopic(const QString &prefix, const QString &serial);
QString statusTopic(const QString &prefix, const QString &serial);

// The ISO 8601 time of a local timestamp with milliseconds and its UTC offset,
// e.g. 2024-03-05T14:07:09.250+01:00.
QByteArray isoTimeWithOffset(const QDateTime &timestamp);

// {"serial":"00-12-AB-CD","time":"...","frame":1234,"state":0,"stateText":"...",
//  "nu":12.35,"eta":10.49,"rho":849.5,"T":40.00,"nuUc":null,"seq":17}
// seq: the sample's line number among the data lines of the recorder's file, from 1; the
// frame numbers skip for good reasons, so only seq shows a sample that never arrived.
// Left out when 0.
QByteArray sampleMessage(const QString &serial, const LiveSample &sample, qint64 seq = 0);
// {"serial":"00-12-AB-CD","hardwareRevision":3,"firmwareDate":"2024-10-08T00:00:00.000+02:00"}
QByteArray identityMessage(const DeviceIdentity &identity);

struct ReceivedSample {
    QString serial;
    LiveSample sample; // timestamp in local time
    qint64 seq = 0;    // 0: the message has none
};

// Reads a sample message; nullopt when it is not one (missing or mistyped fields).
std::optional<ReceivedSample> parseSampleMessage(const QByteArray &message);

// A recorder's sample message has about 250 bytes; anything much longer is not one and
// is refused before it is parsed.
constexpr int maxSampleMessageBytes = 4096;

// A message received on topic, checked as a consumer takes it: a sample message no longer
// than maxSampleMessageBytes, on <prefix>/<serial>/sample, whose serial has the recorder's
// form and equals the topic's (both normalised), and whose values a recorder can publish:
// times in the years 2000 to 2099, the ranges of the sensor's registers, the decimals of
// the CSV file. nullopt with reason otherwise. The serial comes back normalised.
std::optional<ReceivedSample> checkSampleMessage(const QString &prefix, const QString &topic,
                                                 const QByteArray &payload, QString &reason);

// text for a line of output: control and format characters (line ends, right-to-left
// overrides) written as \u{XXXX}, cut to about maxLength characters.
QString printableText(const QString &text, int maxLength = 200);

// "00-12-ab-cd" or "00-12-AB-CD" as the program shows serial numbers; nullopt otherwise.
std::optional<QString> normalizedSerial(const QString &text);

#endif
