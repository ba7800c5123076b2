#include "modbus.h"

#include "mbapframe.h"
#include "modbusframe.h"
#include "serialtransport.h"
#include "tcptransport.h"
#include "wordconversion.h"

#include <QDateTime>
#include <QDebug>

Modbus::Modbus(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<QVector<uint16_t>>("QVector<uint16_t>");
    // Coarse timers may fire 5 % early: a reply would be cut before its 100 ms of quiet,
    // and a sensor answering at 2.9 s reported as silent.
    frameEndTimer.setSingleShot(true);
    frameEndTimer.setInterval(frameEndMs);
    frameEndTimer.setTimerType(Qt::PreciseTimer);
    responseTimer.setSingleShot(true);
    responseTimer.setInterval(defaultResponseTimeoutMs);
    responseTimer.setTimerType(Qt::PreciseTimer);

    connect(&frameEndTimer, SIGNAL(timeout()), this, SLOT(readReply()));
    connect(&responseTimer, SIGNAL(timeout()), this, SLOT(timeout()));
    useTransportFor(QString());
}

Modbus::~Modbus()
{
    transport->close();
}

void Modbus::connectDevice(QString portName, uint32_t baudrate, uint8_t mode, uint8_t address)
{
    this->portName = portName;
    this->baudrate = baudrate;
    this->mode = mode;
    this->address = address;
    replyAddress = address;
    linkStatistics.reset();
    openPort();
}

void Modbus::reconnectDevice()
{
    openPort();
}

void Modbus::useTransportFor(const QString &port)
{
    const NetworkKind kind = networkKind(port);
    const bool overTcp = kind != NetworkKind::None;
    if (transport && (network != NetworkKind::None) == overTcp) {
        network = kind;
        return;
    }
    network = kind;
    // The old transport may be the one whose signal led here: it goes once that is over.
    if (transport) {
        transport->disconnect(this);
        transport.release()->deleteLater();
    }
    if (overTcp)
        transport = std::make_unique<TcpTransport>(this);
    else
        transport = std::make_unique<SerialTransport>(this);
    connect(transport.get(), &LinkTransport::readyRead, this, &Modbus::onReadyRead);
    connect(transport.get(), &LinkTransport::deviceLost, this, &Modbus::connectionLost);
    connect(transport.get(), &LinkTransport::opened, this, &Modbus::transportOpened);
    connect(transport.get(), &LinkTransport::openFailed, this, &Modbus::transportOpenFailed);
}

void Modbus::openPort()
{
    if (transport->isOpen() || awaitingOpen) {
        connected = false;
        waitingForReply = false;
        requestQueue.clear();
        frameEndTimer.stop();
        responseTimer.stop();
        transport->close();
        awaitingOpen = false;
        endWriteRun(false);
    }
    useTransportFor(portName);

    qDebug() << "Modbus: connecting to device" << portName << "with" << baudrate
             << "baud at address" << address << "...";

    connecting = true;
    if (!transport->open(portName, baudrate, mode)) {
        transportOpenFailed();
        return;
    }
    if (!transport->isOpen()) {
        // A network connection is made in the background; the probe waits for it, and
        // its response time-out starts only once it is sent.
        awaitingOpen = true;
        frames.addEvent("connecting to " + portName, now());
        linkState = LinkState::Connecting;
        emit linkStateChanged(linkState, {portName, baudrate, mode, address});
        return;
    }
    transportOpened();
}

void Modbus::transportOpenFailed()
{
    awaitingOpen = false;
    linkState = LinkState::OpenFailed;
    emit linkStateChanged(linkState, {portName, baudrate, mode, address});
    const QString failure = transport->openFailure();
    frames.addEvent("connect failed", now());
    reportError("connect failed");
    emit portOpenFailed(failure);
}

void Modbus::transportOpened()
{
    const bool inBackground = awaitingOpen;
    awaitingOpen = false;
    // Disconnected while the connection was being made: no new request goes out.
    if (!connecting)
        return;
    frames.addEvent(network == NetworkKind::None ? "port opened" : "connected to " + portName,
                    now());
    // Whatever the line still holds (a reply to a program that ended while it was on its
    // way) would be taken as the start of the probe's reply.
    transport->clearInput();
    received.clear();
    // Said even when it was connecting already: the parameters may have changed. A
    // background open said it when it began.
    if (!inBackground) {
        linkState = LinkState::Connecting;
        emit linkStateChanged(linkState, {portName, baudrate, mode, address});
    }
    // The probe bypasses the connected test of readRegisters: its reply is what
    // marks the link connected.
    sendRequest(ModbusFunction::ReadHoldingRegisters, readRequestPayload(0, probeLastRegister));
}

void Modbus::disconnectDevice(bool hard)
{
    connected = false;
    connecting = false;
    if (hard) {
        transport->close();
        awaitingOpen = false;
        received.clear();
        waitingForReply = false;
        requestQueue.clear();
        responseTimer.stop();
        frameEndTimer.stop();
        endWriteRun(false);
    }
    qDebug() << "Modbus: disconnected!";
    emit deviceDisconnected();
    setLinkState(LinkState::NotConnected);
}

void Modbus::readRegisters(uint8_t firstReg, uint8_t lastReg)
{
    if (!connected)
        return;
    sendRequest(ModbusFunction::ReadHoldingRegisters, readRequestPayload(firstReg, lastReg));
}

void Modbus::readRegistersAt(uint8_t address, uint8_t firstReg, uint8_t lastReg)
{
    if (!transport->isOpen())
        return;
    sendRequestTo(address, ModbusFunction::ReadHoldingRegisters,
                  readRequestPayload(firstReg, lastReg));
}

void Modbus::writeRegisters(uint8_t firstReg, QVector<uint16_t> data)
{
    if (!connected)
        return;
    writeRunOpen = true;
    sendRequest(ModbusFunction::WriteMultipleRegisters, writeRequestPayload(firstReg, data));
}

void Modbus::sendRequest(uint8_t functionCode, const QByteArray &payload)
{
    sendRequestTo(address, functionCode, payload);
}

void Modbus::sendRequestTo(uint8_t slave, uint8_t functionCode, const QByteArray &payload)
{
    const QByteArray frame = buildRequest(slave, functionCode, payload);
    if (!requestQueue.isEmpty() || waitingForReply)
        requestQueue.append(frame);
    else
        sendFrame(frame);
}

void Modbus::sendFrame(const QByteArray &frame)
{
    replyAddress = uint8_t(frame.at(0));
    linkStatistics.requestSent();
    if (network == NetworkKind::ModbusTcp) {
        const QByteArray adu = mbapFromRtu(frame, ++transaction);
        transport->write(adu);
        frames.addMbapFrame(FrameLog::Sent, adu, replyAddress, transaction, now());
    } else {
        transport->write(frame);
        frames.addFrame(FrameLog::Sent, frame, replyAddress, now());
    }
    // The request ends on the line this long after it was handed over; behind a device
    // server or gateway the serial line is not the link's to time.
    requestDurationMs = network == NetworkKind::None ? lineTimeMs(frame.size(), baudrate, mode) : 0;
    exchangeClock.start();
    firstByteMs = -1;
    waitingForReply = true;
    responseTimer.start();
}

void Modbus::onReadyRead()
{
    if (firstByteMs < 0 && exchangeClock.isValid())
        firstByteMs = exchangeClock.nsecsElapsed() / 1e6;
    responseTimer.stop();
    if (network == NetworkKind::ModbusTcp) {
        received += transport->readAll();
        const int length = mbapFrameBytes(received);
        if (length > 0 && received.size() >= length) {
            frameEndTimer.stop();
            readReply();
            return;
        }
    }
    frameEndTimer.start();
}

void Modbus::readReply()
{
    const QByteArray frame = received + transport->readAll();
    received.clear();
    ModbusReply reply;
    if (network == NetworkKind::ModbusTcp) {
        reply = checkMbapReply(frame, transaction, replyAddress);
        frames.addMbapFrame(FrameLog::Received, frame, replyAddress, transaction, now());
    } else {
        reply = checkReply(frame, replyAddress);
        frames.addFrame(FrameLog::Received, frame, replyAddress, now());
    }
    if (reply.status == ModbusReply::TooShort)
        qWarning() << "message too short";
    switch (reply.status) {
    case ModbusReply::TooShort:
        linkStatistics.error(LinkStatistics::TooShort);
        break;
    case ModbusReply::CrcError:
        linkStatistics.error(LinkStatistics::Crc);
        break;
    case ModbusReply::InvalidAddress:
        linkStatistics.error(LinkStatistics::WrongAddress);
        break;
    case ModbusReply::InvalidHeader:
        linkStatistics.error(LinkStatistics::MbapHeader);
        break;
    case ModbusReply::Valid:
        if (reply.function & 0x80)
            linkStatistics.exception(reply.payload.isEmpty() ? 0 : uint8_t(reply.payload[0]));
        break;
    }
    if (reply.status != ModbusReply::Valid) {
        reportError(reply.error);
        return;
    }

    if (connecting && !connected) {
        connected = true;
        connecting = false;
        qDebug() << "Modbus: connected!";
        emit deviceConnected();
        setLinkState(LinkState::Connected);
    }

    switch (reply.function) {
    case ModbusFunction::ReadHoldingRegisters:
        emit replyReceived(decodeReadPayload(reply.payload));
        break;
    case ModbusFunction::WriteSingleRegister:
    case ModbusFunction::WriteMultipleRegisters:
        break;
    default:
        qWarning() << "Modbus: message with invalid function code received:" << reply.function
                   << ":" << reply.payload.toHex().constData();
        reportError(QString("invalid function code: %1").arg(reply.function));
        return;
    }

    const double replyMs = exchangeClock.nsecsElapsed() / 1e6;
    linkStatistics.replyAccepted(qMax(0.0, firstByteMs - requestDurationMs),
                                 qMax(0.0, replyMs - requestDurationMs));

    emit showModbusError(QString());
    // The run ends with its last write: no further write waits right behind it.
    const bool writeAnswered = reply.function != ModbusFunction::ReadHoldingRegisters;
    if (writeAnswered && writeRunOpen &&
        (requestQueue.isEmpty() ||
         uint8_t(requestQueue.first().at(1)) != ModbusFunction::WriteMultipleRegisters))
        endWriteRun(true);
    if (requestQueue.isEmpty())
        waitingForReply = false;
    else
        sendFrame(requestQueue.takeFirst());
}

void Modbus::timeout()
{
    linkStatistics.error(LinkStatistics::Timeout);
    frames.addEvent("time-out", now());
    reportError("timeout");
    if (connecting && !connected)
        setLinkState(LinkState::ProbeUnanswered);
}

void Modbus::reportError(const QString &reason)
{
    requestQueue.clear();
    waitingForReply = false;
    endWriteRun(false);
    emit showModbusError("Modbus Error: " + reason);
}

void Modbus::connectionLost()
{
    lossReason = transport->lossReason();
    QDebug warning = qWarning();
    warning << "Modbus: connection lost on" << portName;
    if (!lossReason.isEmpty())
        warning << lossReason;
    linkStatistics.error(LinkStatistics::ConnectionLost);
    frames.addEvent(lossReason.isEmpty() ? "connection lost" : "connection lost: " + lossReason,
                    now());
    transport->close();
    received.clear();
    requestQueue.clear();
    waitingForReply = false;
    responseTimer.stop();
    frameEndTimer.stop();
    connecting = false;
    connected = false;
    endWriteRun(false);
    emit showModbusError("Modbus Error: connection lost");
    emit deviceDisconnected();
    setLinkState(LinkState::ConnectionLost);
}

void Modbus::setLinkState(LinkState state)
{
    if (state == linkState)
        return;
    linkState = state;
    emit linkStateChanged(state, {portName, baudrate, mode, address});
}

void Modbus::endWriteRun(bool succeeded)
{
    if (!writeRunOpen)
        return;
    writeRunOpen = false;
    emit writeRunFinished(succeeded);
}

qint64 Modbus::now() const
{
    return QDateTime::currentMSecsSinceEpoch();
}
