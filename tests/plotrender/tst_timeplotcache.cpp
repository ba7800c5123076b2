#include "randomrecording.h"
#include "testseed.h"
#include "timeplotcache.h"

#include <QtTest>

#include <cmath>

class TestTimePlotCache : public QObject
{
    Q_OBJECT

private slots:
    void incrementalEqualsFromScratch();
    void windowOffTheRecordingTakesItsEnd();
    void columnRangeTakesFirstExtremes_data();
    void columnRangeTakesFirstExtremes();

private:
    void compareWithFromScratch(TimePlotCache &cache, const TimeAxis &axis);

    RandomRecording recording;
};

void TestTimePlotCache::compareWithFromScratch(TimePlotCache &cache, const TimeAxis &axis)
{
    TimePlotCache scratch;
    scratch.setSources(&recording.timestamps, recording.curves(), &recording.states);
    scratch.update(axis.leftMs, axis.rightMs);
    cache.update(axis.leftMs, axis.rightMs);
    QCOMPARE(cache.firstIndex(), scratch.firstIndex());
    QCOMPARE(cache.lastIndex(), scratch.lastIndex());
    QCOMPARE(cache.summary().summarizedCount(), scratch.summary().summarizedCount());
    for (int curve = 0; curve < RandomRecording::curveCount; ++curve) {
        const QVector<EnvelopePoint> &a = cache.envelope(curve, axis);
        const QVector<EnvelopePoint> &b = scratch.envelope(curve, axis);
        QCOMPARE(a.size(), b.size());
        for (int i = 0; i < a.size(); ++i) {
            QCOMPARE(a[i].column, b[i].column);
            QVERIFY(a[i].value == b[i].value || (std::isnan(a[i].value) && std::isnan(b[i].value)));
        }
    }
    const QVector<ColumnStretch> &a = cache.faultStretches(axis);
    const QVector<ColumnStretch> &b = scratch.faultStretches(axis);
    QCOMPARE(a.size(), b.size());
    for (int i = 0; i < a.size(); ++i) {
        QCOMPARE(a[i].from, b[i].from);
        QCOMPARE(a[i].to, b[i].to);
    }
}

void TestTimePlotCache::incrementalEqualsFromScratch()
{
    // A cache kept over appends, replaced recordings, moved windows and widths draws what a
    // new one draws.
    QRandomGenerator random = seededRandom();
    TimePlotCache cache;
    cache.setSources(&recording.timestamps, recording.curves(), &recording.states);
    TimeAxis axis;
    axis.plotLeft = 75;
    axis.width = 800;
    qint64 spanMs = 600000;
    bool follow = true;
    qint64 rightMs = 0;
    recording.append(random, 3000);
    for (int operation = 0; operation < 200; ++operation) {
        switch (random.bounded(6)) {
        case 0:
        case 1:
            recording.append(random, 1 + int(random.bounded(random.bounded(2) ? 3 : 4000)));
            break;
        case 2: // the scroll bar: somewhere in the recording, or back to following
            follow = random.bounded(3) == 0;
            rightMs = recording.firstMs() +
                      qint64(random.generateDouble() * (recording.lastMs() - recording.firstMs()));
            break;
        case 3: // another visible time
            spanMs = qint64(10000) << random.bounded(14);
            break;
        case 4:
            axis.width = 200 + int(random.bounded(1400));
            break;
        case 5: // an import
            recording.clear();
            recording.append(random, 1 + int(random.bounded(9000)));
            cache.reset();
            break;
        }
        if (follow)
            rightMs = recording.lastMs();
        axis.leftMs = rightMs - spanMs;
        axis.rightMs = rightMs;
        compareWithFromScratch(cache, axis);
        if (QTest::currentTestFailed())
            return;
    }
}

void TestTimePlotCache::windowOffTheRecordingTakesItsEnd()
{
    // A window wholly after the last sample (or before the first) still takes that one
    // sample, at a column outside the plot area.
    QRandomGenerator random = seededRandom();
    recording.clear();
    recording.append(random, 1000);
    TimePlotCache cache;
    cache.setSources(&recording.timestamps, recording.curves(), &recording.states);
    const TimeAxis after{recording.lastMs() + 1000, recording.lastMs() + 2000, 75, 400};
    cache.update(after.leftMs, after.rightMs);
    QCOMPARE(cache.firstIndex(), 999);
    QCOMPARE(cache.lastIndex(), 999);
    QCOMPARE(cache.hoveredIndex(after, 399), 999);
    const TimeAxis before{recording.firstMs() - 2000, recording.firstMs() - 1000, 75, 400};
    cache.update(before.leftMs, before.rightMs);
    QCOMPARE(cache.firstIndex(), 0);
    QCOMPARE(cache.lastIndex(), 0);
    QCOMPARE(cache.hoveredIndex(before, 399), -1);
    double low = 0;
    double high = 0;
    cache.valueRange(0, low, high);
    QVERIFY(low == high || (std::isnan(recording.values[0][0]) && low > high));
}

void TestTimePlotCache::columnRangeTakesFirstExtremes_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("mayMiss");
    // -1: missing.
    QTest::addColumn<int>("minimumIndex");
    QTest::addColumn<int>("maximumIndex");

    const double nan = qQNaN();
    QTest::newRow("equal extremes, the first counts")
        << QVector<double>{2, 1, 3, 1, 3} << 4 << false << 1 << 2;
    QTest::newRow("more than four, last lane")
        << QVector<double>{5, 5, 5, 5, 5, 5, 9, 0} << 7 << false << 7 << 6;
    QTest::newRow("signed zeros are equal")
        << QVector<double>{0.0, -0.0, 0.0} << 2 << false << 0 << 0;
    QTest::newRow("a missing value") << QVector<double>{1, nan, 2} << 2 << true << -1 << -1;
    QTest::newRow("a list shorter than the column")
        << QVector<double>{1, 2} << 3 << false << -1 << -1;
}

// The scan finds the extremes without branches and then where they first occur; a walk
// over the samples keeps the first of equal ones.
void TestTimePlotCache::columnRangeTakesFirstExtremes()
{
    QFETCH(QVector<double>, values);
    QFETCH(int, to);
    QFETCH(bool, mayMiss);
    QFETCH(int, minimumIndex);
    QFETCH(int, maximumIndex);
    ColumnRange range;
    range.scan(&values, 0, to, mayMiss);
    QCOMPARE(range.missing, minimumIndex < 0);
    if (range.missing)
        return;
    QCOMPARE(range.minimumIndex, minimumIndex);
    QCOMPARE(range.maximumIndex, maximumIndex);
    QCOMPARE(std::signbit(range.minimum), std::signbit(values[minimumIndex]));
    // A later piece with the same extremes leaves them where they first occurred.
    range.add(values[minimumIndex], 100, values[maximumIndex], 101);
    QCOMPARE(range.minimumIndex, minimumIndex);
    QCOMPARE(range.maximumIndex, maximumIndex);
}

QTEST_APPLESS_MAIN(TestTimePlotCache)
#include "tst_timeplotcache.moc"
