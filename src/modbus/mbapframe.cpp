#include "mbapframe.h"

#include "wordconversion.h"

QByteArray buildMbapFrame(uint16_t transaction, uint8_t unit, uint8_t function,
                          const QByteArray &payload)
{
    QByteArray frame =
        uint16ToBytes(transaction) + uint16ToBytes(0) + uint16ToBytes(uint16_t(payload.size() + 2));
    frame.append(char(unit));
    frame.append(char(function));
    frame.append(payload);
    return frame;
}

QByteArray mbapFromRtu(const QByteArray &rtuFrame, uint16_t transaction)
{
    return buildMbapFrame(transaction, uint8_t(rtuFrame.at(0)), uint8_t(rtuFrame.at(1)),
                          rtuFrame.mid(2, rtuFrame.size() - 4));
}

int mbapFrameBytes(const QByteArray &buffer)
{
    if (buffer.size() < 6)
        return 0;
    return 6 + bytesToUint16(buffer.mid(4, 2));
}

uint16_t mbapTransaction(const QByteArray &frame)
{
    return frame.size() < 2 ? 0 : bytesToUint16(frame.left(2));
}

ModbusReply checkMbapReply(const QByteArray &frame, uint16_t expectedTransaction,
                           uint8_t expectedUnit)
{
    ModbusReply reply;
    const int n = frame.size();
    // As on a serial line: a function code and at least one byte after it.
    if (n <= MbapHeaderBytes + 1) {
        reply.status = ModbusReply::TooShort;
        reply.error = "message too short";
        return reply;
    }
    reply.address = uint8_t(frame[6]);
    reply.function = uint8_t(frame[7]);
    reply.payload = frame.mid(MbapHeaderBytes + 1);
    if (mbapTransaction(frame) != expectedTransaction || bytesToUint16(frame.mid(2, 2)) != 0 ||
        mbapFrameBytes(frame) != n) {
        reply.status = ModbusReply::InvalidHeader;
        reply.error = "invalid MBAP header";
        return reply;
    }
    if (reply.address != expectedUnit) {
        reply.status = ModbusReply::InvalidAddress;
        reply.error = QString("invalid address received: %1").arg(reply.address);
        return reply;
    }
    reply.status = ModbusReply::Valid;
    return reply;
}
