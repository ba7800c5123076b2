#include "serialtransport.h"

#include "devicehungup.h"
#include "portopenfailure.h"

#include <QSerialPort>

class SerialTransport::Port
{
public:
    QSerialPort serialPort;
};

SerialTransport::SerialTransport(QObject *parent)
    : LinkTransport(parent), port(std::make_unique<Port>())
{
    QSerialPort &serialPort = port->serialPort;
    connect(&serialPort, &QSerialPort::readyRead, this, &LinkTransport::readyRead);
    connect(&serialPort, &QSerialPort::errorOccurred, this,
            [this, &serialPort](QSerialPort::SerialPortError error) {
                // Errors of a failed open are told by open(); clearing an error reports
                // NoError.
                if (!serialPort.isOpen() || error == QSerialPort::NoError)
                    return;
                // A device that has gone away (pty peer closed, adapter pulled) reports a
                // read error on every turn of the event loop; any other read or write
                // error is passing.
                const bool readOrWrite =
                    error == QSerialPort::ReadError || error == QSerialPort::WriteError;
                if (error == QSerialPort::ResourceError ||
                    (readOrWrite && deviceHungUp(qintptr(serialPort.handle()))))
                    emit deviceLost();
                else if (readOrWrite)
                    serialPort.clearError();
            });
}

SerialTransport::~SerialTransport() = default;

bool SerialTransport::open(const QString &portName, uint32_t baudrate, uint8_t mode)
{
    QSerialPort &serialPort = port->serialPort;
    path = portName;
    serialPort.setPortName(portName);
    serialPort.setBaudRate(qint32(baudrate));
    serialPort.setDataBits(QSerialPort::Data8);
    switch (mode) {
    case 0:
        serialPort.setParity(QSerialPort::NoParity);
        serialPort.setStopBits(QSerialPort::OneStop);
        break;
    case 1:
        serialPort.setParity(QSerialPort::NoParity);
        serialPort.setStopBits(QSerialPort::TwoStop);
        break;
    case 2:
        serialPort.setParity(QSerialPort::EvenParity);
        serialPort.setStopBits(QSerialPort::OneStop);
        break;
    case 3:
        serialPort.setParity(QSerialPort::EvenParity);
        serialPort.setStopBits(QSerialPort::TwoStop);
        break;
    case 4:
        serialPort.setParity(QSerialPort::OddParity);
        serialPort.setStopBits(QSerialPort::OneStop);
        break;
    case 5:
        serialPort.setParity(QSerialPort::OddParity);
        serialPort.setStopBits(QSerialPort::TwoStop);
        break;
    default:
        break;
    }
    return serialPort.open(QIODevice::ReadWrite);
}

void SerialTransport::close()
{
    port->serialPort.close();
}

bool SerialTransport::isOpen() const
{
    return port->serialPort.isOpen();
}

qint64 SerialTransport::write(const QByteArray &bytes)
{
    return port->serialPort.write(bytes);
}

QByteArray SerialTransport::readAll()
{
    return port->serialPort.readAll();
}

void SerialTransport::clearInput()
{
    port->serialPort.clear(QSerialPort::Input);
}

QString SerialTransport::openFailure() const
{
    return diagnosePortOpenFailure(path,
                                   port->serialPort.error() == QSerialPort::DeviceNotFoundError,
                                   port->serialPort.errorString())
        .text;
}
