// The recorder without a window over the network: several sensors behind one Modbus TCP
// gateway, the gateway restarted under it, a device server that stays away.

#include "recorderprocess.h"
#include "simprocess.h"

#include <QtTest>

class TestRecorderNetwork : public QObject
{
    Q_OBJECT

private slots:
    void threeSensorsBehindOneGatewaySurviveARestart();
    void givesUpWhenTheDeviceServerStaysAway();
    void refusesAMalformedAddress();
};

void TestRecorderNetwork::threeSensorsBehindOneGatewaySurviveARestart()
{
    const QStringList files{"gateway-1.csv", "gateway-2.csv", "gateway-3.csv"};
    for (const QString &file : files)
        QFile::remove(file);
    const QStringList sensors{"--address", "1,2,3", "--rate", "4"};
    auto sim = std::make_unique<SimProcess>(QStringList{"--mbtcp", "0"} + sensors);
    QVERIFY2(sim->start(), qPrintable(sim->errorOutput()));
    const QString address = sim->portName();

    RecorderProcess recorder(
        {"--record", "gateway-{address}.csv", "--port", address, "--address", "1,2,3"});
    const auto eachFileHolds = [&](int count) {
        return QTest::qWaitFor(
            [&] {
                for (const QString &file : files) {
                    if (RecorderProcess::samples(file) < count)
                        return false;
                }
                return true;
            },
            60000);
    };
    QVERIFY2(eachFileHolds(3), qPrintable(recorder.errors()));

    // The gateway goes away and comes back at the same address; each sensor records on.
    QVERIFY(sim->stop());
    QVERIFY(recorder.waitForError("(connection closed by the peer); connecting again"));
    int before = 0;
    for (const QString &file : files)
        before = qMax(before, RecorderProcess::samples(file));
    sim = std::make_unique<SimProcess>(QStringList{"--mbtcp", address.section(':', -1)} + sensors);
    QVERIFY2(sim->start(), qPrintable(sim->errorOutput()));
    QCOMPARE(sim->portName(), address);
    QVERIFY2(eachFileHolds(before + 3), qPrintable(recorder.errors()));
    for (int number = 1; number <= 3; ++number)
        QVERIFY(recorder.errors().contains(QString("Address %1: outage from").arg(number)));

    QVERIFY(recorder.stop());
    QCOMPARE(recorder.exitCode(), 0);
    QVERIFY2(recorder.output().contains("from 3 sensors"), qPrintable(recorder.output()));
}

void TestRecorderNetwork::givesUpWhenTheDeviceServerStaysAway()
{
    SimProcess sim({"--tcp", "0"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    RecorderProcess recorder(
        {"--record", "server.csv", "--port", sim.portName(), "--give-up-after", "1"});
    QVERIFY(recorder.waitForError("Modbus: connected!"));
    sim.kill();
    QVERIFY(recorder.waitForExit());
    QCOMPARE(recorder.exitCode(), 3);
    QVERIFY2(recorder.errors().contains("(connection closed by the peer); reconnecting"),
             qPrintable(recorder.errors()));
}

void TestRecorderNetwork::refusesAMalformedAddress()
{
    QFile::remove("never.csv");
    RecorderProcess recorder({"--record", "never.csv", "--port", "mbtcp://127.0.0.1:502x"});
    QVERIFY(recorder.waitForExit());
    QCOMPARE(recorder.exitCode(), 2);
    QVERIFY2(recorder.errors().startsWith("Error: --port: \"mbtcp://127.0.0.1:502x\" is not a "
                                          "network address: expected tcp://HOST:PORT"),
             qPrintable(recorder.errors()));
    QVERIFY(!QFile::exists("never.csv"));
}

QTEST_GUILESS_MAIN(TestRecorderNetwork)
#include "tst_recordernetwork.moc"
