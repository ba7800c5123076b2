#ifndef SCANPLAN_H
#define SCANPLAN_H

#include <QString>
#include <QVector>

#include <cstdint>

// What a sensor search sends, in order: one probe (a read of the identity and
// configuration, registers 0..46) per address or per line setting, each with the time
// it waits for the first byte of an answer. A scan waits far less than the link's
// 3 s: a silent address is the rule there, not a fault.
struct ScanProbe {
    uint32_t baudrate = 0;
    uint8_t mode = 0; // 0 none/1, 1 none/2, 2 even/1, 3 even/2, 4 odd/1, 5 odd/2
    uint8_t address = 0;
    int answerTimeoutMs = 0;

    bool operator==(const ScanProbe &other) const
    {
        return baudrate == other.baudrate && mode == other.mode && address == other.address &&
               answerTimeoutMs == other.answerTimeoutMs;
    }
};

enum class ScanKind {
    Addresses,    // every address 1..247 at the chosen baud rate and mode
    LineSettings, // every baud rate and mode at the chosen address
};

namespace ScanLimits
{
constexpr uint8_t FirstAddress = 1;
constexpr uint8_t LastAddress = 247;
// A network address has no line of its own to set: its gateway answers within this.
constexpr int NetworkAnswerTimeoutMs = 500;
// Beyond the bytes on the line: the adapter's latency and the sensor's turnaround.
constexpr int AnswerMarginMs = 150;
} // namespace ScanLimits

// The baud rates the sensor offers, slowest first.
const QVector<uint32_t> &sensorBaudrates();

// "tcp://HOST:PORT" and "mbtcp://HOST:PORT" name a network address, anything else a
// serial port.
bool isNetworkAddress(const QString &port);

// The wait for the first byte at a line setting: the probe on the line, its answer on
// the line, and the margin, rounded up to whole milliseconds.
int scanAnswerTimeoutMs(uint32_t baudrate, uint8_t mode);

// The probes of a search on port. A serial port scans addresses 1..247 upwards at the
// chosen line setting, or the 18 line settings (baud rates slowest first, modes in
// their order) at the chosen address. A network address always scans the addresses,
// as unit identifiers, with the network's answer time-out; its line setting is kept
// as chosen and means nothing to the link.
QVector<ScanProbe> planSensorScan(const QString &port, ScanKind kind, uint32_t baudrate,
                                  uint8_t mode, uint8_t address);

#endif
