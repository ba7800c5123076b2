#include "sensorscan.h"

#include "registermap.h"
#include "wordconversion.h"

#include <algorithm>

ScanHit scanHitFromReply(const ScanProbe &probe, const QVector<uint16_t> &words)
{
    const DeviceIdentity identity = decodeIdentity(words);
    ScanHit hit{probe.address, probe.baudrate, probe.mode, identity.serialNumber,
                identity.firmwareDate};
    const uint32_t baudrate = wordsToUint32(words.mid(Registers::ModbusBaudrate, 2));
    const uint16_t mode = words[Registers::ModbusMode];
    if (sensorBaudrates().contains(baudrate) && mode <= 5) {
        hit.baudrate = baudrate;
        hit.mode = uint8_t(mode);
    }
    return hit;
}

SensorScan::SensorScan(QObject *parent) : QObject(parent)
{
    nextProbeTimer.setSingleShot(true);
    nextProbeTimer.setInterval(0);
    connect(&nextProbeTimer, &QTimer::timeout, this, &SensorScan::sendProbe);
    connect(&link, &Modbus::replyReceived, this, &SensorScan::replyReceived);
    connect(&link, &Modbus::showModbusError, this, &SensorScan::errorShown);
    connect(&link, &Modbus::portOpenFailed, this, &SensorScan::portOpenFailed);
}

void SensorScan::start(const QString &port, const QVector<ScanProbe> &plan)
{
    stop();
    this->port = port;
    this->plan = plan;
    next = 0;
    hits.clear();
    running = true;
    emit progressed(0, plan.size());
    nextProbeTimer.start();
}

void SensorScan::cancel()
{
    if (!running)
        return;
    stop();
    emit finished(true, QString());
}

void SensorScan::stop()
{
    nextProbeTimer.stop();
    running = false;
    probeOnWire = false;
    if (lineOpen)
        link.disconnectDevice(true);
    lineOpen = false;
}

void SensorScan::sendProbe()
{
    if (!running)
        return;
    if (next >= plan.size()) {
        stop();
        emit finished(false, QString());
        return;
    }
    const ScanProbe &probe = plan[next];
    link.setResponseTimeout(probe.answerTimeoutMs);
    probeOnWire = true;
    // A new line setting opens the port afresh; the link's connect sends the probe itself.
    if (!lineOpen || probe.baudrate != openBaudrate || probe.mode != openMode) {
        lineOpen = true;
        openBaudrate = probe.baudrate;
        openMode = probe.mode;
        link.connectDevice(port, probe.baudrate, probe.mode, probe.address);
    } else {
        link.readRegistersAt(probe.address, 0, Modbus::probeLastRegister);
    }
}

void SensorScan::replyReceived(QVector<uint16_t> words)
{
    if (!probeOnWire)
        return;
    if (words.size() == ReplyLength::Info) {
        const ScanHit hit = scanHitFromReply(plan[next], words);
        const bool known = std::any_of(hits.begin(), hits.end(), [&](const ScanHit &seen) {
            return seen.address == hit.address && seen.serialNumber == hit.serialNumber;
        });
        if (!known) {
            hits.append(hit);
            emit sensorFound(hit);
        }
    }
    probeDone();
}

void SensorScan::errorShown(QString error)
{
    // The empty text follows every accepted reply; an open failure is told with its reason.
    if (error.isEmpty() || !probeOnWire || error == "Modbus Error: connect failed")
        return;
    probeDone();
}

void SensorScan::portOpenFailed(QString reason)
{
    if (!running)
        return;
    lineOpen = false;
    stop();
    emit finished(false, tr("Cannot open %1: %2").arg(port, reason));
}

void SensorScan::probeDone()
{
    probeOnWire = false;
    ++next;
    emit progressed(next, plan.size());
    nextProbeTimer.start();
}
