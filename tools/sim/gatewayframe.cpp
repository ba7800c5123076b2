#include "gatewayframe.h"

#include "faultinjector.h"

namespace
{

uint16_t wordAt(const QByteArray &bytes, int index)
{
    return uint16_t(uint8_t(bytes[index]) << 8 | uint8_t(bytes[index + 1]));
}

void appendWord(QByteArray &bytes, uint16_t word)
{
    bytes.append(char(word >> 8));
    bytes.append(char(word & 0xFF));
}

} // namespace

GatewayTake takeGatewayRequest(QByteArray &buffer, GatewayRequest *request)
{
    if (buffer.size() < 6)
        return GatewayTake::Incomplete;
    const int length = wordAt(buffer, 4);
    if (wordAt(buffer, 2) != 0 || length < 2 || length > 254) {
        buffer.clear();
        return GatewayTake::Malformed;
    }
    if (buffer.size() < 6 + length)
        return GatewayTake::Incomplete;
    request->transaction = wordAt(buffer, 0);
    request->rtu = buffer.mid(6, length);
    const uint16_t crc = FaultInjector::crc16(request->rtu);
    request->rtu.append(char(crc & 0xFF));
    request->rtu.append(char(crc >> 8));
    buffer.remove(0, 6 + length);
    return GatewayTake::Taken;
}

QByteArray gatewayReply(const QByteArray &rtuReply, uint16_t transaction)
{
    QByteArray reply;
    appendWord(reply, transaction);
    appendWord(reply, 0);
    appendWord(reply, uint16_t(rtuReply.size() - 2));
    reply.append(rtuReply.left(rtuReply.size() - 2));
    return reply;
}
