#include "registermap.h"
#include "wordconversion.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace
{

// A live block with every quantity present in both formats: nu 12.34 cSt in the old
// register and 12.345 cSt in the new ones, rho 850.0, T 40.00 °C, eta 10.5 mPas,
// nuUc 13.4 cSt, state 0x0006, frame 0x00010002.
QVector<uint16_t> liveBlock()
{
    QVector<uint16_t> words(15, 0);
    words[0] = 0x0001;
    words[1] = 0x0002;
    words[18 - 16] = 1234;
    words[19 - 16] = 8500;
    words[22 - 16] = 4000;
    words[23 - 16] = 0x0006;
    words[24 - 16] = 0;
    words[25 - 16] = 12345;
    words[27 - 16] = 134;
    words[28 - 16] = 0;
    words[29 - 16] = 10500;
    return words;
}

QDateTime localDate(int year, int month, int day, int hour = 0, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::LocalTime);
}

} // namespace

class TestRegisterMap : public QObject
{
    Q_OBJECT

private slots:
    void firmwareGates_data();
    void firmwareGates();
    void noValueMarkers_data();
    void noValueMarkers();
    void identity();
    void writeSequence();
    void mappingBlock_data();
    void mappingBlock();
};

void TestRegisterMap::firmwareGates_data()
{
    QTest::addColumn<QDateTime>("firmware");
    QTest::addColumn<double>("nu");
    QTest::addColumn<double>("eta");
    QTest::addColumn<double>("nuUc");

    const double nan = std::nan("");
    const double oldNu = 12.34;
    const double newNu = 12.345;
    QTest::newRow("invalid date takes the oldest rules")
        << QDateTime() << oldNu << oldNu * 850.0 / 1000 << nan;
    QTest::newRow("day before the nu gate")
        << localDate(2023, 3, 19, 23, 59) << oldNu << oldNu * 850.0 / 1000 << nan;
    QTest::newRow("nu gate at midnight")
        << localDate(2023, 3, 20) << newNu << newNu * 850.0 / 1000 << nan;
    QTest::newRow("day before the eta gate")
        << localDate(2024, 2, 20, 12) << newNu << newNu * 850.0 / 1000 << nan;
    QTest::newRow("eta gate") << localDate(2024, 2, 21) << newNu << 10.5 << nan;
    QTest::newRow("day before the mapping gate")
        << localDate(2024, 10, 7, 23) << newNu << 10.5 << nan;
    QTest::newRow("mapping gate") << localDate(2024, 10, 8) << newNu << 10.5 << 13.4;
    QTest::newRow("firmware 2024-10-10 11:08:48 UTC")
        << QDateTime::fromSecsSinceEpoch(wordsToUint32({0x6707, 0xB5C0})) << newNu << 10.5 << 13.4;
}

void TestRegisterMap::firmwareGates()
{
    QFETCH(QDateTime, firmware);
    QFETCH(double, nu);
    QFETCH(double, eta);
    QFETCH(double, nuUc);

    const LiveSample sample = decodeLiveBlock(liveBlock(), firmware);
    QCOMPARE(sample.frameNr, uint32_t(0x00010002));
    QCOMPARE(sample.systemState, uint16_t(0x0006));
    QCOMPARE(sample.rho, 850.0);
    QCOMPARE(sample.T, 40.0);
    QCOMPARE(sample.nu, nu);
    QCOMPARE(sample.eta, eta);
    if (std::isnan(nuUc))
        QVERIFY(std::isnan(sample.nuUc));
    else
        QCOMPARE(sample.nuUc, nuUc);
}

void TestRegisterMap::noValueMarkers_data()
{
    QTest::addColumn<int>("reg");
    QTest::addColumn<uint16_t>("word");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<double>("value");

    const double nan = std::nan("");
    QTest::newRow("temperature -2.00") << 22 << uint16_t(0xFF38) << "T" << -2.0;
    QTest::newRow("temperature 0x8000 is a number") << 22 << uint16_t(0x8000) << "T" << -327.68;
    QTest::newRow("temperature 0x7FFF missing") << 22 << uint16_t(0x7FFF) << "T" << nan;
    QTest::newRow("density 0xFFFF missing") << 19 << uint16_t(0xFFFF) << "rho" << nan;
    QTest::newRow("new nu 0xFFFFFFFF missing") << 24 << uint16_t(0xFFFF) << "nu" << nan;
    QTest::newRow("eta 0xFFFFFFFF missing") << 28 << uint16_t(0xFFFF) << "eta" << nan;
    QTest::newRow("nuUc 0xFFFF missing") << 27 << uint16_t(0xFFFF) << "nuUc" << nan;
    QTest::newRow("new nu high word only is a number")
        << 24 << uint16_t(0x0001) << "nu" << 65.536 + 12.345;
}

void TestRegisterMap::noValueMarkers()
{
    QFETCH(int, reg);
    QFETCH(uint16_t, word);
    QFETCH(QString, quantity);
    QFETCH(double, value);

    QVector<uint16_t> words = liveBlock();
    words[reg - 16] = word;
    // A 32-bit marker needs both words; the low word of a present value stays.
    if ((reg == 24 || reg == 28) && word == 0xFFFF)
        words[reg - 16 + 1] = 0xFFFF;

    const LiveSample sample = decodeLiveBlock(words, localDate(2025, 1, 1));
    const QMap<QString, double> decoded = {{"T", sample.T},
                                           {"rho", sample.rho},
                                           {"nu", sample.nu},
                                           {"eta", sample.eta},
                                           {"nuUc", sample.nuUc}};
    if (std::isnan(value))
        QVERIFY(std::isnan(decoded[quantity]));
    else
        QVERIFY(qFuzzyCompare(decoded[quantity], value));
}

void TestRegisterMap::identity()
{
    QVector<uint16_t> words(47, 0);
    words[1] = 7;
    words[2] = 0x0012;
    words[3] = 0xAB05;
    words[4] = 0x6707;
    words[5] = 0xB5C0;
    const DeviceIdentity identity = decodeIdentity(words);
    QCOMPARE(identity.hardwareRevision, uint16_t(7));
    QCOMPARE(identity.serialNumber, uint32_t(0x0012AB05));
    QCOMPARE(identity.firmwareDate.toUTC(),
             QDateTime(QDate(2024, 10, 10), QTime(11, 8, 48), Qt::UTC));
    // Europe/Berlin is two hours ahead in October.
    QCOMPARE(formatDeviceDate(identity.firmwareDate), QString("2024-10-10 13:08:48"));

    QCOMPARE(formatSerialNumber(0x0012ABCD), QString("00-12-AB-CD"));
    QCOMPARE(formatSerialNumber(0x0A1B2C3D), QString("0A-1B-2C-3D"));
    QCOMPARE(formatSerialNumber(0x00000005), QString("00-00-00-05"));
    QCOMPARE(formatSerialNumber(0), QString("00-00-00-00"));

    // The eta gate again, now from decoded identity words: a firmware of
    // 2024-02-21 00:00 local passes, one second earlier does not.
    const QDateTime gate = localDate(2024, 2, 21);
    QVERIFY(firmwareAtLeast(gate, FirmwareGate::EtaRegister));
    QVERIFY(!firmwareAtLeast(gate.addSecs(-1), FirmwareGate::EtaRegister));
    QVERIFY(!firmwareAtLeast(QDateTime(), QDate(1970, 1, 1)));
}

void TestRegisterMap::writeSequence()
{
    const QVector<RegisterWrite> data = {{38, {10}}, {40, {18, 0, 10000}}};
    QCOMPARE(configurationWriteSequence(data, DeviceCommand::CommitConfiguration),
             (QVector<RegisterWrite>{
                 {32, {0x6B3E}}, {38, {10}}, {40, {18, 0, 10000}}, {33, {1}}, {32, {0}}}));
    QCOMPARE(configurationWriteSequence(data, DeviceCommand::CommitConfiguration, true),
             (QVector<RegisterWrite>{
                 {32, {0x6B3E}}, {38, {10}}, {40, {18, 0, 10000}}, {33, {1}}, {33, {255}}}));
    QCOMPARE(configurationWriteSequence({{96, QVector<uint16_t>(53, 1)}},
                                        DeviceCommand::CommitCalibration)
                 .at(2),
             (RegisterWrite{33, {2}}));
}

void TestRegisterMap::mappingBlock_data()
{
    QTest::addColumn<QVector<float>>("values"); // k, alpha, A, B, C
    QTest::addColumn<QVector<uint16_t>>("words");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::newRow("identity mapping without a model")
        << QVector<float>{1, 1, nan, nan, nan}
        << QVector<uint16_t>{0x3F80, 0, 0x3F80, 0, 0x7FC0, 0, 0x7FC0, 0, 0x7FC0, 0};
    QTest::newRow("each value high word first")
        << QVector<float>{0.8125f, -2, 1e-7f, 3.4e38f, -273.15f}
        << QVector<uint16_t>{0x3F50, 0, 0xC000, 0, 0x33D6, 0xBF95, 0x7F7F, 0xC99E, 0xC388, 0x9333};
}

void TestRegisterMap::mappingBlock()
{
    QFETCH(QVector<float>, values);
    QFETCH(QVector<uint16_t>, words);
    QCOMPARE(encodeMappingBlock({values[0], values[1], values[2], values[3], values[4]}), words);
    const MappingBlock decoded = decodeMappingBlock(words);
    const QVector<float> back{decoded.k, decoded.alpha, decoded.A, decoded.B, decoded.C};
    for (int i = 0; i < values.size(); ++i)
        QVERIFY2(back[i] == values[i] || (std::isnan(back[i]) && std::isnan(values[i])),
                 qPrintable(QString("value %1").arg(i)));
}

QTEST_GUILESS_MAIN(TestRegisterMap)
#include "tst_registermap.moc"
