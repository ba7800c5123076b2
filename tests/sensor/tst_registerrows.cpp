// The Debug tab's register table: which rows a dump gives, and what each says under the
// firmware gates of the firmware date the same reading holds.

#include "registerrows.h"

#include <QtTest>

namespace
{

// Firmware dates as registers 4..5 hold them.
const uint32_t beforeAllGates = 1672531200; // 2023-01-01 00:00 UTC
const uint32_t afterAllGates = 0x6707B5C0;  // 2024-10-10 11:08:48 UTC

QVector<uint16_t> reading(uint32_t firmware)
{
    QVector<uint16_t> registers(149, 0);
    registers[0] = 0x0042;
    registers[1] = 3;
    registers[2] = 0x0012;
    registers[3] = 0xABCD;
    registers[4] = uint16_t(firmware >> 16);
    registers[5] = uint16_t(firmware);
    registers[17] = 77;
    registers[18] = 500;    // nu, old format: 5.00 cSt
    registers[19] = 0xFFFF; // rho: none
    registers[22] = 0xFF38; // T: -2.00 °C
    registers[23] = 0x0003;
    registers[25] = 3430; // nu: 3.430 cSt
    registers[27] = 123;  // nuUc: 12.3 cSt
    registers[29] = 2860; // eta: 2.860 mPas
    registers[35] = 19200;
    registers[36] = 7;
    registers[37] = 4;
    registers[38] = 10;
    registers[40] = 22; // analog output 1: temperature, -2 .. 100 °C
    registers[41] = 0xFF38;
    registers[42] = 10000;
    registers[96] = 0xBEEF;
    registers[144] = 0x6500; // calibration date 2023-09-12 09:37:20 UTC
    registers[145] = 0x3150;
    return registers;
}

} // namespace

class TestRegisterRows : public QObject
{
    Q_OBJECT

private slots:
    void row_data();
    void row();
    void wholeDumpOnly();
    void copyText();
};

void TestRegisterRows::row_data()
{
    QTest::addColumn<uint32_t>("firmware");
    QTest::addColumn<int>("firstReg");
    QTest::addColumn<QString>("registers");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("value");

    const uint32_t after = afterAllGates;
    const uint32_t before = beforeAllGates;
    QTest::newRow("unnamed register: raw word only") << after << 0 << "0"
                                                     << ""
                                                     << "0x0042"
                                                     << "";
    QTest::newRow("firmware date in local time") << after << 4 << "4–5"
                                                 << "firmware date"
                                                 << "0x6707 0xB5C0"
                                                 << "2024-10-10 13:08:48";
    QTest::newRow("old nu while the firmware uses it") << before << 18 << "18"
                                                       << "nu, old format"
                                                       << "0x01F4"
                                                       << "5.00 cSt";
    QTest::newRow("old nu after the 2023-03-20 gate") << after << 18 << "18"
                                                      << "nu, old format"
                                                      << "0x01F4"
                                                      << "not used by firmware from 2023-03-20";
    QTest::newRow("rho no-value marker") << after << 19 << "19"
                                         << "rho"
                                         << "0xFFFF"
                                         << "none";
    QTest::newRow("negative temperature") << after << 22 << "22"
                                          << "T"
                                          << "0xFF38"
                                          << "-2.00 °C";
    QTest::newRow("state bits") << after << 23 << "23"
                                << "system state"
                                << "0x0003"
                                << "no resonance detected, out of range";
    QTest::newRow("nu from the gate on") << after << 24 << "24–25"
                                         << "nu"
                                         << "0x0000 0x0D66"
                                         << "3.430 cSt";
    QTest::newRow("nu before the gate") << before << 24 << "24–25"
                                        << "nu"
                                        << "0x0000 0x0D66"
                                        << "not used by firmware before 2023-03-20";
    QTest::newRow("nuUc from the 2024-10-08 gate") << after << 27 << "27"
                                                   << "nuUc (mapped)"
                                                   << "0x007B"
                                                   << "12.3 cSt";
    QTest::newRow("eta before the 2024-02-21 gate") << before << 28 << "28–29"
                                                    << "eta"
                                                    << "0x0000 0x0B2C"
                                                    << "not used by firmware before 2024-02-21";
    QTest::newRow("mode in the panel's words") << after << 37 << "37"
                                               << "Modbus mode"
                                               << "0x0004"
                                               << "odd, 1";
    QTest::newRow("analog output by its source") << after << 40 << "40–42"
                                                 << "analog output 1"
                                                 << "0x0016 0xFF38 0x2710"
                                                 << "Temperature: -2 °C at 4 mA, 100 °C at 20 mA";
    QTest::newRow("calibration block word") << after << 96 << "96"
                                            << "calibration block"
                                            << "0xBEEF"
                                            << "";
    QTest::newRow("calibration date") << after << 144 << "144–145"
                                      << "calibration date"
                                      << "0x6500 0x3150"
                                      << "2023-09-12 11:37:20";
}

void TestRegisterRows::row()
{
    QFETCH(uint32_t, firmware);
    QFETCH(int, firstReg);
    const QVector<RegisterRow> rows = registerRows(reading(firmware));
    const auto found = std::find_if(
        rows.begin(), rows.end(), [&](const RegisterRow &row) { return row.firstReg == firstReg; });
    QVERIFY(found != rows.end());
    QTEST(found->registersText(), "registers");
    QTEST(found->name, "name");
    QTEST(found->raw, "raw");
    QTEST(found->value, "value");
}

void TestRegisterRows::wholeDumpOnly()
{
    // Every register 0..148 once, in order, and nothing for a part of a dump.
    const QVector<RegisterRow> rows = registerRows(reading(afterAllGates));
    int next = 0;
    for (const RegisterRow &row : rows) {
        QCOMPARE(int(row.firstReg), next);
        next = row.lastReg + 1;
    }
    QCOMPARE(next, 149);
    QVERIFY(registerRows(reading(afterAllGates).mid(0, 95)).isEmpty());
}

void TestRegisterRows::copyText()
{
    const QVector<RegisterRow> rows = registerRows(reading(afterAllGates));
    const QStringList lines =
        registerRowsText(rows, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5))).split('\n');
    QCOMPARE(lines.size(), rows.size() + 2); // header, rows, and the final line feed
    QCOMPARE(lines.first(), "Register\tName\tRaw\tValue\tRead at");
    QCOMPARE(lines.at(2), "1\thardware revision\t0x0003\t3\t2026-01-02 03:04:05");
    QCOMPARE(lines.last(), "");
}

QTEST_GUILESS_MAIN(TestRegisterRows)
#include "tst_registerrows.moc"
