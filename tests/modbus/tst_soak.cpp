// Two minutes of the soak benchmark (bench/bench_soak): live-block polls against the
// simulator with 1 % of each line fault, and configuration writes with read-back.

#include "../../bench/soakrun.h"

#include <QtTest>

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void twoMinutesUnderFaults();
};

void TestSoak::twoMinutesUnderFaults()
{
    Soak::Options options;
    options.simulator = QUVA_SIM_PATH;
    options.exchanges = 1000000;
    options.pollLanes = 4;
    options.writes = 1000000;
    options.writeLanes = 2;
    options.faultShare = 0.01;
    options.seconds = 110;
    options.seed = 7;
    const Soak::Figures figures = Soak::run(options);
    QVERIFY(figures.started);
    const Soak::PollFigures &poll = figures.poll;
    qInfo() << "exchanges" << poll.exchanges << "spoiled" << poll.faultedExchanges << "errors"
            << poll.errors << "samples" << poll.samplesStored << "of" << poll.framesProduced
            << "writes" << figures.write.writes;

    // Enough happened for the zeros to mean something.
    QVERIFY2(poll.exchanges >= 600, qPrintable(QString::number(poll.exchanges)));
    QVERIFY(poll.faultedExchanges >= 10);
    QVERIFY(poll.samplesStored >= 200);
    QVERIFY(figures.write.writes >= 100);

    QCOMPARE(poll.failedWithoutFault, 0);
    QCOMPARE(poll.answeredDespiteFault, 0);
    QCOMPARE(poll.requestCountMismatches, 0);
    QCOMPARE(poll.recoveredAtNextRequest, poll.faultsFollowedByCleanExchange);
    QCOMPARE(poll.corruptSamples, 0);
    QCOMPARE(poll.duplicateOrOutOfOrder, 0);
    QCOMPARE(figures.write.mismatches, 0);
    QCOMPARE(figures.write.errors, 0);
}

QTEST_GUILESS_MAIN(TestSoak)
#include "tst_soak.moc"
