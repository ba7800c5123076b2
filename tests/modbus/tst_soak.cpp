// The soak benchmark (bench/bench_soak) in short: live-block polls against the simulator
// with 1 % of each line fault, and configuration writes with read-back, until 800
// exchanges and 300 writes are made, however long a busy machine takes for them.

#include "soakrun.h"
#include "testseed.h"

#include <QtTest>

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void soakUnderFaults();
};

void TestSoak::soakUnderFaults()
{
    Soak::Options options;
    options.exchanges = 800;
    options.pollLanes = 4;
    options.writes = 300;
    options.writeLanes = 2;
    options.faultShare = 0.01;
    options.seed = testSeed();
    const Soak::Figures figures = Soak::run(options);
    QVERIFY(figures.started);
    const Soak::PollFigures &poll = figures.poll;
    qInfo() << "seconds" << figures.seconds << "exchanges" << poll.exchanges << "spoiled"
            << poll.faultedExchanges << "errors" << poll.errors << "stalls" << poll.stalled
            << "samples" << poll.samplesStored << "of" << poll.framesProduced << "writes"
            << figures.write.writes << "write stalls" << figures.write.stalled;

    // Enough happened for the zeros to mean something.
    QCOMPARE(poll.exchanges, options.exchanges);
    QCOMPARE(figures.write.writes, options.writes);
    QVERIFY(poll.faultedExchanges >= 10);
    QVERIFY(poll.samplesStored >= 200);

    QCOMPARE(poll.failedWithoutFault, 0);
    QCOMPARE(poll.answeredDespiteFault, 0);
    QCOMPARE(poll.requestCountMismatches, 0);
    QCOMPARE(poll.recoveredAtNextRequest, poll.faultsFollowedByCleanExchange);
    QCOMPARE(poll.corruptSamples, 0);
    QCOMPARE(poll.duplicateOrOutOfOrder, 0);
    QCOMPARE(figures.write.mismatches, 0);
    QCOMPARE(figures.write.errors, 0);
    // A stall is the machine's, not the link's; a link that kept missing replies would show
    // as many of them.
    QVERIFY2(poll.stalled * 10 <= poll.exchanges, qPrintable(QString::number(poll.stalled)));
    QVERIFY2(figures.write.stalled * 10 <= figures.write.writes,
             qPrintable(QString::number(figures.write.stalled)));
}

QTEST_GUILESS_MAIN(TestSoak)
#include "tst_soak.moc"
