#include "selectionstatistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{

const qint64 msecsPerDay = 86400000;
const qint64 msecsPerWeek = 7 * msecsPerDay;
const uint16_t noFaultBit = 0x0200;

// Wall-clock milliseconds of a timestamp in its own zone: cheap, unlike the conversion to
// the epoch, which asks the C library for the local offset every time.
qint64 wallMsecs(const QDateTime &time)
{
    return time.date().toJulianDay() * msecsPerDay + time.time().msecsSinceStartOfDay();
}

qint64 offsetOf(const QDateTime &time)
{
    return wallMsecs(time) - time.toMSecsSinceEpoch();
}

// Splits rows a .. b (inclusive) into runs of one offset from UTC, so that the epoch time
// of a row is its wall-clock time minus its run's offset. Rows a week apart or less whose
// offsets agree are taken to share it: offsets change at most twice a year.
template <typename Visit>
void visitOffsetRuns(const QVector<QDateTime> &timestamps, int a, int b, qint64 offsetA,
                     qint64 offsetB, Visit &visit)
{
    const qint64 span = (wallMsecs(timestamps[b]) - offsetB) - (wallMsecs(timestamps[a]) - offsetA);
    if (offsetA == offsetB && span <= msecsPerWeek) {
        visit(a, b, offsetA);
        return;
    }
    if (b - a <= 1) {
        visit(a, a, offsetA);
        if (b != a)
            visit(b, b, offsetB);
        return;
    }
    const int middle = a + (b - a) / 2;
    visitOffsetRuns(timestamps, a, middle, offsetA, offsetOf(timestamps[middle]), visit);
    visitOffsetRuns(timestamps, middle + 1, b, offsetOf(timestamps[middle + 1]), offsetB, visit);
}

// Sums of values and times shifted by the first value and the first time, which keeps
// the one-pass variance and slope exact enough for any offset of the data.
struct Sums {
    int count = 0;
    int faults = 0;
    double shift = 0;
    double minimum = std::numeric_limits<double>::infinity();
    double maximum = -std::numeric_limits<double>::infinity();
    double value = 0;
    double valueSquared = 0;
    double time = 0;
    double timeSquared = 0;
    double timeValue = 0;
};

// Partial sums of a block. Branch-free, so that a scattering of missing values costs
// nothing: a missing value adds zeros.
struct Lane {
    int count = 0;
    int faults = 0;
    double minimum = std::numeric_limits<double>::infinity();
    double maximum = -std::numeric_limits<double>::infinity();
    double value = 0;
    double valueSquared = 0;
    double time = 0;
    double timeSquared = 0;
    double timeValue = 0;

    void add(double raw, uint16_t state, double minutes, double shift)
    {
        const bool present = !std::isnan(raw);
        const double shifted = present ? raw - shift : 0;
        const double t = present ? minutes : 0;
        count += present;
        faults += present & ((state & ~noFaultBit) != 0);
        minimum = std::min(minimum, present ? raw : std::numeric_limits<double>::infinity());
        maximum = std::max(maximum, present ? raw : -std::numeric_limits<double>::infinity());
        value += shifted;
        valueSquared += shifted * shifted;
        time += t;
        timeSquared += t * t;
        timeValue += t * shifted;
    }
};

// Two lanes of sums over alternate rows halve the chains of dependent additions.
void addBlock(Sums &sums, const double *values, const uint16_t *states, const double *minutes,
              int count)
{
    Lane even;
    Lane odd;
    int i = 0;
    for (; i + 1 < count; i += 2) {
        even.add(values[i], states[i], minutes[i], sums.shift);
        odd.add(values[i + 1], states[i + 1], minutes[i + 1], sums.shift);
    }
    if (i < count)
        even.add(values[i], states[i], minutes[i], sums.shift);
    sums.count += even.count + odd.count;
    sums.faults += even.faults + odd.faults;
    sums.minimum = std::min({sums.minimum, even.minimum, odd.minimum});
    sums.maximum = std::max({sums.maximum, even.maximum, odd.maximum});
    sums.value += even.value + odd.value;
    sums.valueSquared += even.valueSquared + odd.valueSquared;
    sums.time += even.time + odd.time;
    sums.timeSquared += even.timeSquared + odd.timeSquared;
    sums.timeValue += even.timeValue + odd.timeValue;
}

} // namespace

QVector<SelectionStatistics> selectionStatistics(const QVector<QDateTime> &timestamps,
                                                 const QVector<const QVector<double> *> &columns,
                                                 const QVector<uint16_t> &systemStates, int first,
                                                 int last)
{
    const int columnCount = columns.size();
    QVector<SelectionStatistics> results(columnCount);
    last = std::min({last, timestamps.size(), systemStates.size()});
    for (const QVector<double> *column : columns)
        last = std::min(last, column ? column->size() : 0);
    first = std::max(first, 0);
    if (first >= last)
        return results;

    QVector<Sums> sums(columnCount);
    QVector<const double *> values(columnCount);
    for (int c = 0; c < columnCount; ++c) {
        values[c] = columns[c]->constData();
        const double *firstValue = std::find_if(values[c] + first, values[c] + last,
                                                [](double v) { return !std::isnan(v); });
        sums[c].shift = firstValue != values[c] + last ? *firstValue : 0;
    }
    const uint16_t *states = systemStates.constData();
    const qint64 startMsecs = timestamps[first].toMSecsSinceEpoch();

    // Rows go in blocks: the times of a block first, then each column over the block with
    // its sums in registers.
    const int blockSize = 2048;
    double minutes[blockSize];
    auto visit = [&](int from, int to, qint64 offset) {
        const qint64 base = startMsecs + offset;
        for (int blockStart = from; blockStart <= to; blockStart += blockSize) {
            const int blockEnd = std::min(to + 1, blockStart + blockSize);
            for (int i = blockStart; i < blockEnd; ++i)
                minutes[i - blockStart] = double(wallMsecs(timestamps[i]) - base) / 60000.0;
            for (int c = 0; c < columnCount; ++c)
                addBlock(sums[c], values[c] + blockStart, states + blockStart, minutes,
                         blockEnd - blockStart);
        }
    };
    visitOffsetRuns(timestamps, first, last - 1, offsetOf(timestamps[first]),
                    offsetOf(timestamps[last - 1]), visit);

    for (int c = 0; c < columnCount; ++c) {
        const Sums &s = sums[c];
        SelectionStatistics &result = results[c];
        result.count = s.count;
        result.faultCount = s.faults;
        if (s.count == 0)
            continue;
        const double n = s.count;
        result.mean = s.shift + s.value / n;
        result.minimum = s.minimum;
        result.maximum = s.maximum;
        if (s.count > 1) {
            const double squares = std::max(0.0, s.valueSquared - s.value * s.value / n);
            result.standardDeviation = std::sqrt(squares / (n - 1));
            const double timeSpread = s.timeSquared - s.time * s.time / n;
            if (timeSpread > 0)
                result.slopePerMinute = (s.timeValue - s.time * s.value / n) / timeSpread;
        }
    }
    return results;
}

QPair<int, int> rowsBetween(const QVector<QDateTime> &timestamps, const QDateTime &left,
                            const QDateTime &right)
{
    const auto begin = std::lower_bound(timestamps.begin(), timestamps.end(), left);
    const auto end = std::upper_bound(begin, timestamps.end(), right);
    return {int(begin - timestamps.begin()), int(end - timestamps.begin())};
}
