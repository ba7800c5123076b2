#include "registermap.h"

#include "modbus.h"
#include "quantities.h"
#include "wordconversion.h"

#include <cmath>
#include <limits>

// The link's own probe reads the block that the settings panel takes from its first reply.
static_assert(Registers::InfoLast == Modbus::probeLastRegister);

namespace
{

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

double scaledUint16(uint16_t word, double scale)
{
    return word == NoValueUint16 ? NaN : word * scale;
}

double scaledInt16(uint16_t word, double scale)
{
    return word == NoValueInt16 ? NaN : int16_t(word) * scale;
}

double scaledUint32(uint16_t high, uint16_t low, double scale)
{
    const uint32_t value = wordsToUint32({high, low});
    return value == NoValueUint32 ? NaN : value * scale;
}

// Seconds since the epoch in two registers, from a block that starts at register 0.
QDateTime secondsSinceEpoch(const QVector<uint16_t> &registers, uint8_t firstReg)
{
    return QDateTime::fromSecsSinceEpoch(wordsToUint32(registers.mid(firstReg, 2)));
}

// Word index of a register inside the live block.
constexpr int live(uint8_t reg)
{
    return reg - Registers::LiveFirst;
}

} // namespace

bool firmwareAtLeast(const QDateTime &firmwareDate, const QDate &gate)
{
    if (!firmwareDate.isValid())
        return false;
    return firmwareDate >= QDateTime(gate, QTime(0, 0), Qt::LocalTime);
}

LiveSample decodeLiveBlock(const QVector<uint16_t> &words, const QDateTime &firmwareDate)
{
    LiveSample sample;
    sample.frameNr = wordsToUint32({words[0], words[1]});

    if (firmwareAtLeast(firmwareDate, FirmwareGate::NuUint32))
        sample.nu = scaledUint32(words[live(Registers::Nu)], words[live(Registers::Nu) + 1], 0.001);
    else
        sample.nu = scaledUint16(words[live(Registers::NuOld)], 0.01);

    sample.rho = scaledUint16(words[live(Registers::Rho)], 0.1);
    sample.T = scaledInt16(words[live(Registers::Temperature)], 0.01);

    if (firmwareAtLeast(firmwareDate, FirmwareGate::EtaRegister))
        sample.eta =
            scaledUint32(words[live(Registers::Eta)], words[live(Registers::Eta) + 1], 0.001);
    else
        sample.eta = dynamicViscosity(sample.nu, sample.rho);

    if (firmwareAtLeast(firmwareDate, FirmwareGate::Mapping))
        sample.nuUc = scaledUint16(words[live(Registers::NuUc)], 0.1);
    else
        sample.nuUc = NaN;

    sample.systemState = words[live(Registers::SystemState)];
    return sample;
}

DeviceIdentity decodeIdentity(const QVector<uint16_t> &words)
{
    DeviceIdentity identity;
    identity.hardwareRevision = words[Registers::HardwareRevision];
    identity.serialNumber = wordsToUint32(words.mid(Registers::SerialNumber, 2));
    identity.firmwareDate = secondsSinceEpoch(words, Registers::FirmwareDate);
    return identity;
}

QDateTime decodeCalibrationDate(const QVector<uint16_t> &registers)
{
    return secondsSinceEpoch(registers, Registers::CalibrationDate);
}

QString formatSerialNumber(uint32_t serialNumber)
{
    auto byte = [serialNumber](int shift) {
        return QString("%1").arg((serialNumber >> shift) & 0xFF, 2, 16, QChar('0')).toUpper();
    };
    return QString("%1-%2-%3-%4").arg(byte(24), byte(16), byte(8), byte(0));
}

QString formatDeviceDate(const QDateTime &date)
{
    return date.toLocalTime().toString("yyyy-MM-dd HH:mm:ss");
}

QVector<uint16_t> encodeMappingBlock(const MappingBlock &block)
{
    QVector<uint16_t> words;
    for (float value : {block.k, block.alpha, block.A, block.B, block.C})
        words += floatToWords(value);
    return words;
}

MappingBlock decodeMappingBlock(const QVector<uint16_t> &words)
{
    const auto value = [&words](int index) { return wordsToFloat(words.mid(2 * index, 2)); };
    return {value(0), value(1), value(2), value(3), value(4)};
}

QVector<RegisterWrite> configurationWriteSequence(const QVector<RegisterWrite> &dataWrites,
                                                  uint16_t command, bool reboot)
{
    QVector<RegisterWrite> sequence;
    sequence.append(RegisterWrite{Registers::Unlock, {UnlockCode}});
    sequence += dataWrites;
    sequence.append(RegisterWrite{Registers::Command, {command}});
    if (reboot)
        sequence.append(RegisterWrite{Registers::Command, {DeviceCommand::Reboot}});
    else
        sequence.append(RegisterWrite{Registers::Unlock, {LockCode}});
    return sequence;
}
