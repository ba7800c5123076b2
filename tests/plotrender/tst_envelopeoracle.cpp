#include "randomrecording.h"
#include "testseed.h"
#include "timegaprule.h"
#include "timeplotcache.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <set>

// The plot cache's walk over the block summary against a plain pass over every sample of
// the window, written here from the rules alone: equal, to the last value and column.
class TestEnvelopeOracle : public QObject
{
    Q_OBJECT

private slots:
    void everySampleCounts();

private:
    void compareWindow(TimePlotCache &cache, const TimeAxis &axis);

    RandomRecording recording;
};

namespace
{

QString describe(const TimeAxis &axis)
{
    return QStringLiteral("window %1..%2 ms, width %3")
        .arg(axis.leftMs)
        .arg(axis.rightMs)
        .arg(axis.width);
}

} // namespace

void TestEnvelopeOracle::compareWindow(TimePlotCache &cache, const TimeAxis &axis)
{
    cache.update(axis.leftMs, axis.rightMs);
    const QVector<QDateTime> &times = recording.timestamps;
    const int n = times.size();
    const int first = qBound(0,
                             int(std::lower_bound(times.begin(), times.end(),
                                                  QDateTime::fromMSecsSinceEpoch(axis.leftMs)) -
                                 times.begin()),
                             n - 1);
    const int last = qBound(0,
                            int(std::upper_bound(times.begin(), times.end(),
                                                 QDateTime::fromMSecsSinceEpoch(axis.rightMs)) -
                                times.begin()),
                            n - 1);
    QCOMPARE(cache.firstIndex(), first);
    QCOMPARE(cache.lastIndex(), last);
    QVector<int> column(n);
    QVector<bool> gapBefore(n);
    for (int i = first; i <= last; ++i) {
        column[i] = axis.column(times[i].toMSecsSinceEpoch());
        gapBefore[i] =
            i > first && isTimeGap(times[i - 1].msecsTo(times[i]), cache.medianIntervalMs());
    }

    for (int curve = 0; curve < RandomRecording::curveCount; ++curve) {
        const QVector<double> &values = recording.values[curve];
        // Display range.
        double low = qInf();
        double high = -qInf();
        for (int i = first; i <= last; ++i) {
            if (!std::isnan(values[i])) {
                low = std::min(low, values[i]);
                high = std::max(high, values[i]);
            }
        }
        double cachedLow = 0;
        double cachedHigh = 0;
        cache.valueRange(curve, cachedLow, cachedHigh);
        QCOMPARE(cachedLow, low);
        QCOMPARE(cachedHigh, high);

        // Envelope: per column and unbroken run the first, smallest, largest and last
        // sample (the first of equal extremes), in index order, "|" between runs.
        QStringList expected;
        QVector<int> run;
        bool broken = false;
        const auto endRun = [&] {
            if (run.isEmpty())
                return;
            if (broken && !expected.isEmpty())
                expected.append(QStringLiteral("|"));
            broken = false;
            int minimum = run.first();
            int maximum = run.first();
            for (int i : run) {
                if (values[i] < values[minimum])
                    minimum = i;
                if (values[i] > values[maximum])
                    maximum = i;
            }
            const std::set<int> taken{run.first(), minimum, maximum, run.last()};
            for (int i : taken)
                expected.append(QStringLiteral("%1:%2").arg(column[i]).arg(values[i], 0, 'g', 17));
            run.clear();
        };
        for (int i = first; i <= last; ++i) {
            const bool gap = gapBefore[i] && column[i] != column[i - 1];
            if (std::isnan(values[i]) || gap) {
                endRun();
                broken = true;
            }
            if (std::isnan(values[i]))
                continue;
            if (!run.isEmpty() && column[run.last()] != column[i])
                endRun();
            run.append(i);
        }
        endRun();
        QStringList actual;
        for (const EnvelopePoint &point : cache.envelope(curve, axis))
            actual.append(
                std::isnan(point.value)
                    ? QStringLiteral("|")
                    : QStringLiteral("%1:%2").arg(point.column).arg(point.value, 0, 'g', 17));
        if (actual != expected) {
            int at = 0;
            while (at < std::min(actual.size(), expected.size()) && actual[at] == expected[at])
                ++at;
            QFAIL(qPrintable(QStringLiteral("curve %1, %2: envelopes differ at point %3 of %4: "
                                            "%5 instead of %6")
                                 .arg(curve)
                                 .arg(describe(axis))
                                 .arg(at)
                                 .arg(expected.size())
                                 .arg(actual.value(at, "nothing"))
                                 .arg(expected.value(at, "nothing"))));
        }
    }

    // Shaded columns: a stretch opens at a fault, closes before the next sample without
    // one, and is at least one column wide.
    const auto clipped = [&](int from, int to, std::set<int> &columns) {
        for (int x = std::max(0, from); x <= std::min(to, axis.width - 1); ++x)
            columns.insert(x);
    };
    std::set<int> expectedShaded;
    bool open = false;
    int openColumn = 0;
    for (int i = first; i <= last; ++i) {
        const bool fault = (recording.states[i] & ~0x0200) != 0;
        if (!open && fault) {
            open = true;
            openColumn = column[i];
        } else if (open && !fault) {
            clipped(openColumn, std::max(openColumn, column[i] - 1), expectedShaded);
            open = false;
        }
    }
    if (open)
        clipped(openColumn, axis.width - 1, expectedShaded);
    std::set<int> shaded;
    for (const ColumnStretch &stretch : cache.faultStretches(axis))
        clipped(stretch.from, stretch.to, shaded);
    QVERIFY2(shaded == expectedShaded, qPrintable(describe(axis)));

    // Hovered sample: the last one whose column is at most x, none in a time gap after it.
    int hovered = -1;
    int next = first;
    for (int x = axis.plotLeft - 3; x <= axis.width + 3; x += 7) {
        while (next <= last && column[next] <= x)
            hovered = next++;
        const bool inGap =
            hovered >= 0 && hovered < last && gapBefore[hovered + 1] && x > column[hovered];
        const int expected = inGap ? -1 : hovered;
        QVERIFY2(cache.hoveredIndex(axis, x) == expected,
                 qPrintable(QStringLiteral("x %1, %2").arg(x).arg(describe(axis))));
    }
}

void TestEnvelopeOracle::everySampleCounts()
{
    QRandomGenerator random = seededRandom();
    TimePlotCache cache;
    cache.setSources(&recording.timestamps, recording.curves(), &recording.states);
    for (int recordingNumber = 0; recordingNumber < 3; ++recordingNumber) {
        // A Clear or an import: the lists are refilled.
        recording.clear();
        cache.reset();
        for (int growth = 0; growth < 6; ++growth) {
            recording.append(random, 1 + int(random.bounded(growth < 5 ? 20000 : 40)));
            for (int window = 0; window < 10; ++window) {
                TimeAxis axis;
                axis.plotLeft = 75;
                axis.width = QVector<int>{80, 160, 1600}[int(random.bounded(3))];
                const qint64 span = recording.lastMs() - recording.firstMs() + 1;
                // From a few samples to more than the recording, now and then off its ends.
                const qint64 length =
                    1 + qint64(std::pow(double(span), 0.4 + 0.6 * random.generateDouble()));
                axis.leftMs = recording.firstMs() - length / 8 +
                              qint64(random.generateDouble() * double(span));
                axis.rightMs = axis.leftMs + length;
                if (random.bounded(3) == 0) { // following the last sample
                    axis.leftMs = recording.lastMs() - length;
                    axis.rightMs = recording.lastMs();
                }
                compareWindow(cache, axis);
                if (QTest::currentTestFailed())
                    return;
            }
            // A followed window, as the poll moves it: a sample at a time, each column's
            // borders a little later. Narrow, so that columns hold whole blocks.
            const qint64 length = 1 + qint64((0.5 + 0.5 * random.generateDouble()) *
                                             double(recording.lastMs() - recording.firstMs()));
            TimeAxis axis{recording.lastMs() - length, recording.lastMs(), 75, 160};
            for (int poll = 0; poll < 4; ++poll) {
                recording.append(random, 1);
                axis.leftMs += recording.lastMs() - axis.rightMs;
                axis.rightMs = recording.lastMs();
                compareWindow(cache, axis);
                if (QTest::currentTestFailed())
                    return;
            }
        }
    }
}

QTEST_APPLESS_MAIN(TestEnvelopeOracle)
#include "tst_envelopeoracle.moc"
