#ifndef REQUESTFRAME_H
#define REQUESTFRAME_H

#include <cstdint>

// The length of an RTU request as its function code gives it (the read holding
// registers, write single register and write multiple registers requests the sensor
// knows, and the other standard ones of the same shapes); 0 when the function is unknown.
int requestLength(const uint8_t *request);

// True when the request's last two bytes are the CRC-16 of the bytes before them.
bool hasValidCrc(const uint8_t *request, int length);

#endif
