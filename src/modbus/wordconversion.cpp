#include "wordconversion.h"

#include <cmath>
#include <cstring>
#include <limits>

QByteArray uint16ToBytes(uint16_t value)
{
    QByteArray bytes;
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
    return bytes;
}

uint16_t bytesToUint16(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return 0;
    const uint16_t high = uint8_t(bytes[0]);
    const uint16_t low = bytes.size() > 1 ? uint8_t(bytes[1]) : 0;
    return uint16_t(high << 8 | low);
}

uint32_t wordsToUint32(const QVector<uint16_t> &words)
{
    return uint32_t(words[0]) << 16 | words[1];
}

float wordsToFloat(const QVector<uint16_t> &words)
{
    const uint32_t bits = wordsToUint32(words);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

QVector<uint16_t> uint32ToWords(uint32_t value)
{
    return {uint16_t(value >> 16), uint16_t(value & 0xFFFF)};
}

QVector<uint16_t> floatToWords(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return uint32ToWords(bits);
}

QByteArray wordsToLittleEndianBytes(const QVector<uint16_t> &words)
{
    QByteArray bytes;
    bytes.reserve(2 * words.size());
    for (uint16_t word : words) {
        bytes.append(char(word & 0xFF));
        bytes.append(char(word >> 8));
    }
    return bytes;
}

QVector<uint16_t> littleEndianBytesToWords(const QByteArray &bytes)
{
    QVector<uint16_t> words(bytes.size() / 2);
    for (int i = 0; i < words.size(); ++i)
        words[i] = uint16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
    return words;
}

bool finiteAsFloat(double value)
{
    return std::isfinite(value) && std::abs(value) <= double(std::numeric_limits<float>::max());
}
