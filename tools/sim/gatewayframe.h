#ifndef GATEWAYFRAME_H
#define GATEWAYFRAME_H

#include <QByteArray>

#include <cstdint>

// What the simulator does as a Modbus TCP gateway: a request's MBAP header (transaction,
// protocol 0, length, unit) comes off and the unit becomes the RTU address; the RTU
// reply loses its CRC and gets the request's header back.

struct GatewayRequest {
    uint16_t transaction = 0;
    QByteArray rtu; // unit, function, data, CRC
};

enum class GatewayTake { Taken, Incomplete, Malformed };

// Takes the first whole request off the front of buffer. A header that cannot be a
// request (protocol other than 0, a length below 2 or above 254) is Malformed and the
// buffer is emptied: nothing in it can be trusted to start a frame.
GatewayTake takeGatewayRequest(QByteArray &buffer, GatewayRequest *request);

QByteArray gatewayReply(const QByteArray &rtuReply, uint16_t transaction);

#endif
