#include "mqttpublisher.h"

#include <QFileInfo>

#include <algorithm>

namespace
{

// A clean end waits this long for the next acknowledgement before it gives up.
constexpr int closeWaitMs = 5000;
constexpr int readSize = 64 * 1024;
constexpr int saveIntervalMs = 1000;

} // namespace

MqttPublisher::MqttPublisher(const MqttSettings &settings, const DeviceIdentity &identity,
                             const QString &filePath, qint64 startOffset, QObject *parent)
    : QObject(parent), settings(settings), identity(identity),
      serial(formatSerialNumber(identity.serialNumber)),
      sampleTopicName(sampleTopic(settings.prefix, serial)),
      statusTopicName(statusTopic(settings.prefix, serial)), connection(settings, QString()),
      file(filePath), acknowledgedOffset(startOffset), readOffset(startOffset),
      bufferOffset(startOffset)
{
    connection.setWill(statusTopicName, "offline");
    connect(&connection, &MqttConnection::connected, this, &MqttPublisher::connected);
    connect(&connection, &MqttConnection::connectionLost, this, &MqttPublisher::connectionLost);
    connect(&connection, &MqttConnection::published, this, &MqttPublisher::published);
    connect(&connection, &MqttConnection::report, this, &MqttPublisher::report);
    closeTimer.setSingleShot(true);
    closeTimer.setInterval(closeWaitMs);
    connect(&closeTimer, &QTimer::timeout, this, &MqttPublisher::finishClosing);
    saveTimer.setSingleShot(true);
    saveTimer.setInterval(saveIntervalMs);
    connect(&saveTimer, &QTimer::timeout, this, &MqttPublisher::savePosition);
}

void MqttPublisher::rememberPosition()
{
    remembering = true;
    const qint64 remembered = rememberedMqttOffset(filePath(), positionDestination(), readOffset);
    if (remembered >= 0) {
        acknowledgedOffset = readOffset = bufferOffset = savedOffset = remembered;
        emit report(QString("MQTT: publishing %1 from byte %2 on, where the broker's "
                            "acknowledgements ended")
                        .arg(QFileInfo(filePath()).fileName())
                        .arg(remembered));
    }
}

void MqttPublisher::start()
{
    if (file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        acknowledgedSeq = readSeq = dataLinesBefore(readOffset);
    connection.start();
}

qint64 MqttPublisher::dataLinesBefore(qint64 offset)
{
    qint64 count = 0;
    QByteArray pending;
    file.seek(0);
    for (qint64 position = 0; position < offset;) {
        const QByteArray more = file.read(std::min<qint64>(readSize, offset - position));
        if (more.isEmpty())
            break;
        position += more.size();
        pending += more;
        int begin = 0;
        for (int end; (end = pending.indexOf('\n', begin)) >= 0; begin = end + 1) {
            if (isCsvDataLine(pending.constData() + begin, pending.constData() + end))
                ++count;
        }
        pending.remove(0, begin);
    }
    return count;
}

void MqttPublisher::close()
{
    if (closing)
        return;
    closing = true;
    closeTimer.start();
    publishLines();
}

void MqttPublisher::fileGrew()
{
    // A file that got samples keeps a position from now on, so a later run continuing it
    // publishes what this one could not.
    if (remembering && savedOffset < 0 && !saveTimer.isActive())
        saveTimer.start();
    publishLines();
}

void MqttPublisher::connected()
{
    int messageId = 0;
    connection.publish(identityTopic(settings.prefix, serial), identityMessage(identity), true,
                       messageId);
    connection.publish(statusTopicName, answering ? "online" : "no-answer", true, messageId);
    publishLines();
}

void MqttPublisher::setAnswering(bool nowAnswering)
{
    if (answering == nowAnswering || closing)
        return;
    answering = nowAnswering;
    // Not connected: connected() publishes the state then.
    int messageId = 0;
    connection.publish(statusTopicName, answering ? "online" : "no-answer", true, messageId);
}

void MqttPublisher::connectionLost()
{
    // What was not acknowledged goes out again from the file after reconnecting.
    inFlight.clear();
    readOffset = acknowledgedOffset;
    readSeq = acknowledgedSeq;
    offlineMessageId = -1;
}

void MqttPublisher::published(int messageId)
{
    if (closing && messageId == offlineMessageId) {
        finishClosing();
        return;
    }
    const auto found =
        std::find_if(inFlight.begin(), inFlight.end(),
                     [messageId](const InFlight &entry) { return entry.messageId == messageId; });
    if (found == inFlight.end())
        return;
    found->acknowledged = true;
    while (!inFlight.empty() && inFlight.front().acknowledged) {
        acknowledgedOffset = inFlight.front().lineEnd;
        acknowledgedSeq = inFlight.front().seqEnd;
        if (inFlight.front().messageId >= 0)
            ++acknowledgedSamples;
        inFlight.pop_front();
    }
    if (closing)
        closeTimer.start();
    if (savedOffset >= 0 && acknowledgedOffset != savedOffset && !saveTimer.isActive())
        saveTimer.start();
    publishLines();
}

void MqttPublisher::publishLines()
{
    if (!connection.isConnected() || offlineMessageId >= 0)
        return;
    if (!file.isOpen()) {
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return;
        acknowledgedSeq = readSeq = dataLinesBefore(readOffset);
    }
    // A file emptied down to its head lines starts again from its beginning.
    if (file.size() < readOffset) {
        inFlight.clear();
        acknowledgedOffset = readOffset = 0;
        acknowledgedSeq = readSeq = 0;
    }
    bool atEnd = false;
    while (int(inFlight.size()) < maxInFlight) {
        QByteArray line;
        qint64 lineEnd = 0;
        if (!nextLine(line, lineEnd)) {
            atEnd = true;
            break;
        }
        LiveSample sample;
        const bool dataLine = isCsvDataLine(line.constBegin(), line.constEnd());
        const qint64 seq = readSeq + (dataLine ? 1 : 0);
        // Head lines, the column header and a line that cannot be read are passed over; the
        // last leaves a hole in seq.
        if (!dataLine || parseCsvLine(line.constBegin(), line.constEnd(), sample) != nullptr) {
            if (inFlight.empty()) {
                acknowledgedOffset = lineEnd;
                acknowledgedSeq = seq;
            } else {
                inFlight.push_back({-1, lineEnd, seq, true});
            }
            readOffset = lineEnd;
            readSeq = seq;
            continue;
        }
        int messageId = 0;
        if (!connection.publish(sampleTopicName, sampleMessage(serial, sample, seq), false,
                                messageId))
            return;
        readOffset = lineEnd;
        readSeq = seq;
        inFlight.push_back({messageId, lineEnd, seq, false});
    }
    if (closing && atEnd && inFlight.empty())
        connection.publish(statusTopicName, "offline", true, offlineMessageId);
}

bool MqttPublisher::nextLine(QByteArray &line, qint64 &lineEnd)
{
    for (;;) {
        qint64 start = readOffset - bufferOffset;
        if (start < 0 || start > buffer.size()) {
            buffer.clear();
            bufferOffset = readOffset;
            start = 0;
        }
        const int newline = buffer.indexOf('\n', int(start));
        if (newline >= 0) {
            line = buffer.mid(int(start), newline - int(start));
            if (line.endsWith('\r'))
                line.chop(1);
            lineEnd = bufferOffset + newline + 1;
            return true;
        }
        buffer.remove(0, int(start));
        bufferOffset += start;
        if (!file.seek(bufferOffset + buffer.size()))
            return false;
        const QByteArray more = file.read(readSize);
        if (more.isEmpty())
            return false;
        buffer += more;
    }
}

void MqttPublisher::finishClosing()
{
    if (done)
        return;
    done = true;
    closeTimer.stop();
    if (saveTimer.isActive() || (savedOffset >= 0 && acknowledgedOffset != savedOffset))
        savePosition();
    connection.stop();
    inFlight.clear();
    readOffset = acknowledgedOffset;
    QByteArray line;
    qint64 lineEnd = 0;
    LiveSample sample;
    while (nextLine(line, lineEnd)) {
        readOffset = lineEnd;
        if (isCsvDataLine(line.constBegin(), line.constEnd()) &&
            parseCsvLine(line.constBegin(), line.constEnd(), sample) == nullptr)
            ++waitingSamples;
    }
    emit closed();
}

void MqttPublisher::savePosition()
{
    saveTimer.stop();
    // A position that cannot be written leaves the last one: at worst lines go out twice.
    if (saveMqttPosition(filePath(), {acknowledgedOffset, positionDestination()}))
        savedOffset = acknowledgedOffset;
}

QString MqttPublisher::positionDestination() const
{
    return serial + ' ' + mqttUrlText(settings.url) + ' ' + settings.prefix;
}
