#ifndef WORDCONVERSION_H
#define WORDCONVERSION_H

#include <QByteArray>
#include <QVector>

#include <cstdint>

// The one definition of how values sit in frames and registers: 16-bit fields are
// big-endian, and a 32-bit quantity takes two registers, high word first.
QByteArray uint16ToBytes(uint16_t value);
// b[0]·256 + b[1]; with one byte b[0]·256; with none 0.
uint16_t bytesToUint16(const QByteArray &bytes);
// The caller supplies at least two words.
uint32_t wordsToUint32(const QVector<uint16_t> &words);
float wordsToFloat(const QVector<uint16_t> &words);
QVector<uint16_t> uint32ToWords(uint32_t value);
QVector<uint16_t> floatToWords(float value);
// Files that image the registers (dumps, calibration files) hold each word low byte first.
QByteArray wordsToLittleEndianBytes(const QVector<uint16_t> &words);
// One word per two bytes; an odd last byte is ignored.
QVector<uint16_t> littleEndianBytesToWords(const QByteArray &bytes);
// True when value is finite and within the single-precision range, so that converting it
// to float neither overflows to infinity nor is undefined.
bool finiteAsFloat(double value);

#endif
