#include "modbusframe.h"

#include "wordconversion.h"

uint16_t crc16(const QByteArray &data)
{
    uint16_t crc = 0xFFFF;
    for (char byte : data) {
        crc ^= uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

QByteArray buildRequest(uint8_t address, uint8_t function, const QByteArray &payload)
{
    QByteArray frame;
    frame.reserve(payload.size() + 4);
    frame.append(char(address));
    frame.append(char(function));
    frame.append(payload);
    const uint16_t crc = crc16(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

QByteArray readRequestPayload(uint8_t firstReg, uint8_t lastReg)
{
    const uint16_t quantity = uint16_t(lastReg + 1 - firstReg);
    return uint16ToBytes(firstReg) + uint16ToBytes(quantity);
}

QByteArray writeRequestPayload(uint8_t firstReg, const QVector<uint16_t> &data)
{
    const int count = data.size();
    QByteArray payload = uint16ToBytes(firstReg) + uint16ToBytes(uint16_t(count));
    payload.append(char((2 * count) & 0xFF));
    for (uint16_t word : data)
        payload.append(uint16ToBytes(word));
    return payload;
}

QByteArray buildReadRequest(uint8_t address, uint8_t firstReg, uint8_t lastReg)
{
    return buildRequest(address, ModbusFunction::ReadHoldingRegisters,
                        readRequestPayload(firstReg, lastReg));
}

double lineTimeMs(int bytes, uint32_t baudrate, uint8_t mode)
{
    if (baudrate == 0)
        return 0;
    const int bitsPerByte = 1 + 8 + (mode >= 2 ? 1 : 0) + (mode % 2 == 1 ? 2 : 1);
    return 1000.0 * bytes * bitsPerByte / baudrate;
}

QByteArray buildWriteRequest(uint8_t address, uint8_t firstReg, const QVector<uint16_t> &data)
{
    return buildRequest(address, ModbusFunction::WriteMultipleRegisters,
                        writeRequestPayload(firstReg, data));
}

ModbusReply checkReply(const QByteArray &frame, uint8_t expectedAddress)
{
    ModbusReply reply;
    const int n = frame.size();
    if (n <= 4) {
        reply.status = ModbusReply::TooShort;
        reply.error = "message too short";
        return reply;
    }
    reply.address = uint8_t(frame[0]);
    reply.function = uint8_t(frame[1]);
    reply.payload = frame.mid(2, (n - 4) % 256);

    const uint16_t received = uint16_t(uint8_t(frame[n - 2]) | uint8_t(frame[n - 1]) << 8);
    const uint16_t computed = crc16(frame.left(n - 2));
    if (received != computed) {
        reply.status = ModbusReply::CrcError;
        reply.error = QString("CRC error: %1 != %2").arg(computed).arg(received);
        return reply;
    }
    if (reply.address != expectedAddress) {
        reply.status = ModbusReply::InvalidAddress;
        reply.error = QString("invalid address received: %1").arg(reply.address);
        return reply;
    }
    reply.status = ModbusReply::Valid;
    return reply;
}

QVector<uint16_t> decodeReadPayload(const QByteArray &payload)
{
    const int count = (payload.size() - 1) / 2;
    QVector<uint16_t> words;
    words.reserve(qMax(count, 0));
    for (int i = 0; i < count; ++i)
        words.append(uint16_t(uint8_t(payload[1 + 2 * i]) << 8 | uint8_t(payload[2 + 2 * i])));
    return words;
}
