#include "timeplotcache.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <limits>

class TestTimePlotCache : public QObject
{
    Q_OBJECT

private slots:
    void incrementalEqualsFromScratch();
    void followingReadsOnlyNewSamples();
    void visitsEveryStepthSampleAndBothEnds();

private:
    void append(int count);
    void compareWithFromScratch(TimePlotCache &cache, qint64 leftMs, qint64 rightMs,
                                const TimeAxis &axis);

    QRandomGenerator random{17};
    qint64 nextMs = 1714982400000;
    QVector<QDateTime> timestamps;
    QVector<double> first;
    QVector<double> second;
    QVector<uint16_t> states;
};

void TestTimePlotCache::append(int count)
{
    for (int i = 0; i < count; ++i) {
        // Irregular intervals, now and then a missing value or a fault.
        nextMs += 200 + random.bounded(1000);
        timestamps.append(QDateTime::fromMSecsSinceEpoch(nextMs));
        const bool missing = random.bounded(20) == 0;
        first.append(missing ? std::numeric_limits<double>::quiet_NaN() : random.generateDouble());
        second.append(std::sin(timestamps.size() / 50.0));
        states.append(random.bounded(10) == 0 ? 0x0001 : 0x0200);
    }
}

void TestTimePlotCache::compareWithFromScratch(TimePlotCache &cache, qint64 leftMs, qint64 rightMs,
                                               const TimeAxis &axis)
{
    TimePlotCache scratch;
    scratch.setSources(&timestamps, {&first, &second}, &states);
    scratch.update(leftMs, rightMs);
    cache.update(leftMs, rightMs);
    QCOMPARE(cache.indices(), scratch.indices());
    QCOMPARE(cache.times(), scratch.times());
    QCOMPARE(cache.states(), scratch.states());
    for (int curve = 0; curve < 2; ++curve) {
        const QVector<EnvelopePoint> &a = cache.envelope(curve, axis);
        const QVector<EnvelopePoint> &b = scratch.envelope(curve, axis);
        QCOMPARE(a.size(), b.size());
        for (int i = 0; i < a.size(); ++i) {
            QCOMPARE(a[i].column, b[i].column);
            QVERIFY(a[i].value == b[i].value || (std::isnan(a[i].value) && std::isnan(b[i].value)));
        }
    }
}

void TestTimePlotCache::incrementalEqualsFromScratch()
{
    TimePlotCache cache;
    cache.setSources(&timestamps, {&first, &second}, &states);
    TimeAxis axis;
    axis.plotLeft = 75;
    axis.width = 800;
    qint64 spanMs = 600000;
    bool follow = true;
    qint64 rightMs = 0;
    append(3000);
    for (int operation = 0; operation < 300; ++operation) {
        switch (random.bounded(5)) {
        case 0:
        case 1:
            append(1 + random.bounded(random.bounded(2) ? 3 : 400));
            break;
        case 2: // the scroll bar: somewhere in the recording, or back to following
            follow = random.bounded(3) == 0;
            rightMs =
                timestamps.first().toMSecsSinceEpoch() +
                qint64(random.generateDouble() * (nextMs - timestamps.first().toMSecsSinceEpoch()));
            break;
        case 3: // another visible time
            spanMs = qint64(10000) << random.bounded(12);
            break;
        case 4:
            axis.width = 200 + random.bounded(1400);
            break;
        }
        if (follow)
            rightMs = nextMs;
        axis.leftMs = rightMs - spanMs;
        axis.rightMs = rightMs;
        compareWithFromScratch(cache, axis.leftMs, axis.rightMs, axis);
        if (QTest::currentTestFailed())
            return;
    }
}

void TestTimePlotCache::followingReadsOnlyNewSamples()
{
    append(100000);
    const qint64 spanMs = (nextMs - timestamps.first().toMSecsSinceEpoch()) / 2;
    TimePlotCache cache;
    cache.setSources(&timestamps, {&first, &second}, &states);
    cache.update(nextMs - spanMs, nextMs);
    QVERIFY(cache.step() > 1);
    for (int sample = 0; sample < 100; ++sample) {
        append(1);
        const qint64 before = cache.readCount();
        cache.update(nextMs - spanMs, nextMs);
        // The new last sample, the window's new first sample, and a multiple of the step
        // now and then.
        QVERIFY2(cache.readCount() - before <= 3,
                 qPrintable(QString::number(cache.readCount() - before)));
    }
}

void TestTimePlotCache::visitsEveryStepthSampleAndBothEnds()
{
    append(10001);
    TimePlotCache cache;
    cache.setSources(&timestamps, {&first, &second}, &states);
    // Samples 1001 .. 9001: first 1001, last 9002 (the first one after the window).
    cache.update(timestamps[1001].toMSecsSinceEpoch(), timestamps[9001].toMSecsSinceEpoch());
    QCOMPARE(cache.step(), 4);
    const QVector<int> &indices = cache.indices();
    QCOMPARE(indices.first(), 1001);
    QCOMPARE(indices[1], 1004);
    QCOMPARE(indices[indices.size() - 2], 9000);
    QCOMPARE(indices.last(), 9002);
    QCOMPARE(indices.size(), 2 + (9000 - 1004) / 4 + 1);
    QCOMPARE(cache.values(1)[1], second[1004]);
}

QTEST_APPLESS_MAIN(TestTimePlotCache)
#include "tst_timeplotcache.moc"
