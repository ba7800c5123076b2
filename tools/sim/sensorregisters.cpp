#include "sensorregisters.h"

#include "firmwaregates.h"

#include <cmath>
#include <cstring>

namespace
{

constexpr int HardwareRevision = 1;
constexpr int SerialNumber = 2;
constexpr int FirmwareDate = 4;
constexpr int LiveFirst = 16;
constexpr int LiveLast = 30;
constexpr int Unlock = 32;
constexpr int Command = 33;
constexpr int Baudrate = 34;
constexpr int Address = 36;
constexpr int Mode = 37;
constexpr int FilterLength = 38;
constexpr int AnalogOutput1 = 40;
constexpr int AnalogOutput2 = 44;
constexpr int ConfigurationFirst = 34;
constexpr int ConfigurationLast = 46;
constexpr int CalibrationFirst = 96;
constexpr int CalibrationLast = 148;
constexpr int CalibrationDate = 144;
constexpr int MappingFirst = 192;
constexpr int MappingLast = 201;

constexpr uint16_t CommitConfiguration = 1;
constexpr uint16_t CommitCalibration = 2;
constexpr uint16_t Reboot = 255;

void putUint32(std::array<uint16_t, SensorRegisters::Count> &image, int reg, uint32_t value)
{
    image[reg] = uint16_t(value >> 16);
    image[reg + 1] = uint16_t(value & 0xFFFF);
}

uint32_t getUint32(const std::array<uint16_t, SensorRegisters::Count> &image, int reg)
{
    return uint32_t(image[reg]) << 16 | image[reg + 1];
}

void putFloat(std::array<uint16_t, SensorRegisters::Count> &image, int reg, float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    putUint32(image, reg, bits);
}

float getFloat(const std::array<uint16_t, SensorRegisters::Count> &image, int reg)
{
    const uint32_t bits = getUint32(image, reg);
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

SensorRegisters::SensorRegisters(const Identity &identity, int address, const LineSettings &line)
    : firmwareDate(identity.firmwareDate)
{
    image[HardwareRevision] = identity.hardwareRevision;
    putUint32(image, SerialNumber, identity.serialNumber);
    putUint32(image, FirmwareDate, uint32_t(identity.firmwareDate.toSecsSinceEpoch()));

    putUint32(image, Baudrate, line.baudrate);
    image[Address] = uint16_t(address);
    image[Mode] = uint16_t(line.mode);
    image[FilterLength] = 4;
    // Output 1 follows nu 0..100 cSt, output 2 T 0..100 °C.
    image[AnalogOutput1] = 18;
    image[AnalogOutput1 + 2] = 10000;
    image[AnalogOutput2] = 22;
    image[AnalogOutput2 + 2] = 10000;

    // A factory calibration: filler words that differ from register to register,
    // and a calibration date in 2023.
    for (int reg = CalibrationFirst; reg <= CalibrationLast; ++reg)
        image[reg] = uint16_t((reg * 40503u + identity.serialNumber) ^ 0x5A5A);
    putUint32(image, CalibrationDate,
              uint32_t(QDateTime(QDate(2023, 5, 16), QTime(9, 30), Qt::UTC).toSecsSinceEpoch()));

    putFloat(image, MappingFirst, 1.0f);
    putFloat(image, MappingFirst + 2, 1.0f);
    for (int reg = MappingFirst + 4; reg <= MappingLast; reg += 2)
        putFloat(image, reg, std::nanf(""));

    committed = image;
}

void SensorRegisters::setLiveBlock(const QVector<uint16_t> &words)
{
    for (int i = 0; i < words.size() && LiveFirst + i <= LiveLast; ++i)
        image[LiveFirst + i] = words[i];
}

void SensorRegisters::setCalibrationBlock(const QVector<uint16_t> &words)
{
    for (int i = 0; i < words.size() && CalibrationFirst + i <= CalibrationLast; ++i)
        image[CalibrationFirst + i] = words[i];
    commit(CalibrationFirst, CalibrationLast);
}

void SensorRegisters::ignoreWrites(int first, int last)
{
    ignoredFirst = first;
    ignoredLast = last;
}

SensorRegisters::Access SensorRegisters::access(int reg)
{
    if (reg == Unlock)
        return Access::Unlock;
    if (reg == Command)
        return Access::Command;
    if ((reg >= ConfigurationFirst && reg <= FilterLength) ||
        (reg >= AnalogOutput1 && reg <= AnalogOutput1 + 2) ||
        (reg >= AnalogOutput2 && reg <= AnalogOutput2 + 2))
        return Access::Configuration;
    if (reg >= CalibrationFirst && reg <= CalibrationLast)
        return Access::Calibration;
    if (reg >= MappingFirst && reg <= MappingLast)
        return Access::Mapping;
    return Access::ReadOnly;
}

SensorRegisters::WriteResult SensorRegisters::write(int firstReg, const QVector<uint16_t> &words)
{
    // Works on a copy so that a rejected write leaves no trace.
    SensorRegisters next = *this;
    WriteResult result;
    const auto reject = [&result](Exception exception) {
        result = WriteResult();
        result.exception = exception;
        return result;
    };
    for (int i = 0; i < words.size(); ++i) {
        const int reg = firstReg + i;
        const uint16_t word = words[i];
        if (reg >= Count)
            return reject(IllegalDataAddress);
        const Access kind = access(reg);
        if (kind == Access::ReadOnly)
            return reject(IllegalDataAddress);
        if (kind == Access::Unlock) {
            if (word != UnlockCode && word != 0)
                return reject(IllegalDataValue);
        } else if (!next.unlocked) {
            return reject(IllegalDataAddress);
        } else if (kind == Access::Command && word != CommitConfiguration &&
                   word != CommitCalibration && word != Reboot) {
            return reject(IllegalDataValue);
        }
        if (reg >= ignoredFirst && reg <= ignoredLast)
            continue;

        switch (kind) {
        case Access::Unlock:
            next.unlocked = word == UnlockCode;
            break;
        case Access::Command:
            if (word == CommitConfiguration) {
                next.commit(ConfigurationFirst, ConfigurationLast);
                next.commit(MappingFirst, MappingLast);
                result.configurationCommitted = true;
            } else if (word == CommitCalibration) {
                next.commit(CalibrationFirst, CalibrationLast);
                result.calibrationCommitted = true;
            } else {
                result.reboot = true;
            }
            break;
        default:
            next.image[reg] = word;
            break;
        }
    }
    // Values are checked once the whole write is in: a baud rate spans two registers.
    const Exception valueCheck = next.checkValues();
    if (valueCheck != None)
        return reject(valueCheck);
    *this = next;
    return result;
}

SensorRegisters::Exception SensorRegisters::checkValues() const
{
    const bool valid = LineSettings::isValidBaudrate(getUint32(image, Baudrate)) &&
                       image[Address] >= 1 && image[Address] <= 247 &&
                       LineSettings::isValidMode(image[Mode]) && image[FilterLength] >= 1 &&
                       image[FilterLength] <= 256 && analogSourceAvailable(image[AnalogOutput1]) &&
                       analogSourceAvailable(image[AnalogOutput2]);
    return valid ? None : IllegalDataValue;
}

bool SensorRegisters::analogSourceAvailable(uint16_t code) const
{
    switch (code) {
    case 0:
    case 18:
    case 19:
    case 22:
        return true;
    case 26:
        return FirmwareGates::reached(firmwareDate, FirmwareGates::NuUint32);
    case 20:
    case 30:
        return FirmwareGates::reached(firmwareDate, FirmwareGates::EtaRegister);
    case 27:
        return FirmwareGates::reached(firmwareDate, FirmwareGates::Mapping);
    }
    return false;
}

void SensorRegisters::commit(int first, int last)
{
    for (int reg = first; reg <= last; ++reg)
        committed[reg] = image[reg];
}

void SensorRegisters::reboot()
{
    for (int reg = ConfigurationFirst; reg <= ConfigurationLast; ++reg)
        image[reg] = committed[reg];
    for (int reg = CalibrationFirst; reg <= CalibrationLast; ++reg)
        image[reg] = committed[reg];
    for (int reg = MappingFirst; reg <= MappingLast; ++reg)
        image[reg] = committed[reg];
    unlocked = false;
}

LineSettings SensorRegisters::committedLine() const
{
    LineSettings line;
    line.baudrate = getUint32(committed, Baudrate);
    line.mode = committed[Mode];
    return line;
}

float SensorRegisters::mappingK() const
{
    return getFloat(committed, MappingFirst);
}

float SensorRegisters::mappingAlpha() const
{
    return getFloat(committed, MappingFirst + 2);
}
