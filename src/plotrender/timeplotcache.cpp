#include "timeplotcache.h"

#include "envelopebuilder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace
{

// Adds a curve's samples from..to, which lie in column: a piece per unbroken run.
void addSamples(const SampleSummary &samples, EnvelopeBuilder &builder, int curve, int column,
                int from, int to)
{
    int runFirst = -1;
    int minimumIndex = 0;
    int maximumIndex = 0;
    double minimum = 0;
    double maximum = 0;
    const auto endRun = [&](int runLast) {
        if (runFirst >= 0)
            builder.add(column, runFirst, runLast, minimum, minimumIndex, maximum, maximumIndex);
        runFirst = -1;
    };
    for (int index = from; index <= to; ++index) {
        const double value = samples.value(curve, index);
        if (std::isnan(value)) {
            endRun(index - 1);
            builder.breakRun();
        } else if (runFirst < 0) {
            runFirst = minimumIndex = maximumIndex = index;
            minimum = maximum = value;
        } else if (value < minimum) {
            minimum = value;
            minimumIndex = index;
        } else if (value > maximum) {
            maximum = value;
            maximumIndex = index;
        }
    }
    endRun(to);
}

// Adds a curve's block that lies in column: whole where it has every value or none, else
// its parts, down to the samples around the missing values.
void addBlock(const SampleSummary &samples, EnvelopeBuilder &builder, int curve, int level,
              int number, int column)
{
    const SampleSummary::Extremes &extremes = samples.extremes(level, number, curve);
    if (extremes.minimumIndex < 0) {
        builder.breakRun();
        return;
    }
    const int size = SampleSummary::blockSize(level);
    const int first = number * size;
    if (!(samples.block(level, number).missingCurves >> curve & 1)) {
        builder.add(column, first, first + size - 1, extremes.minimum, extremes.minimumIndex,
                    extremes.maximum, extremes.maximumIndex);
        return;
    }
    if (level > 0) {
        for (int part = 0; part < SampleSummary::fanOut; ++part)
            addBlock(samples, builder, curve, level - 1, number * SampleSummary::fanOut + part,
                     column);
        return;
    }
    addSamples(samples, builder, curve, column, first, first + size - 1);
}

// The fault stretches of a walk, one piece after the other, each piece in one column.
class FaultStretches
{
public:
    explicit FaultStretches(QVector<ColumnStretch> &stretches) : stretches(stretches) {}

    void add(int column, uint8_t states)
    {
        using S = SampleSummary;
        if (!(states & S::SomeClear)) {
            if (!open) {
                open = true;
                openColumn = column;
            }
            return;
        }
        const bool wasOpen = open;
        if (open) {
            close(column);
            open = false;
        }
        // A stretch opened in this column: it ends here or stays open.
        if ((!wasOpen && (states & S::FirstFault)) || (states & S::FaultAfterClear)) {
            openColumn = column;
            if (states & S::LastFault)
                open = true;
            else
                close(column);
        }
    }

    void finish(int lastColumn)
    {
        if (open)
            append(openColumn, lastColumn);
    }

private:
    // The stretch ends before the sample in column, but is at least one column wide.
    void close(int column) { append(openColumn, std::max(openColumn, column - 1)); }

    void append(int from, int to)
    {
        if (!stretches.isEmpty() && from <= stretches.last().to + 1 &&
            from >= stretches.last().from)
            stretches.last().to = std::max(stretches.last().to, to);
        else
            stretches.append(ColumnStretch{from, to});
    }

    QVector<ColumnStretch> &stretches;
    bool open = false;
    int openColumn = 0;
};

} // namespace

void TimePlotCache::setSources(const QVector<QDateTime> *timestamps,
                               const QVector<QVector<double> *> &curves,
                               const QVector<uint16_t> *systemStates)
{
    this->timestamps = timestamps;
    samples.setSources(timestamps, curves, systemStates);
    envelopes.fill(QVector<EnvelopePoint>(), curves.size());
    reset();
}

void TimePlotCache::reset()
{
    samples.reset();
    first = -1;
    last = -1;
    ++revision;
}

void TimePlotCache::update(qint64 leftMs, qint64 rightMs)
{
    samples.update();
    const int count = samples.sampleCount();
    const qint64 medianBefore = gapRule.medianIntervalMs();
    gapRule.update(count > 0 ? timestamps : nullptr);
    int newFirst = -1;
    int newLast = -1;
    if (count > 0) {
        const QDateTime left = QDateTime::fromMSecsSinceEpoch(leftMs);
        const QDateTime right = QDateTime::fromMSecsSinceEpoch(rightMs);
        newFirst = int(std::lower_bound(timestamps->begin(), timestamps->end(), left) -
                       timestamps->begin());
        newLast = int(std::upper_bound(timestamps->begin(), timestamps->end(), right) -
                      timestamps->begin());
        newFirst = qBound(0, newFirst, count - 1);
        newLast = qBound(0, newLast, count - 1);
    }
    if (newFirst != first || newLast != last || gapRule.medianIntervalMs() != medianBefore) {
        first = newFirst;
        last = newLast;
        ++revision;
    }
}

const QVector<EnvelopePoint> &TimePlotCache::envelope(int curve, const TimeAxis &axis)
{
    if (walked != revision || walkedAxis != axis)
        walkColumns(axis);
    return envelopes[curve];
}

const QVector<ColumnStretch> &TimePlotCache::faultStretches(const TimeAxis &axis)
{
    if (walked != revision || walkedAxis != axis)
        walkColumns(axis);
    return stretches;
}

void TimePlotCache::walkColumns(const TimeAxis &axis)
{
    walked = revision;
    walkedAxis = axis;
    stretches.resize(0);
    const int curveTotal = samples.curveCount();
    for (QVector<EnvelopePoint> &points : envelopes)
        points.resize(0);
    if (first < 0)
        return;
    std::vector<EnvelopeBuilder> builders;
    builders.reserve(size_t(curveTotal));
    for (int curve = 0; curve < curveTotal; ++curve)
        builders.emplace_back(envelopes[curve],
                              [this, curve](int index) { return samples.value(curve, index); });
    FaultStretches faults(stretches);
    const qint64 medianMs = gapRule.medianIntervalMs();
    qint64 previousMs = 0;
    int previousColumn = 0;
    // A time gap between two columns breaks every curve.
    const auto startPiece = [&](int index, qint64 firstMs, int column) {
        if (index > first && column != previousColumn &&
            isTimeGap(firstMs - previousMs, medianMs)) {
            for (EnvelopeBuilder &builder : builders)
                builder.breakRun();
        }
    };
    const int levels = samples.levelCount();
    int index = first;
    while (index <= last) {
        int taken = 0;
        // The largest block that starts here, ends in the window and lies in one column.
        for (int level = levels - 1; level >= 0 && taken == 0; --level) {
            const int size = SampleSummary::blockSize(level);
            const int number = index / size;
            if (index % size != 0 || index + size - 1 > last || number >= samples.blockCount(level))
                continue;
            const SampleSummary::Block &block = samples.block(level, number);
            const int column = axis.column(block.firstMs);
            // A time gap inside one column breaks nothing.
            if (axis.column(block.lastMs) != column)
                continue;
            startPiece(index, block.firstMs, column);
            for (int curve = 0; curve < curveTotal; ++curve)
                addBlock(samples, builders[size_t(curve)], curve, level, number, column);
            faults.add(column, block.states);
            previousMs = block.lastMs;
            previousColumn = column;
            taken = size;
        }
        if (taken == 0) {
            // The samples from here on that share its column, up to the end of its base
            // block: found by bisection, since the columns rise with the index.
            const qint64 ms = samples.fastTimeMs(index);
            const int column = axis.column(ms);
            int end = index;
            int high = std::min(
                last,
                (index / SampleSummary::baseBlockSize + 1) * SampleSummary::baseBlockSize - 1);
            while (end < high) {
                const int middle = end + (high - end + 1) / 2;
                if (axis.column(samples.fastTimeMs(middle)) == column)
                    end = middle;
                else
                    high = middle - 1;
            }
            startPiece(index, ms, column);
            for (int curve = 0; curve < curveTotal; ++curve)
                addSamples(samples, builders[size_t(curve)], curve, column, index, end);
            uint8_t states = SampleSummary::sampleStates(samples.state(index));
            for (int sample = index + 1; sample <= end; ++sample)
                states = SampleSummary::combinedStates(
                    states, SampleSummary::sampleStates(samples.state(sample)));
            faults.add(column, states);
            previousMs = end == index ? ms : samples.fastTimeMs(end);
            previousColumn = column;
            taken = end - index + 1;
        }
        index += taken;
    }
    for (EnvelopeBuilder &builder : builders)
        builder.finish();
    faults.finish(axis.width - 1);
}

void TimePlotCache::valueRange(int curve, double &low, double &high) const
{
    low = std::numeric_limits<double>::infinity();
    high = -std::numeric_limits<double>::infinity();
    if (first < 0)
        return;
    const int levels = samples.levelCount();
    int index = first;
    while (index <= last) {
        int taken = 1;
        for (int level = levels - 1; level >= 0; --level) {
            const int size = SampleSummary::blockSize(level);
            const int number = index / size;
            if (index % size != 0 || index + size - 1 > last || number >= samples.blockCount(level))
                continue;
            const SampleSummary::Extremes &extremes = samples.extremes(level, number, curve);
            if (extremes.minimumIndex >= 0) {
                low = std::min(low, extremes.minimum);
                high = std::max(high, extremes.maximum);
            }
            taken = size;
            break;
        }
        if (taken == 1) {
            const double value = samples.value(curve, index);
            if (value < low)
                low = value;
            if (value > high)
                high = value;
        }
        index += taken;
    }
}

int TimePlotCache::hoveredIndex(const TimeAxis &axis, int x) const
{
    if (first < 0 || axis.column(samples.timeMs(first)) > x)
        return -1;
    // The columns rise with the index.
    int low = first;
    int high = last;
    while (low < high) {
        const int middle = low + (high - low + 1) / 2;
        if (axis.column(samples.timeMs(middle)) <= x)
            low = middle;
        else
            high = middle - 1;
    }
    // Between two samples with a time gap nothing was measured.
    if (low < last && x > axis.column(samples.timeMs(low)) &&
        gapRule.isGap(samples.timeMs(low), samples.timeMs(low + 1)))
        return -1;
    return low;
}

qint64 TimePlotCache::byteSize() const
{
    qint64 bytes = qint64(stretches.capacity()) * qint64(sizeof(ColumnStretch));
    for (const QVector<EnvelopePoint> &points : envelopes)
        bytes += qint64(points.capacity()) * qint64(sizeof(EnvelopePoint));
    return bytes;
}
