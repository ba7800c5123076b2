#ifndef TCPTRANSPORT_H
#define TCPTRANSPORT_H

#include "linktransport.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

// The link's bytes over a TCP connection to tcp://HOST:PORT or mbtcp://HOST:PORT: a serial
// device server or a Modbus TCP gateway. The connection is made in the background and
// given up after connectTimeoutMs; the line settings belong to the far end's serial side.
class TcpTransport : public LinkTransport
{
    Q_OBJECT

public:
    static constexpr int connectTimeoutMs = 3000;

    explicit TcpTransport(QObject *parent = nullptr);

    bool open(const QString &port, uint32_t baudrate, uint8_t mode) override;
    void close() override;
    bool isOpen() const override;
    qint64 write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    void clearInput() override;
    QString openFailure() const override;
    QString lossReason() const override;

private:
    void onConnected();
    void onError(QAbstractSocket::SocketError error);
    void onConnectTimeout();
    void failOpen(const QString &reason);

    QTcpSocket socket;
    QTimer connectTimer;
    QElapsedTimer connectClock;
    QString address; // as given, for the texts
    QString failure;
    QString loss;
    bool connecting = false;
    bool established = false;
};

#endif
