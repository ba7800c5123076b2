#include "networkaddress.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace
{

const QString rtuScheme = "tcp://";
const QString mbapScheme = "mbtcp://";

} // namespace

NetworkKind networkKind(const QString &portText)
{
    if (portText.startsWith(rtuScheme, Qt::CaseInsensitive))
        return NetworkKind::RtuOverTcp;
    if (portText.startsWith(mbapScheme, Qt::CaseInsensitive))
        return NetworkKind::ModbusTcp;
    return NetworkKind::None;
}

QString networkAddressError(const QString &portText)
{
    return QString("\"%1\" is not a network address: expected tcp://HOST:PORT (RTU over TCP) or "
                   "mbtcp://HOST:PORT (Modbus TCP), HOST a name, an IPv4 address or an IPv6 "
                   "address in brackets, PORT from 1 to 65535, such as mbtcp://192.168.1.20:502")
        .arg(portText);
}

NetworkAddress parseNetworkAddress(const QString &portText)
{
    NetworkAddress address;
    address.kind = networkKind(portText);
    if (address.kind == NetworkKind::None)
        return address;
    const QString rest = portText.mid(address.kind == NetworkKind::RtuOverTcp ? rtuScheme.size()
                                                                              : mbapScheme.size());
    // A host name of letters, digits, dots, hyphens and underscores, or [IPv6]; the port in
    // decimal, without a sign or spaces.
    static const QRegularExpression form(
        "^(?:\\[([0-9A-Fa-f:.]+)\\]|([A-Za-z0-9._-]+)):([0-9]{1,5})$");
    const QRegularExpressionMatch match = form.match(rest);
    const int port = match.hasMatch() ? match.captured(3).toInt() : 0;
    const QString host = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    const bool hostValid =
        !host.isEmpty() && (match.captured(1).isEmpty() ||
                            QHostAddress(host).protocol() == QAbstractSocket::IPv6Protocol);
    if (!match.hasMatch() || port < 1 || port > 65535 || !hostValid) {
        address.error = networkAddressError(portText);
        return address;
    }
    address.host = host;
    address.port = uint16_t(port);
    return address;
}
