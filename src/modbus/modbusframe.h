#ifndef MODBUSFRAME_H
#define MODBUSFRAME_H

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>

// Modbus RTU frames without a port: building requests, the CRC, and the checks a
// reply passes before its contents are believed.

namespace ModbusFunction
{
constexpr uint8_t ReadHoldingRegisters = 3;
constexpr uint8_t WriteSingleRegister = 6;
constexpr uint8_t WriteMultipleRegisters = 16;
} // namespace ModbusFunction

// The standard Modbus CRC-16 (0xFFFF start, polynomial 0xA001, no final XOR).
uint16_t crc16(const QByteArray &data);

// address, function, payload, then the CRC low byte first.
QByteArray buildRequest(uint8_t address, uint8_t function, const QByteArray &payload);
// Payload of a function-3 request for registers firstReg..lastReg inclusive: start
// register and quantity, which wraps at 65536.
QByteArray readRequestPayload(uint8_t firstReg, uint8_t lastReg);
// Payload of a function-16 request: start, quantity N, the low 8 bits of 2·N, the words.
QByteArray writeRequestPayload(uint8_t firstReg, const QVector<uint16_t> &data);
QByteArray buildReadRequest(uint8_t address, uint8_t firstReg, uint8_t lastReg);
constexpr int ReadRequestBytes = 8;
// Address, function, byte count, the words and the CRC.
constexpr int readReplyBytes(int wordCount)
{
    return 5 + 2 * wordCount;
}
QByteArray buildWriteRequest(uint8_t address, uint8_t firstReg, const QVector<uint16_t> &data);

// How long bytes take on the line: a start bit, 8 data bits, and the parity and stop
// bits of mode (0 none/1, 1 none/2, 2 even/1, 3 even/2, 4 odd/1, 5 odd/2) per byte.
double lineTimeMs(int bytes, uint32_t baudrate, uint8_t mode);

struct ModbusReply {
    enum Status { Valid, TooShort, CrcError, InvalidAddress, InvalidHeader };

    Status status = TooShort;
    QString error; // reason text of a failed check, without the "Modbus Error: " prefix
    uint8_t address = 0;
    uint8_t function = 0;
    QByteArray payload; // the n − 4 bytes between function code and CRC (mod 256)
};

// Runs the checks in their order: length, CRC, address. A Valid result says
// nothing yet about the function code.
ModbusReply checkReply(const QByteArray &frame, uint8_t expectedAddress);

// The register words of a function-3 payload; the count comes from the payload
// length, not from its byte-count field.
QVector<uint16_t> decodeReadPayload(const QByteArray &payload);

#endif
