#ifndef SENSORREGISTERS_H
#define SENSORREGISTERS_H

#include "linesettings.h"

#include <QDateTime>
#include <QVector>

#include <array>
#include <cstdint>

// The sensor's holding registers 0..255 and the rules it applies to writes: the
// unlock window, the value ranges, the commands, and the committed copy that a
// reboot comes back with. A plain value class: the I/O loop only asks it.
class SensorRegisters
{
public:
    static constexpr int Count = 256;
    static constexpr uint16_t UnlockCode = 0x6B3E;

    // Modbus exception codes a write can earn.
    enum Exception : uint8_t { None = 0, IllegalDataAddress = 2, IllegalDataValue = 3 };

    struct WriteResult {
        Exception exception = None;
        bool configurationCommitted = false;
        bool calibrationCommitted = false;
        bool reboot = false;
    };

    struct Identity {
        uint16_t hardwareRevision = 0;
        uint32_t serialNumber = 0;
        QDateTime firmwareDate;
    };

    SensorRegisters(const Identity &identity, int address, const LineSettings &line);

    const std::array<uint16_t, Count> &registers() const { return image; }
    const std::array<uint16_t, Count> &committedRegisters() const { return committed; }
    bool isUnlocked() const { return unlocked; }

    // Registers 16..30, produced by the measurement.
    void setLiveBlock(const QVector<uint16_t> &words);
    // Registers 96..148 as the factory wrote them; they count as committed.
    void setCalibrationBlock(const QVector<uint16_t> &words);
    // Writes to first..last are acknowledged but change nothing.
    void ignoreWrites(int first, int last);

    // A write of consecutive registers: all of it is taken or, with an exception,
    // none of it.
    WriteResult write(int firstReg, const QVector<uint16_t> &words);

    // What a reboot comes back with: the committed values, locked.
    void reboot();

    int committedAddress() const { return committed[36]; }
    LineSettings committedLine() const;
    // The committed mapping ν' = k·ν^α.
    float mappingK() const;
    float mappingAlpha() const;

private:
    enum class Access { ReadOnly, Unlock, Command, Configuration, Calibration, Mapping };
    static Access access(int reg);
    Exception checkValues() const;
    bool analogSourceAvailable(uint16_t code) const;
    void commit(int first, int last);

    std::array<uint16_t, Count> image{};
    std::array<uint16_t, Count> committed{};
    QDateTime firmwareDate;
    bool unlocked = false;
    int ignoredFirst = -1;
    int ignoredLast = -1;
};

#endif
