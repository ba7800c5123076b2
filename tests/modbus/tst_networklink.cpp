// The link over TCP: spoiled Modbus TCP replies from the simulator, a Modbus TCP server
// built with pymodbus, and the ways a connection fails. The window's test takes each
// transport end to end.

#include "linkspy.h"
#include "loopbackport.h"
#include "simprocess.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

class TestNetworkLink : public QObject
{
    Q_OBJECT

private slots:
    void spoiledModbusTcpReplies_data();
    void spoiledModbusTcpReplies();
    void connectFailures_data();
    void connectFailures();
    void closedByThePeerIsALostConnection();
    void readsAndWritesAPymodbusServer();
};

void TestNetworkLink::spoiledModbusTcpReplies_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QString>("error");
    QTest::newRow("wrong transaction identifier")
        << QStringList{"--bad-crc", "1"} << "Modbus Error: invalid MBAP header";
    QTest::newRow("another unit") << QStringList{"--wrong-address", "1"}
                                  << "Modbus Error: invalid address received: 2";
    QTest::newRow("reply cut by a pause: its first part is short of its length")
        << QStringList{"--split", "1", "--split-ms", "2000"} << "Modbus Error: invalid MBAP header";
    QTest::newRow("stray bytes before the header")
        << QStringList{"--garbage", "1"} << "Modbus Error: invalid MBAP header";
}

void TestNetworkLink::spoiledModbusTcpReplies()
{
    QFETCH(QStringList, faults);
    QFETCH(QString, error);
    SimProcess sim(QStringList{"--mbtcp", "0"} + faults);
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    LinkSpy link;
    link.modbus.connectDevice(sim.portName(), 19200, 0, 1);
    QCOMPARE(link.errorAfter(0), error);
    QCOMPARE(link.connected.count(), 0);
}

void TestNetworkLink::connectFailures_data()
{
    QTest::addColumn<int>("peer"); // a LoopbackPort behaviour; -1: no port at all
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("reason");
    QTest::newRow("refused") << int(LoopbackPort::Refusing) << "mbtcp"
                             << "mbtcp://127.0.0.1:\\d+: connection refused";
    QTest::newRow("no answer, with the time waited")
        << int(LoopbackPort::Silent) << "tcp"
        << "tcp://127.0.0.1:\\d+: no answer from the host within ([3-9]|\\d\\d+)\\.\\d s";
    QTest::newRow("malformed address: nothing is opened")
        << -1 << "mbtcp://127.0.0.1"
        << "expected tcp://HOST:PORT .* or mbtcp://HOST:PORT";
}

void TestNetworkLink::connectFailures()
{
    QFETCH(int, peer);
    QFETCH(QString, address);
    QFETCH(QString, reason);
    std::unique_ptr<LoopbackPort> port;
    if (peer >= 0) {
        port = std::make_unique<LoopbackPort>(LoopbackPort::Behaviour(peer));
        address = port->address(address);
    }
    LinkSpy link;
    QSignalSpy failures(&link.modbus, SIGNAL(portOpenFailed(QString)));
    link.modbus.connectDevice(address, 19200, 0, 1);
    // The connect has its own time-out: the probe's 3 s never start, so no "timeout".
    QCOMPARE(link.errorAfter(0), QString("Modbus Error: connect failed"));
    QVERIFY(failures.count() == 1 || failures.wait(30000));
    const QString text = failures.at(0).at(0).toString();
    QVERIFY2(QRegularExpression(reason).match(text).hasMatch(), qPrintable(text));
    QCOMPARE(link.modbus.statistics().requests(), uint64_t(0));
    QCOMPARE(link.states.last(), LinkState::OpenFailed);
}

void TestNetworkLink::closedByThePeerIsALostConnection()
{
    SimProcess sim({"--tcp", "0"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    LinkSpy link;
    QVERIFY(link.connectTo(sim.portName()));
    const int errors = link.errors.count();
    sim.kill();
    QCOMPARE(link.errorAfter(errors), QString("Modbus Error: connection lost"));
    QCOMPARE(link.modbus.connectionLossReason(), QString("connection closed by the peer"));
    QCOMPARE(link.states.last(), LinkState::ConnectionLost);
    QCOMPARE(link.disconnected.count(), 1);
    QCOMPARE(link.modbus.statistics().errors(LinkStatistics::ConnectionLost), uint64_t(1));
}

void TestNetworkLink::readsAndWritesAPymodbusServer()
{
    QProcess server;
    server.start(QUVA_PYTHON, {QUVA_SOURCE_DIR "/tests/support/pymodbusserver.py", "1,2"});
    QVERIFY(server.waitForStarted(30000));
    QVERIFY2(QTest::qWaitFor([&] { return server.canReadLine(); }, 60000),
             server.readAllStandardError().constData());
    const QString line = QString::fromUtf8(server.readLine()).trimmed();
    QVERIFY2(line.startsWith("port: mbtcp://127.0.0.1:"), qPrintable(line));

    LinkSpy link;
    QVERIFY(link.connectTo(line.mid(6), 19200, 2));
    QVector<uint16_t> expected;
    for (uint16_t reg = 0; reg <= Registers::InfoLast; ++reg)
        expected.append(uint16_t(2000 + reg));
    QCOMPARE(link.replies.last().at(0).value<QVector<uint16_t>>(), expected);
    QCOMPARE(link.read(16, 18), (QVector<uint16_t>{2016, 2017, 2018}));
    QCOMPARE(link.write({{40, {7, 8, 9}}, {99, {0xBEEF}}}), QString());
    QCOMPARE(link.read(39, 43), (QVector<uint16_t>{2039, 7, 8, 9, 2043}));
    QCOMPARE(link.read(99, 99), QVector<uint16_t>{0xBEEF});
    // A read past the server's registers is refused with an exception reply.
    QCOMPARE(link.read(98, 101), QVector<uint16_t>());
    QCOMPARE(link.errorTexts().last(), QString("Modbus Error: invalid function code: 131"));
    server.kill();
    server.waitForFinished(30000);
}

QTEST_MAIN(TestNetworkLink)
#include "tst_networklink.moc"
