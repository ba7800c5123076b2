#include "requestframe.h"

int requestLength(const uint8_t *request)
{
    switch (request[1]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
        return 8;
    case 15:
    case 16:
        return 9 + request[6];
    default:
        return 0;
    }
}

bool hasValidCrc(const uint8_t *request, int length)
{
    if (length < 4)
        return false;
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < length - 2; ++i) {
        crc ^= request[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return request[length - 2] == (crc & 0xFF) && request[length - 1] == (crc >> 8);
}
