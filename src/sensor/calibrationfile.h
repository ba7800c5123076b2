#ifndef CALIBRATIONFILE_H
#define CALIBRATIONFILE_H

#include <QByteArray>
#include <QDateTime>
#include <QVector>

#include <cstdint>

// A calibration file is an image of registers 0..202 as 16-bit little-endian words,
// made for one sensor. Only the first 406 bytes count; the rest is ignored.
constexpr int CalibrationFileWords = 203;
constexpr int CalibrationFileBytes = 2 * CalibrationFileWords;

struct CalibrationFile {
    // The checks in the order they run; the first that fails is the status.
    enum Status { Valid, TooShort, InvalidTestValue, OtherSensor, InvalidDate };

    Status status = TooShort;
    QVector<uint16_t> registers; // 203 words; all zero when the file is too short
    uint16_t testValue = 0;      // word 0, 42 in a calibration file
    uint32_t serialNumber = 0;   // words 2..3
    QDateTime date;              // words 144..145, local time
};

// Checks the bytes of a calibration file against the connected sensor's serial number.
CalibrationFile checkCalibrationFile(const QByteArray &bytes, uint32_t connectedSerialNumber);

#endif
