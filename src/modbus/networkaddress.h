#ifndef NETWORKADDRESS_H
#define NETWORKADDRESS_H

#include <QString>

#include <cstdint>

// A sensor behind a serial device server or a Modbus TCP gateway is reached by a
// network address instead of a serial port:
//   tcp://HOST:PORT    RTU frames, CRC included, over a raw TCP connection
//   mbtcp://HOST:PORT  Modbus TCP: an MBAP header, the unit identifier as the address, no CRC
// Any other port text names a serial port.

enum class NetworkKind { None, RtuOverTcp, ModbusTcp };

// What kind of address the text is, by its scheme alone; None for a serial port. Whether
// the rest is well formed is for parseNetworkAddress to say.
NetworkKind networkKind(const QString &portText);

struct NetworkAddress {
    NetworkKind kind = NetworkKind::None;
    QString host;
    uint16_t port = 0;
    QString error; // when the text has a network scheme but is malformed: what is accepted
};

// HOST is a name, an IPv4 address or an IPv6 address in brackets; PORT 1 to 65535.
NetworkAddress parseNetworkAddress(const QString &portText);

// The error text for a malformed address, naming what is accepted.
QString networkAddressError(const QString &portText);

#endif
