#include "serialtransport.h"

#include "devicehungup.h"
#include "portopenfailure.h"

SerialTransport::SerialTransport(QObject *parent) : LinkTransport(parent)
{
    connect(&serialPort, &QSerialPort::readyRead, this, &LinkTransport::readyRead);
    connect(&serialPort, &QSerialPort::errorOccurred, this, &SerialTransport::onPortError);
}

bool SerialTransport::open(const QString &port, uint32_t baudrate, uint8_t mode)
{
    path = port;
    serialPort.setPortName(port);
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
    serialPort.close();
}

bool SerialTransport::isOpen() const
{
    return serialPort.isOpen();
}

qint64 SerialTransport::write(const QByteArray &bytes)
{
    return serialPort.write(bytes);
}

QByteArray SerialTransport::readAll()
{
    return serialPort.readAll();
}

void SerialTransport::clearInput()
{
    serialPort.clear(QSerialPort::Input);
}

QString SerialTransport::openFailure() const
{
    return diagnosePortOpenFailure(path, serialPort.error() == QSerialPort::DeviceNotFoundError,
                                   serialPort.errorString())
        .text;
}

void SerialTransport::onPortError(QSerialPort::SerialPortError error)
{
    // Errors of a failed open are told by open(); clearing an error reports NoError.
    if (!serialPort.isOpen() || error == QSerialPort::NoError)
        return;
    // A device that has gone away (pty peer closed, adapter pulled) reports a read error
    // on every turn of the event loop; any other read or write error is passing.
    const bool readOrWrite = error == QSerialPort::ReadError || error == QSerialPort::WriteError;
    if (error == QSerialPort::ResourceError ||
        (readOrWrite && deviceHungUp(qintptr(serialPort.handle()))))
        emit deviceLost();
    else if (readOrWrite)
        serialPort.clearError();
}
