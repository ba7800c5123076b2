#include "calibrationfile.h"

#include "registermap.h"
#include "wordconversion.h"

namespace
{

constexpr uint16_t CalibrationTestValue = 42;
const QDate EarliestCalibrationDate(2020, 1, 1);

} // namespace

CalibrationFile checkCalibrationFile(const QByteArray &bytes, uint32_t connectedSerialNumber)
{
    CalibrationFile file;
    file.registers = QVector<uint16_t>(CalibrationFileWords, 0);
    if (bytes.size() < CalibrationFileBytes)
        return file;
    file.registers = littleEndianBytesToWords(bytes.left(CalibrationFileBytes));

    file.testValue = file.registers[0];
    file.serialNumber = wordsToUint32(file.registers.mid(Registers::SerialNumber, 2));
    file.date = decodeCalibrationDate(file.registers);

    if (file.testValue != CalibrationTestValue)
        file.status = CalibrationFile::InvalidTestValue;
    else if (file.serialNumber != connectedSerialNumber)
        file.status = CalibrationFile::OtherSensor;
    else if (file.date < QDateTime(EarliestCalibrationDate, QTime(0, 0), Qt::LocalTime))
        file.status = CalibrationFile::InvalidDate;
    else
        file.status = CalibrationFile::Valid;
    return file;
}
