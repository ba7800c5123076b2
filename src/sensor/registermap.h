#ifndef REGISTERMAP_H
#define REGISTERMAP_H

#include "livesample.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <cstdint>
#include <limits>

// The sensor's holding registers as the tool uses them: numbers, encodings, the
// firmware gates that change them, the reply lengths that tell the requests apart,
// and the unlock/command run that fences every configuration change.

namespace Registers
{
constexpr uint8_t HardwareRevision = 1;
constexpr uint8_t SerialNumber = 2; // 2..3, uint32
constexpr uint8_t FirmwareDate = 4; // 4..5, uint32 seconds since the epoch (UTC)
constexpr uint8_t LiveFirst = 16;   // frameNr 16..17
constexpr uint8_t LiveLast = 30;
constexpr uint8_t NuOld = 18;       // uint16 × 0.01 cSt, before the 2023-03-20 gate
constexpr uint8_t Rho = 19;         // uint16 × 0.1 kg/m³
constexpr uint8_t Temperature = 22; // int16 × 0.01 °C
constexpr uint8_t SystemState = 23;
constexpr uint8_t Nu = 24;   // 24..25, uint32 × 0.001 cSt
constexpr uint8_t NuUc = 27; // uint16 × 0.1 cSt, from the 2024-10-08 gate
constexpr uint8_t Eta = 28;  // 28..29, uint32 × 0.001 mPas, from the 2024-02-21 gate
constexpr uint8_t Unlock = 32;
constexpr uint8_t Command = 33;
constexpr uint8_t ModbusBaudrate = 34; // 34..35, uint32
constexpr uint8_t ModbusAddress = 36;
constexpr uint8_t ModbusMode = 37;
constexpr uint8_t FilterLength = 38;
constexpr uint8_t AnalogOutput1 = 40; // source code, raw value at 4 mA, raw value at 20 mA
constexpr uint8_t AnalogOutput2 = 44;
constexpr uint8_t InfoLast = 46;
constexpr uint8_t DumpFirstLast = 94;
constexpr uint8_t DumpSecondFirst = 95;
constexpr uint8_t CalibrationFirst = 96;
constexpr uint8_t CalibrationLast = 148;
constexpr uint8_t CalibrationDate = 144; // 144..145, inside the calibration block
constexpr uint8_t MappingFirst = 192;    // k, alpha, A, B, C as float32 pairs
constexpr uint8_t MappingLast = 201;
} // namespace Registers

constexpr uint16_t UnlockCode = 0x6B3E;
constexpr uint16_t LockCode = 0;

namespace DeviceCommand
{
constexpr uint16_t CommitConfiguration = 1; // after configuration and mapping data
constexpr uint16_t CommitCalibration = 2;   // after the calibration block
constexpr uint16_t Reboot = 255;            // after a change of the Modbus parameters
} // namespace DeviceCommand

// Word counts of the replies, one per request; no two requests share a length.
namespace ReplyLength
{
constexpr int Info = 47;        // registers 0..46, the connect probe
constexpr int Live = 15;        // registers 16..30, the live poll
constexpr int Mapping = 10;     // registers 192..201, mapping read-back
constexpr int DumpFirst = 95;   // registers 0..94
constexpr int DumpSecond = 54;  // registers 95..148
constexpr int Calibration = 53; // registers 96..148, calibration read-back
} // namespace ReplyLength

// The live block is read this often while a sensor is connected.
constexpr int LivePollIntervalMs = 500;

// No-value markers of the measurements.
constexpr uint16_t NoValueUint16 = 0xFFFF;
constexpr uint16_t NoValueInt16 = 0x7FFF;
constexpr uint32_t NoValueUint32 = 0xFFFFFFFF;

// Firmware gates: from these days on the sensor delivers the newer formats.
namespace FirmwareGate
{
const QDate NuUint32(2023, 3, 20);    // nu in 24..25; analog source code 26
const QDate EtaRegister(2024, 2, 21); // eta in 28..29; analog source codes 20 and 30
const QDate Mapping(2024, 10, 8);     // nuUc in 27; analog source code 27; mapping writes
} // namespace FirmwareGate

// True when firmwareDate is on or after local midnight of gate; an invalid date is
// earlier than every gate.
bool firmwareAtLeast(const QDateTime &firmwareDate, const QDate &gate);

// Decodes the 15 words of registers 16..30 by the rules of the given firmware; the
// sample's timestamp is left for the caller.
LiveSample decodeLiveBlock(const QVector<uint16_t> &words, const QDateTime &firmwareDate);

struct DeviceIdentity {
    uint16_t hardwareRevision = 0;
    uint32_t serialNumber = 0;
    QDateTime firmwareDate; // local time
};

// Decodes the identity registers 1..5 from a reply that starts at register 0.
DeviceIdentity decodeIdentity(const QVector<uint16_t> &words);

// The calibration date, registers 144..145, from a block that starts at register 0.
QDateTime decodeCalibrationDate(const QVector<uint16_t> &registers);

// The serial number's four bytes, most significant first, as "0A-1B-2C-3D".
QString formatSerialNumber(uint32_t serialNumber);
// Seconds since the epoch shown in local time as "yyyy-MM-dd HH:mm:ss".
QString formatDeviceDate(const QDateTime &date);

// The viscosity mapping as the sensor keeps it in registers 192..201: k and α of
// ν' = k·ν^α, then the fluid model's A, B and C (NaN: no model), each a float32.
struct MappingBlock {
    float k = 1;
    float alpha = 1;
    float A = std::numeric_limits<float>::quiet_NaN();
    float B = std::numeric_limits<float>::quiet_NaN();
    float C = std::numeric_limits<float>::quiet_NaN();
};

// The ten words of the block.
QVector<uint16_t> encodeMappingBlock(const MappingBlock &block);
// Decodes the ten words of a read-back of registers 192..201.
MappingBlock decodeMappingBlock(const QVector<uint16_t> &words);

struct RegisterWrite {
    uint8_t firstReg = 0;
    QVector<uint16_t> data;

    bool operator==(const RegisterWrite &other) const
    {
        return firstReg == other.firstReg && data == other.data;
    }
};

// One configuration change as the run of writes the sensor expects: unlock, the
// data writes in the given order, the command, then the lock, or, when the sensor
// is to reboot, the reboot command in place of the lock.
QVector<RegisterWrite> configurationWriteSequence(const QVector<RegisterWrite> &dataWrites,
                                                  uint16_t command, bool reboot = false);

#endif
