// Turns on a line of several sensors: everyone in turn, a missing or lost sensor
// retried on its own after growing pauses, a silent one given up on its own.

#include "busschedule.h"

#include <QtTest>

using Request = BusSchedule::Request;
using Outcome = BusSchedule::Outcome;

namespace
{

// The turns of one period at time nowMs, as "sensor:P" (probe) or "sensor:R" (read).
QStringList period(BusSchedule &schedule, qint64 nowMs,
                   Outcome (*answer)(BusSchedule &, const BusSchedule::Turn &, qint64))
{
    QStringList turns;
    schedule.startPeriod();
    while (const std::optional<BusSchedule::Turn> turn = schedule.next(nowMs)) {
        turns.append(
            QString("%1:%2").arg(turn->sensor).arg(turn->request == Request::Probe ? 'P' : 'R'));
        answer(schedule, *turn, nowMs);
    }
    return turns;
}

// Sensor 1 never answers; the others always do.
Outcome oneSilent(BusSchedule &schedule, const BusSchedule::Turn &turn, qint64 nowMs)
{
    return turn.sensor == 1 ? schedule.failed(turn, true, nowMs) : schedule.answered(turn, nowMs);
}

} // namespace

class TestBusSchedule : public QObject
{
    Q_OBJECT

private slots:
    void responseTimeoutFollowsTheLine_data();
    void responseTimeoutFollowsTheLine();
    void missingSensorIsRetriedOnItsOwn();
    void lineWithoutSensorsFailsOnlyAfterTheFirstAnswerTime();
    void polledSensorLostAndBack();
    void everySensorGetsItsTurnWhenPeriodsAreShort();
};

void TestBusSchedule::responseTimeoutFollowsTheLine_data()
{
    QTest::addColumn<uint32_t>("baudrate");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("timeoutMs");
    // A read of the live block is 8 + 35 bytes; 100 ms frame end, 100 ms margin.
    QTest::newRow("19200 none/1: 10 bits a byte") << 19200u << 0 << 223;
    QTest::newRow("19200 odd/1: 11 bits a byte") << 19200u << 4 << 225;
    QTest::newRow("9600 none/1") << 9600u << 0 << 245;
    QTest::newRow("9600 even/2: 12 bits a byte") << 9600u << 3 << 254;
    QTest::newRow("115200 none/1") << 115200u << 0 << 204;
    QTest::newRow("1200 even/2: never more than a period") << 1200u << 3 << 500;
}

void TestBusSchedule::responseTimeoutFollowsTheLine()
{
    QFETCH(uint32_t, baudrate);
    QFETCH(int, mode);
    QFETCH(int, timeoutMs);
    QCOMPARE(BusSchedule::responseTimeoutMs(baudrate, uint8_t(mode)), timeoutMs);
}

void TestBusSchedule::missingSensorIsRetriedOnItsOwn()
{
    BusSchedule schedule(3, 10000, 0);
    QCOMPARE(period(schedule, 0, oneSilent), QStringList({"0:P", "1:P", "2:P"}));
    QVERIFY(schedule.isPolled(0) && !schedule.isPolled(1) && schedule.isPolled(2));
    QVERIFY(!schedule.noneAnswers(6000));
    // Probed again 1 s, then 2 s, then 4 s after each failure; the others read every period.
    QCOMPARE(period(schedule, 500, oneSilent), QStringList({"0:R", "2:R"}));
    QCOMPARE(period(schedule, 1000, oneSilent), QStringList({"0:R", "1:P", "2:R"}));
    QCOMPARE(period(schedule, 2500, oneSilent), QStringList({"0:R", "2:R"}));
    QCOMPARE(period(schedule, 3000, oneSilent), QStringList({"0:R", "1:P", "2:R"}));
    QCOMPARE(period(schedule, 6500, oneSilent), QStringList({"0:R", "2:R"}));
    QVERIFY(schedule.giveUp(9999).isEmpty());
    // Given up 10 s after the start; the others go on.
    QCOMPARE(schedule.giveUp(10000), QVector<int>{1});
    QVERIFY(schedule.giveUp(20000).isEmpty());
    QCOMPARE(period(schedule, 20000, oneSilent), QStringList({"0:R", "2:R"}));
    QVERIFY(!schedule.allRetired());
}

void TestBusSchedule::lineWithoutSensorsFailsOnlyAfterTheFirstAnswerTime()
{
    // Short time-outs have probed every address long before the 5 s a single sensor has.
    BusSchedule schedule(2, 0, 1000);
    const auto silent = [](BusSchedule &line, const BusSchedule::Turn &turn, qint64 nowMs) {
        return line.failed(turn, true, nowMs);
    };
    QCOMPARE(period(schedule, 1000, silent), QStringList({"0:P", "1:P"}));
    QVERIFY(!schedule.noneAnswers(5999));
    QVERIFY(schedule.noneAnswers(6000));

    // Not while an address has not been asked yet.
    BusSchedule unasked(2, 0, 0);
    unasked.failed(*unasked.next(0), true, 0);
    QVERIFY(!unasked.noneAnswers(60000));
}

void TestBusSchedule::polledSensorLostAndBack()
{
    BusSchedule schedule(2, 0, 0);
    const BusSchedule::Turn probe{0, Request::Probe};
    const BusSchedule::Turn read{0, Request::Poll};
    QCOMPARE(schedule.answered(probe, 0), Outcome::Found);
    // Spoiled replies do not count, and a reply ends a run of time-outs.
    for (int i = 0; i < 20; ++i)
        QCOMPARE(schedule.failed(read, false, 100), Outcome::Nothing);
    for (int i = 0; i < 9; ++i)
        QCOMPARE(schedule.failed(read, true, 100), Outcome::Nothing);
    QCOMPARE(schedule.answered(read, 100), Outcome::Nothing);
    for (int i = 0; i < 9; ++i)
        QCOMPARE(schedule.failed(read, true, 200), Outcome::Nothing);
    QCOMPARE(schedule.failed(read, true, 5000), Outcome::Lost);
    QCOMPARE(schedule.outageStart(0), qint64(5000));
    // Never given up without a give-up time; back after a probe, with the first pause again.
    QVERIFY(schedule.giveUp(1000000).isEmpty());
    QCOMPARE(schedule.answered(probe, 9000), Outcome::Back);
    QVERIFY(schedule.isPolled(0));

    // The port went away: every polled sensor is lost at once.
    QCOMPARE(schedule.answered(BusSchedule::Turn{1, Request::Probe}, 9000), Outcome::Found);
    QCOMPARE(schedule.lineLost(9500), QVector<int>({0, 1}));
    QVERIFY(!schedule.next(9600));
    QCOMPARE(schedule.next(10500)->request, Request::Probe);
}

void TestBusSchedule::everySensorGetsItsTurnWhenPeriodsAreShort()
{
    // Each period holds only two of the three reads: the third is not starved.
    BusSchedule schedule(3, 0, 0);
    for (int sensor = 0; sensor < 3; ++sensor)
        schedule.answered(BusSchedule::Turn{sensor, Request::Probe}, 0);
    QVector<int> turns(3);
    for (int round = 0; round < 6; ++round) {
        schedule.startPeriod();
        for (int i = 0; i < 2; ++i)
            ++turns[schedule.next(0)->sensor];
    }
    QCOMPARE(turns, QVector<int>({4, 4, 4}));
}

QTEST_MAIN(TestBusSchedule)
#include "tst_busschedule.moc"
