#ifndef MBAPFRAME_H
#define MBAPFRAME_H

#include "modbusframe.h"

#include <QByteArray>

#include <cstdint>

// Modbus TCP frames without a socket. An MBAP header goes before the function code:
// transaction identifier (2, BE), protocol identifier 0 (2, BE), length (2, BE: the bytes
// that follow it, unit identifier included), unit identifier (1). There is no CRC: TCP
// guards the bytes.

constexpr int MbapHeaderBytes = 7;

QByteArray buildMbapFrame(uint16_t transaction, uint8_t unit, uint8_t function,
                          const QByteArray &payload);

// The Modbus TCP form of an RTU frame (address, function, payload, CRC): the address
// becomes the unit identifier and the CRC is left off.
QByteArray mbapFromRtu(const QByteArray &rtuFrame, uint16_t transaction);

// The whole length of the frame that starts buffer, as its length field gives it; 0 while
// the length field has not arrived.
int mbapFrameBytes(const QByteArray &buffer);

// Runs the checks in their order: length, header (transaction, protocol, length), unit.
// A header that fails is InvalidHeader with "invalid MBAP header"; a wrong unit is
// InvalidAddress with the text of a wrong RTU address. A Valid result says nothing yet
// about the function code.
ModbusReply checkMbapReply(const QByteArray &frame, uint16_t expectedTransaction,
                           uint8_t expectedUnit);

// The transaction identifier of a frame; 0 when it is shorter than two bytes.
uint16_t mbapTransaction(const QByteArray &frame);

#endif
