#ifndef REPLYFRAMES_H
#define REPLYFRAMES_H

#include <QByteArray>
#include <QVector>

#include <cstdint>

// Replies a scripted sensor on a pty sends back.

// A function-3 reply frame holding words.
QByteArray readReplyFrame(const QVector<uint16_t> &words, uint8_t address = 1);
// An exception reply to function with the exception code.
QByteArray exceptionReplyFrame(uint8_t function, uint8_t code, uint8_t address = 1);
// Registers 0..46 of a sensor with serial number 0x0012ABCD, the rest zero.
QVector<uint16_t> infoBlock();

#endif
