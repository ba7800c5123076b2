#ifndef MQTTPOSITION_H
#define MQTTPOSITION_H

#include <QString>

// How far the broker has acknowledged a recording file, kept in a small file next to it
// (FILE.mqtt-position), so that a recorder carrying on the same file publishes what an
// earlier run recorded but never got acknowledged. Besides the offset of the next line to
// publish it holds who the lines go to (serial, broker, prefix) and a fingerprint of the
// file's bytes before that offset: a file replaced or cut short in between does not match.
struct MqttPosition {
    qint64 offset = 0;
    // Serial number, broker URL and topic prefix in one text: the position holds only for
    // the same ones.
    QString destination;
};

QString mqttPositionPath(const QString &recordingPath);
// The remembered offset when the position file belongs to this destination and the
// recording file still holds the same bytes before it, at most limit; otherwise -1.
qint64 rememberedMqttOffset(const QString &recordingPath, const QString &destination, qint64 limit);
// Writes the position file whole or not at all (a temporary file renamed into place).
bool saveMqttPosition(const QString &recordingPath, const MqttPosition &position);

#endif
