#include "scanplan.h"

#include "modbus.h"
#include "modbusframe.h"

#include <cmath>

const QVector<uint32_t> &sensorBaudrates()
{
    static const QVector<uint32_t> baudrates{9600, 19200, 115200};
    return baudrates;
}

bool isNetworkAddress(const QString &port)
{
    return port.startsWith("tcp://") || port.startsWith("mbtcp://");
}

int scanAnswerTimeoutMs(uint32_t baudrate, uint8_t mode)
{
    const int lineBytes = ReadRequestBytes + readReplyBytes(Modbus::probeLastRegister + 1);
    return int(std::ceil(lineTimeMs(lineBytes, baudrate, mode))) + ScanLimits::AnswerMarginMs;
}

QVector<ScanProbe> planSensorScan(const QString &port, ScanKind kind, uint32_t baudrate,
                                  uint8_t mode, uint8_t address)
{
    QVector<ScanProbe> probes;
    const bool network = isNetworkAddress(port);
    if (network || kind == ScanKind::Addresses) {
        const int timeout =
            network ? ScanLimits::NetworkAnswerTimeoutMs : scanAnswerTimeoutMs(baudrate, mode);
        for (int slave = ScanLimits::FirstAddress; slave <= ScanLimits::LastAddress; ++slave)
            probes.append({baudrate, mode, uint8_t(slave), timeout});
        return probes;
    }
    for (uint32_t rate : sensorBaudrates()) {
        for (uint8_t lineMode = 0; lineMode <= 5; ++lineMode)
            probes.append({rate, lineMode, address, scanAnswerTimeoutMs(rate, lineMode)});
    }
    return probes;
}
