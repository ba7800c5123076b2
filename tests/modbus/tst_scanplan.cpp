// The plan of a sensor search: which probes, in which order, with which answer time-out.

#include "scanplan.h"

#include <QtTest>

Q_DECLARE_METATYPE(ScanKind)
Q_DECLARE_METATYPE(ScanProbe)

class TestScanPlan : public QObject
{
    Q_OBJECT

private slots:
    void plan_data();
    void plan();
    void answerTimeout_data();
    void answerTimeout();
};

void TestScanPlan::plan_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<ScanKind>("kind");
    QTest::addColumn<int>("count");
    QTest::addColumn<ScanProbe>("first");
    QTest::addColumn<ScanProbe>("seventh");
    QTest::addColumn<ScanProbe>("last");

    // Timeouts: 107 bytes of probe and answer on the line, plus 150 ms (see answerTimeout).
    QTest::newRow("serial, addresses: 1 to 247 upwards at the chosen setting")
        << "/dev/ttyUSB0" << ScanKind::Addresses << 247 << ScanProbe{19200, 2, 1, 212}
        << ScanProbe{19200, 2, 7, 212} << ScanProbe{19200, 2, 247, 212};
    QTest::newRow("serial, line settings: 18 pairs, slowest rate first, at the chosen address")
        << "/dev/ttyUSB0" << ScanKind::LineSettings << 18 << ScanProbe{9600, 0, 5, 262}
        << ScanProbe{19200, 0, 5, 206} << ScanProbe{115200, 5, 5, 162};
    QTest::newRow("tcp:// scans unit identifiers even when line settings are chosen")
        << "tcp://192.0.2.7:4001" << ScanKind::LineSettings << 247 << ScanProbe{19200, 2, 1, 500}
        << ScanProbe{19200, 2, 7, 500} << ScanProbe{19200, 2, 247, 500};
    QTest::newRow("mbtcp:// scans unit identifiers with 500 ms")
        << "mbtcp://plant-gw:502" << ScanKind::Addresses << 247 << ScanProbe{19200, 2, 1, 500}
        << ScanProbe{19200, 2, 7, 500} << ScanProbe{19200, 2, 247, 500};
    QTest::newRow("a serial name that merely contains tcp:// is a serial port")
        << "/dev/serial/by-id/usb-tcp://x" << ScanKind::LineSettings << 18
        << ScanProbe{9600, 0, 5, 262} << ScanProbe{19200, 0, 5, 206}
        << ScanProbe{115200, 5, 5, 162};
}

void TestScanPlan::plan()
{
    QFETCH(QString, port);
    QFETCH(ScanKind, kind);
    QFETCH(int, count);
    QFETCH(ScanProbe, first);
    QFETCH(ScanProbe, seventh);
    QFETCH(ScanProbe, last);

    const QVector<ScanProbe> probes = planSensorScan(port, kind, 19200, 2, 5);
    QCOMPARE(probes.size(), count);
    QCOMPARE(probes.first(), first);
    QCOMPARE(probes.at(6), seventh);
    QCOMPARE(probes.last(), last);
    // No probe twice: every address, or every pair, exactly once.
    QSet<quint64> distinct;
    for (const ScanProbe &probe : probes)
        distinct.insert(quint64(probe.baudrate) << 16 | probe.mode << 8 | probe.address);
    QCOMPARE(distinct.size(), count);
}

void TestScanPlan::answerTimeout_data()
{
    QTest::addColumn<uint32_t>("baudrate");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("timeoutMs");

    // 8 request and 99 answer bytes; 10 bits a byte without parity and with one stop bit,
    // 11 with either, 12 with both: ceil(107 · bits / baud s) + 150 ms.
    QTest::newRow("9600 none/1: 111.5 ms on the line") << 9600u << 0 << 262;
    QTest::newRow("19200 none/1: 55.7 ms") << 19200u << 0 << 206;
    QTest::newRow("19200 even/2: 66.9 ms") << 19200u << 3 << 217;
    QTest::newRow("115200 none/2: 10.2 ms") << 115200u << 1 << 161;
}

void TestScanPlan::answerTimeout()
{
    QFETCH(uint32_t, baudrate);
    QFETCH(int, mode);
    QFETCH(int, timeoutMs);
    QCOMPARE(scanAnswerTimeoutMs(baudrate, uint8_t(mode)), timeoutMs);
}

QTEST_GUILESS_MAIN(TestScanPlan)
#include "tst_scanplan.moc"
