// The calibration file check: any file, against any connected serial number.

#include "fuzzcheck.h"

#include "wordconversion.h"
#include "calibrationfile.h"

namespace
{

const QDateTime earliest(QDate(2020, 1, 1), QTime(0, 0), Qt::LocalTime);

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fixFuzzEnvironment();
    return 0;
}

// The first four bytes are the connected sensor's serial number, the rest is the file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    const uint32_t serialNumber =
        uint32_t(data[0]) << 24 | uint32_t(data[1]) << 16 | uint32_t(data[2]) << 8 | data[3];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 4), int(size - 4));
    const CalibrationFile file = checkCalibrationFile(bytes, serialNumber);

    FUZZ_CHECK(file.registers.size() == CalibrationFileWords);
    if (bytes.size() < CalibrationFileBytes) {
        FUZZ_CHECK(file.status == CalibrationFile::TooShort);
        return 0;
    }
    FUZZ_CHECK(file.status != CalibrationFile::TooShort);
    for (int i = 0; i < CalibrationFileWords; ++i)
        FUZZ_CHECK(file.registers[i] == (uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8));
    FUZZ_CHECK(file.date.isValid());
    if (file.status == CalibrationFile::Valid) {
        FUZZ_CHECK(file.testValue == 42);
        FUZZ_CHECK(file.serialNumber == serialNumber);
        FUZZ_CHECK(file.serialNumber == wordsToUint32(file.registers.mid(2, 2)));
        FUZZ_CHECK(file.date >= earliest);
    }

    // Only the first 406 bytes count.
    const CalibrationFile head =
        checkCalibrationFile(bytes.left(CalibrationFileBytes), serialNumber);
    FUZZ_CHECK(head.status == file.status && head.registers == file.registers &&
               head.date == file.date);
    return 0;
}
