#include "serialtransport.h"

#include "comport.h"
#include "devicehungup.h"
#include "portopenfailure.h"

#include <QList>
#include <QWinEventNotifier>

#include <string>

// The platform's ComPort driven by the event loop: its input event brings the bytes that
// arrived, its output event the end of a write, after which the next queued one starts.
// A write never waits for the line.

class SerialTransport::Port
{
public:
    explicit Port(SerialTransport &transport);

    void takeInput();
    void writeNext();
    // After a failed read or write: true when the error was passing and is cleared; a
    // device that is gone is told (lose()) and false returned.
    bool recover();
    // Tells deviceLost() on the next turn of the event loop, not from inside a call of
    // the link.
    void lose();

    SerialTransport &transport;
    ComPort com;
    QWinEventNotifier input;
    QWinEventNotifier output;
    QByteArray received;
    QList<QByteArray> queued; // writes waiting for the one on the line
    bool missing = false;
    unsigned long openError = 0;
};

SerialTransport::Port::Port(SerialTransport &owner)
    : transport(owner), input(com.inputEvent()), output(com.outputEvent())
{
}

void SerialTransport::Port::takeInput()
{
    std::string bytes;
    const bool read = com.takeInput(bytes);
    if (!bytes.empty()) {
        received.append(bytes.data(), int(bytes.size()));
        emit transport.readyRead();
    }
    // The link may have closed the port on what it read.
    if (!read && com.isOpen() && recover() && !com.restartInput())
        lose();
}

void SerialTransport::Port::writeNext()
{
    // The bytes of a failed write are lost; the link's response time-out tells it.
    if (com.writing() && !com.finishWrite() && !recover())
        return;
    while (!com.writing() && !queued.isEmpty()) {
        const QByteArray bytes = queued.takeFirst();
        if (!com.startWrite(bytes.constData(), size_t(bytes.size())) && !recover())
            return;
    }
}

bool SerialTransport::Port::recover()
{
    if (deviceHungUp(com.handle())) {
        lose();
        return false;
    }
    com.clearError();
    return true;
}

void SerialTransport::Port::lose()
{
    queued.clear();
    QMetaObject::invokeMethod(
        &transport,
        [this] {
            if (com.isOpen())
                emit transport.deviceLost();
        },
        Qt::QueuedConnection);
}

SerialTransport::SerialTransport(QObject *parent)
    : LinkTransport(parent), port(std::make_unique<Port>(*this))
{
    connect(&port->input, &QWinEventNotifier::activated, this, [this] { port->takeInput(); });
    connect(&port->output, &QWinEventNotifier::activated, this, [this] { port->writeNext(); });
}

SerialTransport::~SerialTransport() = default;

bool SerialTransport::open(const QString &portName, uint32_t baudrate, uint8_t mode)
{
    path = portName;
    port->received.clear();
    port->queued.clear();
    const bool opened = port->com.open(portName.toStdWString(), baudrate, mode);
    port->openError = opened ? 0 : port->com.error();
    port->missing = !opened && port->com.portMissing();
    return opened;
}

void SerialTransport::close()
{
    port->com.close();
    port->queued.clear();
}

bool SerialTransport::isOpen() const
{
    return port->com.isOpen();
}

qint64 SerialTransport::write(const QByteArray &bytes)
{
    if (!port->com.isOpen())
        return -1;
    port->queued.append(bytes);
    port->writeNext();
    return bytes.size();
}

QByteArray SerialTransport::readAll()
{
    QByteArray bytes;
    bytes.swap(port->received);
    return bytes;
}

void SerialTransport::clearInput()
{
    port->received.clear();
    if (!port->com.clearInput() && port->recover() && !port->com.restartInput())
        port->lose();
}

QString SerialTransport::openFailure() const
{
    return diagnosePortOpenFailure(path, port->missing, qt_error_string(int(port->openError))).text;
}
