#ifndef REGISTERFRAMETEXT_H
#define REGISTERFRAMETEXT_H

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>

// What a request or reply on the bus means in the register map's terms, for the bus
// monitor: "read live block", and for its reply "read live block: ν 3.43 cSt,
// ρ 833.2 kg/m³, T 79.93 °C, state normal". A reply carries no register numbers, so it
// is read by the request it answers. Frames the map does not know, and replies that
// fail their checks, give an empty text.

// A request frame (address, function, payload, CRC).
QString registerRequestText(const QByteArray &request);

// A reply frame, read with the request on the wire before it; the live block is decoded
// by the rules of firmwareDate.
QString registerReplyText(const QByteArray &request, const QByteArray &reply,
                          const QDateTime &firmwareDate);

#endif
