#include "framelog.h"

#include "mbapframe.h"
#include "modbusframe.h"

#include <QDateTime>

namespace
{

uint16_t wordAt(const QByteArray &bytes, int index)
{
    return uint16_t(uint8_t(bytes[index]) << 8 | uint8_t(bytes[index + 1]));
}

QString hexWord(uint16_t word)
{
    return QString("0x%1").arg(word, 4, 16, QChar('0')).toUpper().replace("0X", "0x");
}

QString describeRequest(const QByteArray &frame)
{
    if (frame.size() < 4 ||
        crc16(frame.left(frame.size() - 2)) !=
            uint16_t(uint8_t(frame[frame.size() - 2]) | uint8_t(frame[frame.size() - 1]) << 8))
        return "malformed request";
    const uint8_t function = uint8_t(frame[1]);
    if (function == ModbusFunction::ReadHoldingRegisters && frame.size() == 8) {
        const int first = wordAt(frame, 2);
        const int count = wordAt(frame, 4);
        return QString("read %1..%2").arg(first).arg(first + count - 1);
    }
    if (function == ModbusFunction::WriteMultipleRegisters && frame.size() >= 9) {
        const int first = wordAt(frame, 2);
        QStringList words;
        for (int index = 7; index + 1 < frame.size() - 2; index += 2)
            words << hexWord(wordAt(frame, index));
        const QString registers = words.size() > 1
                                      ? QString("%1..%2").arg(first).arg(first + words.size() - 1)
                                      : QString::number(first);
        return QString("write %1 ← %2").arg(registers, words.join(' '));
    }
    return QString("function %1").arg(function);
}

QString exceptionName(uint8_t code)
{
    switch (code) {
    case 1:
        return "illegal function";
    case 2:
        return "illegal data address";
    case 3:
        return "illegal data value";
    case 4:
        return "server device failure";
    case 6:
        return "server device busy";
    default:
        return QString();
    }
}

QString describeReply(const ModbusReply &reply)
{
    switch (reply.status) {
    case ModbusReply::TooShort:
        return "too short";
    case ModbusReply::CrcError:
        return "CRC error";
    case ModbusReply::InvalidAddress:
        return QString("wrong address %1").arg(reply.address);
    case ModbusReply::InvalidHeader:
        return "invalid MBAP header";
    case ModbusReply::Valid:
        break;
    }
    if (reply.function & 0x80) {
        const uint8_t code = reply.payload.isEmpty() ? 0 : uint8_t(reply.payload[0]);
        const QString name = exceptionName(code);
        return name.isEmpty() ? QString("exception %1").arg(code)
                              : QString("exception %1 (%2)").arg(code).arg(name);
    }
    if (reply.function == ModbusFunction::ReadHoldingRegisters)
        return QString("reply, %1 words").arg(decodeReadPayload(reply.payload).size());
    if (reply.function == ModbusFunction::WriteMultipleRegisters && reply.payload.size() >= 4)
        return QString("written, %1 words").arg(wordAt(reply.payload, 2));
    return QString("reply, function %1").arg(reply.function);
}

QString describeMbap(const FrameLog::Entry &entry)
{
    const QByteArray &bytes = entry.bytes;
    const QString header = QString("transaction %1, unit %2: ")
                               .arg(mbapTransaction(bytes))
                               .arg(bytes.size() > 6 ? uint8_t(bytes[6]) : 0);
    if (entry.direction == FrameLog::Received)
        return header +
               describeReply(checkMbapReply(bytes, entry.transaction, entry.expectedAddress));
    // The request as the RTU frame it stands for.
    if (bytes.size() < MbapHeaderBytes + 1 || mbapFrameBytes(bytes) != bytes.size())
        return "malformed request";
    return header + describeRequest(buildRequest(uint8_t(bytes[6]), uint8_t(bytes[7]),
                                                 bytes.mid(MbapHeaderBytes + 1)));
}

} // namespace

FrameLog::FrameLog(int capacity) : capacity(qMax(1, capacity)) {}

void FrameLog::addFrame(Direction direction, const QByteArray &bytes, uint8_t expectedAddress,
                        qint64 msecsSinceEpoch)
{
    Entry entry;
    entry.msecsSinceEpoch = msecsSinceEpoch;
    entry.direction = direction;
    entry.bytes = bytes;
    entry.expectedAddress = expectedAddress;
    add(std::move(entry));
}

void FrameLog::addMbapFrame(Direction direction, const QByteArray &bytes, uint8_t expectedAddress,
                            uint16_t transaction, qint64 msecsSinceEpoch)
{
    Entry entry;
    entry.msecsSinceEpoch = msecsSinceEpoch;
    entry.direction = direction;
    entry.bytes = bytes;
    entry.expectedAddress = expectedAddress;
    entry.mbap = true;
    entry.transaction = transaction;
    add(std::move(entry));
}

void FrameLog::addEvent(const QString &event, qint64 msecsSinceEpoch)
{
    Entry entry;
    entry.msecsSinceEpoch = msecsSinceEpoch;
    entry.event = event;
    add(std::move(entry));
}

void FrameLog::add(Entry entry)
{
    entry.sequence = ++sequence;
    if (ring.size() < capacity) {
        ring.append(std::move(entry));
        return;
    }
    ring[first] = std::move(entry);
    first = (first + 1) % capacity;
}

void FrameLog::clear()
{
    ring.clear();
    first = 0;
}

QVector<FrameLog::Entry> FrameLog::entriesAfter(uint64_t after) const
{
    QVector<Entry> entries;
    for (int i = 0; i < ring.size(); ++i) {
        const Entry &entry = ring[(first + i) % ring.size()];
        if (entry.sequence > after)
            entries.append(entry);
    }
    return entries;
}

QString FrameLog::describe(const Entry &entry)
{
    if (entry.mbap && entry.direction != Event)
        return describeMbap(entry);
    switch (entry.direction) {
    case Sent:
        return describeRequest(entry.bytes);
    case Received:
        return describeReply(checkReply(entry.bytes, entry.expectedAddress));
    case Event:
        break;
    }
    return entry.event;
}

QString FrameLog::timeText(const Entry &entry)
{
    return QDateTime::fromMSecsSinceEpoch(entry.msecsSinceEpoch).toString("HH:mm:ss.zzz");
}

QString FrameLog::directionText(const Entry &entry)
{
    switch (entry.direction) {
    case Sent:
        return "→";
    case Received:
        return "←";
    case Event:
        break;
    }
    return "·";
}

QString FrameLog::hexText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

QString FrameLog::formatLine(const Entry &entry)
{
    return QStringList{timeText(entry), directionText(entry), hexText(entry.bytes), describe(entry)}
        .join('\t');
}
