#ifndef SERIALTRANSPORT_H
#define SERIALTRANSPORT_H

#include "linktransport.h"

#include <memory>

// The link's bytes over a serial port, 8 data bits: through Qt Serial Port on Linux
// (serialtransport.cpp), through the platform's ComPort on Windows
// (serialtransportwindows.cpp). A device that reports a read or write error and is still
// there has had a passing error: it is cleared and not told.
class SerialTransport : public LinkTransport
{
    Q_OBJECT

public:
    explicit SerialTransport(QObject *parent = nullptr);
    ~SerialTransport() override;

    bool open(const QString &port, uint32_t baudrate, uint8_t mode) override;
    void close() override;
    bool isOpen() const override;
    qint64 write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    void clearInput() override;
    QString openFailure() const override;

private:
    // The system's port and what its source keeps beside it.
    class Port;

    std::unique_ptr<Port> port;
    QString path; // as given: the port's own name drops "/dev/"
};

#endif
