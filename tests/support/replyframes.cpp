#include "replyframes.h"

#include "modbusframe.h"

QByteArray readReplyFrame(const QVector<uint16_t> &words, uint8_t address)
{
    QByteArray payload(1, char(words.size() * 2));
    for (uint16_t word : words) {
        payload.append(char(word >> 8));
        payload.append(char(word & 0xFF));
    }
    return buildRequest(address, 3, payload);
}

QByteArray exceptionReplyFrame(uint8_t function, uint8_t code, uint8_t address)
{
    return buildRequest(address, uint8_t(function | 0x80), QByteArray(1, char(code)));
}

QVector<uint16_t> infoBlock()
{
    QVector<uint16_t> words(47, 0);
    words[2] = 0x0012;
    words[3] = 0xABCD;
    return words;
}
