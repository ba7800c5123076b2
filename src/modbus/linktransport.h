#ifndef LINKTRANSPORT_H
#define LINKTRANSPORT_H

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>

// How the link's bytes reach the sensors: the link frames, times and queues requests and
// leaves the moving of bytes to one of these: a serial port, or a TCP connection to a
// device server or gateway.
class LinkTransport : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Opens the line to port with the link's settings: baudrate, and mode 0 to 5 for no,
    // even or odd parity with one or two stop bits. False when it would not open, with
    // openFailure() saying why. A transport that opens in the background returns true
    // before isOpen() does and then tells opened() or openFailed().
    virtual bool open(const QString &port, uint32_t baudrate, uint8_t mode) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual qint64 write(const QByteArray &bytes) = 0;
    // What arrived since the last read.
    virtual QByteArray readAll() = 0;
    // Drops what arrived and was not read.
    virtual void clearInput() = 0;
    // After a failed open: the cause and what the user can do about it.
    virtual QString openFailure() const = 0;
    // After deviceLost(): why, when the transport knows more than that the line is gone.
    virtual QString lossReason() const { return QString(); }

signals:
    void readyRead();
    // The device went away while open (adapter pulled, peer closed): the line is lost.
    // Passing errors are the transport's own business and are not told.
    void deviceLost();
    // A background open has finished: the line is open, or it failed (openFailure()).
    void opened();
    void openFailed();
};

#endif
