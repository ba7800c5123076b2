// Calibration files checked against the connected sensor: the checks in their order, and
// what a valid file yields.

#include "calibrationfile.h"
#include "testfiles.h"

#include <QtTest>

class TestCalibrationFile : public QObject
{
    Q_OBJECT

private slots:
    void checks_data();
    void checks();
    void validFileIsDecoded();
};

void TestCalibrationFile::checks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");

    const uint32_t serial = 0x0012ABCD;
    const QDateTime calibrated(QDate(2023, 6, 1), QTime(8, 30));
    const QByteArray good = calibrationImage(42, serial, calibrated);
    QTest::newRow("empty") << QByteArray() << int(CalibrationFile::TooShort);
    QTest::newRow("short by a byte") << good.left(405) << int(CalibrationFile::TooShort);
    QTest::newRow("valid") << good << int(CalibrationFile::Valid);
    QTest::newRow("long") << good + QByteArray(1 << 20, '\x55') << int(CalibrationFile::Valid);
    QTest::newRow("wrong test value")
        << calibrationImage(41, serial, calibrated) << int(CalibrationFile::InvalidTestValue);
    QTest::newRow("wrong serial") << calibrationImage(42, serial + 1, calibrated)
                                  << int(CalibrationFile::OtherSensor);
    QTest::newRow("old date") << calibrationImage(42, serial,
                                                  QDateTime(QDate(2019, 12, 31), QTime(23, 59, 59)))
                              << int(CalibrationFile::InvalidDate);
    QTest::newRow("first allowed date")
        << calibrationImage(42, serial, QDateTime(QDate(2020, 1, 1), QTime(0, 0)))
        << int(CalibrationFile::Valid);
    QTest::newRow("all zero") << QByteArray(406, '\0') << int(CalibrationFile::InvalidTestValue);
    QTest::newRow("all 0xFF") << QByteArray(406, '\xff') << int(CalibrationFile::InvalidTestValue);
    QTest::newRow("wrong test value and serial")
        << calibrationImage(0, 0, QDateTime()) << int(CalibrationFile::InvalidTestValue);
}

void TestCalibrationFile::checks()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    const CalibrationFile file = checkCalibrationFile(bytes, 0x0012ABCD);
    QCOMPARE(int(file.status), status);
    QCOMPARE(file.registers.size(), CalibrationFileWords);
}

void TestCalibrationFile::validFileIsDecoded()
{
    const QDateTime calibrated(QDate(2023, 6, 1), QTime(8, 30));
    const QByteArray image = calibrationImage(42, 0x0012ABCD, calibrated, 0x2345);
    const CalibrationFile file = checkCalibrationFile(image + "tail", 0x0012ABCD);
    QCOMPARE(file.status, CalibrationFile::Valid);
    QCOMPARE(file.registers, littleEndianWords(image));
    QCOMPARE(file.testValue, uint16_t(42));
    QCOMPARE(file.serialNumber, 0x0012ABCDu);
    QCOMPARE(file.date, calibrated);
    QCOMPARE(file.date.timeSpec(), Qt::LocalTime);
}

QTEST_GUILESS_MAIN(TestCalibrationFile)
#include "tst_calibrationfile.moc"
