#include "analogoutput.h"

#include <QDoubleSpinBox>
#include <QtTest>

using Words = QVector<uint16_t>;
Q_DECLARE_METATYPE(std::optional<Words>)

namespace
{

QDateTime localDate(int year, int month, int day)
{
    return QDateTime(QDate(year, month, day), QTime(0, 0), Qt::LocalTime);
}

} // namespace

class TestAnalogOutput : public QObject
{
    Q_OBJECT

private slots:
    void encode_data();
    void encode();
    void decode_data();
    void decode();
    void units();
    void deviceValueRoundTrip();
};

void TestAnalogOutput::encode_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::addColumn<QDateTime>("firmware");
    QTest::addColumn<std::optional<Words>>("words");

    const QDateTime unknown;
    const QDateTime latest = localDate(2024, 10, 8);
    const std::optional<Words> refused;

    QTest::newRow("none") << "None" << 5.0 << 7.0 << unknown
                          << std::optional<Words>(Words{0, 0, 0});
    QTest::newRow("unknown text") << "Pressure" << 1.0 << 2.0 << latest
                                  << std::optional<Words>(Words{0, 0, 0});
    QTest::newRow("nu 0..100 fine scale") << "kinematic Viscosity" << 0.0 << 100.0 << unknown
                                          << std::optional<Words>(Words{18, 0, 10000});
    QTest::newRow("nu 0..1000 from the nu gate")
        << "kinematic Viscosity" << 0.0 << 1000.0 << localDate(2023, 3, 20)
        << std::optional<Words>(Words{26, 0, 10000});
    QTest::newRow("nu 0..1000 before the nu gate")
        << "kinematic Viscosity" << 0.0 << 1000.0 << localDate(2023, 3, 19) << refused;
    QTest::newRow("nu 655.3 keeps the fine scale")
        << "kinematic Viscosity" << 0.0 << 655.3 << unknown
        << std::optional<Words>(Words{18, 0, 65530});
    QTest::newRow("nu 655.4 needs the coarse scale")
        << "kinematic Viscosity" << 0.0 << 655.4 << latest
        << std::optional<Words>(Words{26, 0, 6554});
    QTest::newRow("nu negative") << "kinematic Viscosity" << -1.0 << 10.0 << latest << refused;
    QTest::newRow("mapped before its gate")
        << "kinematic Viscosity mapped" << 0.0 << 10.0 << localDate(2024, 10, 7) << refused;
    QTest::newRow("mapped from its gate") << "kinematic Viscosity mapped" << 0.0 << 10.0 << latest
                                          << std::optional<Words>(Words{27, 0, 100});
    QTest::newRow("eta before its gate, small limits")
        << "dynamic Viscosity" << 0.0 << 1.0 << localDate(2024, 2, 20) << refused;
    QTest::newRow("eta from its gate fine")
        << "dynamic Viscosity" << 0.0 << 100.0 << localDate(2024, 2, 21)
        << std::optional<Words>(Words{20, 0, 10000});
    QTest::newRow("eta from its gate coarse") << "dynamic Viscosity" << 0.0 << 5000.0 << latest
                                              << std::optional<Words>(Words{30, 0, 50000});
    QTest::newRow("density") << "Density" << 600.0 << 1000.0 << unknown
                             << std::optional<Words>(Words{19, 6000, 10000});
    QTest::newRow("density negative") << "Density" << -1.0 << 1000.0 << latest << refused;
    QTest::newRow("temperature -20..150") << "Temperature" << -20.0 << 150.0 << unknown
                                          << std::optional<Words>(Words{22, 0xF830, 0x3A98});
    QTest::newRow("temperature 300 allowed")
        << "Temperature" << 0.0 << 300.0 << unknown << std::optional<Words>(Words{22, 0, 30000});
    QTest::newRow("temperature 300.1 refused")
        << "Temperature" << 0.0 << 300.1 << unknown << refused;
    QTest::newRow("negative temperature rounds half away from zero")
        << "Temperature" << -0.005 << -12.345 << unknown
        << std::optional<Words>(Words{22, uint16_t(-1), uint16_t(-1235)});
    QTest::newRow("positive half rounds up")
        << "Density" << 0.05 << 0.25 << unknown << std::optional<Words>(Words{19, 1, 3});
}

void TestAnalogOutput::encode()
{
    QFETCH(QString, source);
    QFETCH(double, min);
    QFETCH(double, max);
    QFETCH(QDateTime, firmware);
    QFETCH(std::optional<Words>, words);

    const std::optional<Words> encoded = encodeAnalogOutput(source, min, max, firmware);
    QCOMPARE(encoded.has_value(), words.has_value());
    if (words)
        QCOMPARE(*encoded, *words);
}

void TestAnalogOutput::decode_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("raw4");
    QTest::addColumn<int>("raw20");
    QTest::addColumn<QString>("source");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");

    QTest::newRow("0 is none") << 0 << 5 << 6 << "None" << 0.0 << 0.0;
    QTest::newRow("unknown code is none") << 21 << 5 << 6 << "None" << 0.0 << 0.0;
    QTest::newRow("18") << 18 << 0 << 10000 << "kinematic Viscosity" << 0.0 << 100.0;
    QTest::newRow("26") << 26 << 0 << 65535 << "kinematic Viscosity" << 0.0 << 6553.5;
    QTest::newRow("27") << 27 << 10 << 20 << "kinematic Viscosity mapped" << 1.0 << 2.0;
    QTest::newRow("20") << 20 << 100 << 200 << "dynamic Viscosity" << 1.0 << 2.0;
    QTest::newRow("30") << 30 << 100 << 200 << "dynamic Viscosity" << 10.0 << 20.0;
    QTest::newRow("19") << 19 << 6000 << 10000 << "Density" << 600.0 << 1000.0;
    QTest::newRow("22 signed") << 22 << 0xF830 << 0x3A98 << "Temperature" << -20.0 << 150.0;
    QTest::newRow("unsigned above 32767")
        << 18 << 40000 << 0 << "kinematic Viscosity" << 400.0 << 0.0;
}

void TestAnalogOutput::decode()
{
    QFETCH(int, code);
    QFETCH(int, raw4);
    QFETCH(int, raw20);
    QFETCH(QString, source);
    QFETCH(double, min);
    QFETCH(double, max);

    const AnalogOutputSetting setting =
        decodeAnalogOutput(uint16_t(code), uint16_t(raw4), uint16_t(raw20));
    QCOMPARE(setting.source, source);
    QVERIFY(qAbs(setting.min - min) < 1e-9);
    QVERIFY(qAbs(setting.max - max) < 1e-9);
}

void TestAnalogOutput::units()
{
    QCOMPARE(analogUnit("kinematic Viscosity"), QString("cSt"));
    QCOMPARE(analogUnit("kinematic Viscosity mapped"), QString("cSt"));
    QCOMPARE(analogUnit("dynamic Viscosity"), QString("mPas"));
    QCOMPARE(analogUnit("Density"), QString("kg/m³"));
    QCOMPARE(analogUnit("Temperature"), QString("°C"));
    QCOMPARE(analogUnit("None"), QString("-"));
    QCOMPARE(analogUnit("density"), QString("-"));
}

void TestAnalogOutput::deviceValueRoundTrip()
{
    // A 0.01-scaled device value shows with one decimal and is written back as such.
    const AnalogOutputSetting setting = decodeAnalogOutput(18, 1234, 0);
    QCOMPARE(setting.min, 12.34);
    QDoubleSpinBox box;
    box.setDecimals(1);
    box.setRange(-100, 5000);
    box.setValue(setting.min);
    QCOMPARE(box.text(), QString("12.3"));
    QCOMPARE(encodeAnalogOutput(setting.source, box.value(), 0, QDateTime())->at(1),
             uint16_t(1230));
}

QTEST_MAIN(TestAnalogOutput)
#include "tst_analogoutput.moc"
