#ifndef TESTFILES_H
#define TESTFILES_H

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <cstdint>

// Whole-file reads and writes for setting up and checking files.
QByteArray readFile(const QString &fileName); // empty when it cannot be read
bool writeFile(const QString &fileName, const QByteArray &bytes);
// Removes the program's settings file from the working folder: a case starts on the defaults.
void removeSettingsFile();

// The rows of a test run once per export format: column "format", "csv" or "xlsx".
void addExportFormatRows();

// 16-bit little-endian words, as dump and calibration files hold registers.
QVector<uint16_t> littleEndianWords(const QByteArray &bytes);
QByteArray littleEndianBytes(const QVector<uint16_t> &words);

// A calibration file: the image of registers 0..202 with the test value in word 0, the
// serial number in words 2..3 and the date in words 144..145; fill for every other word.
QByteArray calibrationImage(uint16_t testValue, uint32_t serial, const QDateTime &date,
                            uint16_t fill = 0x1111);

#endif
