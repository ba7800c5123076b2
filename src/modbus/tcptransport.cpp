#include "tcptransport.h"

#include "networkaddress.h"

TcpTransport::TcpTransport(QObject *parent) : LinkTransport(parent)
{
    connectTimer.setSingleShot(true);
    // A coarse timer may fire 5 % early, and the time waited is told to the user.
    connectTimer.setTimerType(Qt::PreciseTimer);
    connectTimer.setInterval(connectTimeoutMs);
    connect(&connectTimer, &QTimer::timeout, this, &TcpTransport::onConnectTimeout);
    connect(&socket, &QTcpSocket::connected, this, &TcpTransport::onConnected);
    connect(&socket, &QTcpSocket::readyRead, this, &LinkTransport::readyRead);
    connect(&socket, &QAbstractSocket::errorOccurred, this, &TcpTransport::onError);
}

bool TcpTransport::open(const QString &port, uint32_t, uint8_t)
{
    close();
    address = port;
    failure.clear();
    loss.clear();
    const NetworkAddress parsed = parseNetworkAddress(port);
    if (parsed.kind == NetworkKind::None || !parsed.error.isEmpty()) {
        failure = parsed.kind == NetworkKind::None ? networkAddressError(port) : parsed.error;
        return false;
    }
    connecting = true;
    connectClock.start();
    connectTimer.start();
    socket.connectToHost(parsed.host, parsed.port);
    return true;
}

void TcpTransport::close()
{
    connecting = false;
    established = false;
    connectTimer.stop();
    // abort(), not close(): nothing is left to flush to a sensor that is being let go.
    socket.abort();
}

bool TcpTransport::isOpen() const
{
    return established;
}

qint64 TcpTransport::write(const QByteArray &bytes)
{
    return socket.write(bytes);
}

QByteArray TcpTransport::readAll()
{
    return socket.readAll();
}

void TcpTransport::clearInput()
{
    socket.readAll();
}

QString TcpTransport::openFailure() const
{
    return failure;
}

QString TcpTransport::lossReason() const
{
    return loss;
}

void TcpTransport::onConnected()
{
    if (!connecting)
        return;
    connecting = false;
    established = true;
    connectTimer.stop();
    // Requests are a few bytes each: they go out at once rather than wait for more.
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    emit opened();
}

void TcpTransport::failOpen(const QString &reason)
{
    connecting = false;
    connectTimer.stop();
    socket.abort();
    failure = QString("Cannot connect to %1: %2.").arg(address, reason);
    emit openFailed();
}

void TcpTransport::onConnectTimeout()
{
    if (connecting)
        failOpen(QString("no answer from the host within %1 s; check the address and that the "
                         "device server or gateway is on the network")
                     .arg(connectClock.elapsed() / 1000.0, 0, 'f', 1));
}

void TcpTransport::onError(QAbstractSocket::SocketError error)
{
    if (connecting) {
        switch (error) {
        case QAbstractSocket::HostNotFoundError:
            failOpen("host not found; check the host name");
            break;
        case QAbstractSocket::ConnectionRefusedError:
            failOpen("connection refused; check the port number and that the device server or "
                     "gateway accepts connections on it");
            break;
        default:
            failOpen(socket.errorString());
            break;
        }
        return;
    }
    if (!established)
        return;
    established = false;
    loss = error == QAbstractSocket::RemoteHostClosedError
               ? QString("connection closed by the peer")
               : socket.errorString();
    emit deviceLost();
}
