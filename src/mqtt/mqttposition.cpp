#include "mqttposition.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSaveFile>

namespace
{

// The fingerprint covers the head lines and the lines just before the offset: enough to
// tell another file or an edited one, and cheap however long the file is.
constexpr qint64 fingerprintSpan = 4096;

QByteArray fingerprint(const QString &recordingPath, qint64 offset)
{
    QFile file(recordingPath);
    if (!file.open(QIODevice::ReadOnly) || file.size() < offset)
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(file.read(std::min(offset, fingerprintSpan)));
    const qint64 tail = std::max<qint64>(0, offset - fingerprintSpan);
    if (!file.seek(tail))
        return QByteArray();
    hash.addData(file.read(offset - tail));
    return hash.result().toHex();
}

} // namespace

QString mqttPositionPath(const QString &recordingPath)
{
    return recordingPath + ".mqtt-position";
}

qint64 rememberedMqttOffset(const QString &recordingPath, const QString &destination, qint64 limit)
{
    QFile file(mqttPositionPath(recordingPath));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QList<QByteArray> lines = file.read(64 * 1024).split('\n');
    if (lines.size() < 3 || QString::fromUtf8(lines[1]) != destination)
        return -1;
    bool ok = false;
    const qint64 offset = lines[0].toLongLong(&ok);
    if (!ok || offset < 0 || offset > limit || lines[2] != fingerprint(recordingPath, offset))
        return -1;
    return offset;
}

bool saveMqttPosition(const QString &recordingPath, const MqttPosition &position)
{
    const QByteArray print = fingerprint(recordingPath, position.offset);
    if (print.isEmpty())
        return false;
    QSaveFile file(mqttPositionPath(recordingPath));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QByteArray::number(position.offset) + '\n' + position.destination.toUtf8() + '\n' +
               print + '\n');
    return file.commit();
}
