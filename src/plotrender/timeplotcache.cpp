#include "timeplotcache.h"

#include "envelopebuilder.h"

#include <QtAlgorithms>

#include <algorithm>
#include <array>
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

// The first of low..high - 1 where holds() is false, high when it holds everywhere; it
// holds on a stretch from low on and nowhere after. The search starts at guess and widens
// its steps from there, so a good guess costs two tests.
template <typename Holds> int firstWhereNot(int low, int high, int guess, Holds holds)
{
    if (low >= high)
        return high;
    guess = qBound(low, guess, high - 1);
    if (holds(guess)) {
        low = guess + 1;
        for (int step = 1; low < high; step *= 2) {
            const int probe = std::min(high - 1, low + step - 1);
            if (!holds(probe)) {
                high = probe;
                break;
            }
            low = probe + 1;
        }
    } else {
        high = guess;
        for (int step = 1; low < high; step *= 2) {
            const int probe = std::max(low, high - step);
            if (holds(probe)) {
                low = probe + 1;
                break;
            }
            high = probe;
        }
    }
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (holds(middle))
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

// The last sample from `from` on, up to last, that lies in column, the column of from;
// guess is where the next column probably starts. The columns rise with the index (or
// fall, in a plot narrower than its label strip), so a column's samples are one stretch:
// the base blocks' last times lead to the block where the column ends, and its samples to
// the last one in it.
int lastInColumn(SampleSummary &samples, const TimeAxis &axis, int from, int last, int column,
                 int guess)
{
    const int size = SampleSummary::baseBlockSize;
    int low = from + 1;
    int high = last + 1;
    const int blocksEnd = std::min(samples.summarizedCount() / size, last / size + 1);
    if (from / size < blocksEnd) {
        const SampleSummary::Block *blocks = &samples.block(0, 0);
        const int number = firstWhereNot(from / size, blocksEnd, guess / size, [&](int block) {
            return axis.column(blocks[block].lastMs) == column;
        });
        low = std::max(low, number * size);
        if (number < blocksEnd)
            high = std::min(high, number * size + size - 1);
    }
    return firstWhereNot(
               low, high, guess,
               [&](int index) { return axis.column(samples.fastTimeMs(index)) == column; }) -
           1;
}

// The states of samples from..to, read from the state list.
uint8_t scanStates(const SampleSummary &samples, int from, int to)
{
    const QVector<uint16_t> *list = samples.stateList();
    if (!list || list->size() <= to) {
        uint8_t states = SampleSummary::sampleStates(samples.state(from));
        for (int index = from + 1; index <= to; ++index)
            states = SampleSummary::combinedStates(
                states, SampleSummary::sampleStates(samples.state(index)));
        return states;
    }
    const uint16_t *data = list->constData();
    uint8_t states = SampleSummary::sampleStates(data[from]);
    for (int index = from + 1; index <= to; ++index)
        states = SampleSummary::combinedStates(states, SampleSummary::sampleStates(data[index]));
    return states;
}

} // namespace

void ColumnRange::add(double minimum, int minimumIndex, double maximum, int maximumIndex)
{
    if (this->minimumIndex < 0) {
        this->minimum = minimum;
        this->minimumIndex = minimumIndex;
        this->maximum = maximum;
        this->maximumIndex = maximumIndex;
        return;
    }
    // The first of equal extremes, as in a walk over the samples.
    if (minimum < this->minimum) {
        this->minimum = minimum;
        this->minimumIndex = minimumIndex;
    }
    if (maximum > this->maximum) {
        this->maximum = maximum;
        this->maximumIndex = maximumIndex;
    }
}

void ColumnRange::scan(const QVector<double> *list, int from, int to, bool mayMiss)
{
    if (!list || list->size() <= to) {
        missing = true;
        return;
    }
    const double *data = list->constData();
    if (mayMiss) {
        for (int index = from; index <= to; ++index) {
            if (std::isnan(data[index])) {
                missing = true;
                return;
            }
        }
    }
    // Without a missing value: the extremes first, without branches, then where they
    // first occur, and only where they count.
    // Four of each, so that consecutive samples do not wait for each other.
    double lows[4] = {data[from], data[from], data[from], data[from]};
    double highs[4] = {data[from], data[from], data[from], data[from]};
    int index = from + 1;
    for (; index + 3 <= to; index += 4) {
        for (int lane = 0; lane < 4; ++lane) {
            lows[lane] = std::min(lows[lane], data[index + lane]);
            highs[lane] = std::max(highs[lane], data[index + lane]);
        }
    }
    for (; index <= to; ++index) {
        lows[0] = std::min(lows[0], data[index]);
        highs[0] = std::max(highs[0], data[index]);
    }
    const double low = std::min(std::min(lows[0], lows[1]), std::min(lows[2], lows[3]));
    const double high = std::max(std::max(highs[0], highs[1]), std::max(highs[2], highs[3]));
    if (minimumIndex < 0 || low < minimum) {
        minimumIndex = int(std::find(data + from, data + to + 1, low) - data);
        minimum = data[minimumIndex];
    }
    if (maximumIndex < 0 || high > maximum) {
        maximumIndex = int(std::find(data + from, data + to + 1, high) - data);
        maximum = data[maximumIndex];
    }
}

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
    std::array<ColumnRange, SampleSummary::maximumCurveCount> ranges;
    if (keptOf != samples.generation() || keptRanges.size() != kept.size() * size_t(curveTotal)) {
        kept.clear();
        keptRanges.clear();
        keptOf = samples.generation();
    }
    int ordinal = 0;
    qint64 previousMs = 0;
    int columnSamples = 1;
    int from = first;
    qint64 fromMs = samples.fastTimeMs(from);
    while (from <= last) {
        const int column = axis.column(fromMs);
        // Columns of one width hold about as many samples each.
        const int to = lastInColumn(samples, axis, from, last, column, from + columnSamples);
        columnSamples = to - from + 1;
        if (columnSamples >= SampleSummary::baseBlockSize)
            samples.prefetchBorder(to + columnSamples);
        // A time gap between two columns breaks every curve; one inside a column breaks
        // nothing.
        if (from > first && isTimeGap(fromMs - previousMs, medianMs)) {
            for (EnvelopeBuilder &builder : builders)
                builder.breakRun();
        }
        const uint8_t states = summarizeColumn(ordinal++, from, to, ranges.data());
        bool piecesOfColumn = false;
        for (int curve = 0; curve < curveTotal; ++curve) {
            const ColumnRange &range = ranges[size_t(curve)];
            EnvelopeBuilder &builder = builders[size_t(curve)];
            if (!range.missing) {
                builder.add(column, from, to, range.minimum, range.minimumIndex, range.maximum,
                            range.maximumIndex);
                continue;
            }
            // Missing values split the column's runs: piece by piece, down to the samples
            // around them.
            if (!piecesOfColumn)
                splitColumn(from, to);
            piecesOfColumn = true;
            for (const Piece &piece : pieces) {
                if (piece.level >= 0)
                    addBlock(samples, builder, curve, piece.level, piece.first, column);
                else
                    addSamples(samples, builder, curve, column, piece.first, piece.last);
            }
        }
        faults.add(column, states);
        previousMs = to == from ? fromMs : samples.fastTimeMs(to);
        from = to + 1;
        if (from <= last)
            fromMs = samples.fastTimeMs(from);
    }
    for (EnvelopeBuilder &builder : builders)
        builder.finish();
    faults.finish(axis.width - 1);
}

void TimePlotCache::splitColumn(int from, int to)
{
    using S = SampleSummary;
    pieces.clear();
    const int levels = samples.levelCount();
    int index = from;
    while (index <= to) {
        // The largest block that starts here and ends in the column: its size divides the
        // index and is at most the samples left.
        const int alignment = index == 0 ? 31 : int(qCountTrailingZeroBits(quint32(index)));
        const int fits = 31 - int(qCountLeadingZeroBits(quint32(to - index + 1)));
        const int bits = std::min(alignment, fits);
        int level = bits < S::baseBlockBits
                        ? -1
                        : std::min((bits - S::baseBlockBits) / S::fanOutBits, levels - 1);
        while (level >= 0 && index >> S::blockBits(level) >= samples.blockCount(level))
            --level;
        if (level >= 0) {
            pieces.push_back(Piece{level, index >> S::blockBits(level), 0});
            index += S::blockSize(level);
        } else {
            const int blockEnd = (index | (S::baseBlockSize - 1));
            pieces.push_back(Piece{-1, index, std::min(to, blockEnd)});
            index = pieces.back().last + 1;
        }
    }
}

uint8_t TimePlotCache::summarizeColumn(int ordinal, int from, int to, ColumnRange *ranges)
{
    const int curveTotal = samples.curveCount();
    for (int curve = 0; curve < curveTotal; ++curve)
        ranges[curve] = ColumnRange();
    // The whole base blocks in the middle of the column, and the samples on either side.
    const int size = SampleSummary::baseBlockSize;
    const int middleFrom = (from + size - 1) & ~(size - 1);
    const int middleTo = std::min((to + 1) & ~(size - 1), samples.summarizedCount()) - 1;
    uint8_t states = 0;
    bool stated = false;
    if (middleFrom > middleTo) {
        splitColumn(from, to);
        summarizePieces(ranges, states, stated);
        return states;
    }
    // A followed window moves each column by a sample or so: its three stretches mostly
    // keep what they hold, or lose a sample at the start and gain one at the end.
    const size_t first = size_t(ordinal) * 3;
    if (kept.size() < first + 3) {
        kept.resize(first + 3);
        keptRanges.resize(kept.size() * size_t(curveTotal));
    }
    const int parts[3][2] = {{from, middleFrom - 1}, {middleFrom, middleTo}, {middleTo + 1, to}};
    for (size_t part = 0; part < 3; ++part) {
        if (parts[part][0] > parts[part][1])
            continue;
        KeptStretch &stretch = kept[first + part];
        ColumnRange *keptRange = keptRanges.data() + (first + part) * size_t(curveTotal);
        keep(stretch, keptRange, parts[part][0], parts[part][1]);
        for (int curve = 0; curve < curveTotal; ++curve) {
            if (keptRange[curve].missing)
                ranges[curve].missing = true;
            else if (!ranges[curve].missing)
                ranges[curve].add(keptRange[curve].minimum, keptRange[curve].minimumIndex,
                                  keptRange[curve].maximum, keptRange[curve].maximumIndex);
        }
        states = stated ? SampleSummary::combinedStates(states, stretch.states) : stretch.states;
        stated = true;
    }
    return states;
}

void TimePlotCache::keep(KeptStretch &stretch, ColumnRange *ranges, int from, int to)
{
    const int curveTotal = samples.curveCount();
    if (stretch.from == from && stretch.to == to)
        return;
    // Samples dropped at the start that hold no curve's first extreme leave the others'.
    bool keepsExtremes =
        stretch.from >= 0 && stretch.from < from && from <= stretch.to && stretch.to <= to;
    for (int curve = 0; curve < curveTotal && keepsExtremes; ++curve)
        keepsExtremes = !ranges[curve].missing && ranges[curve].minimumIndex >= from &&
                        ranges[curve].maximumIndex >= from;
    if (keepsExtremes) {
        stretch.from = from;
        splitColumn(from, stretch.to);
        stretch.states = piecesStates();
    }
    if (stretch.from == from && stretch.to >= from && stretch.to < to) {
        splitColumn(stretch.to + 1, to);
        bool stated = true;
        summarizePieces(ranges, stretch.states, stated);
        stretch.to = to;
        return;
    }
    if (stretch.from == from && stretch.to == to)
        return;
    stretch.from = from;
    stretch.to = to;
    for (int curve = 0; curve < curveTotal; ++curve)
        ranges[curve] = ColumnRange();
    bool stated = false;
    splitColumn(from, to);
    summarizePieces(ranges, stretch.states, stated);
}

uint8_t TimePlotCache::piecesStates() const
{
    uint8_t states = 0;
    for (size_t number = 0; number < pieces.size(); ++number) {
        const Piece &piece = pieces[number];
        const uint8_t pieceStates = piece.level >= 0
                                        ? samples.block(piece.level, piece.first).states
                                        : samplesStates(piece.first, piece.last);
        states = number == 0 ? pieceStates : SampleSummary::combinedStates(states, pieceStates);
    }
    return states;
}

uint8_t TimePlotCache::samplesStates(int from, int to) const
{
    // The samples' base block tells what they cannot hold: a fault or a sample without one.
    const int blockNumber = from >> SampleSummary::baseBlockBits;
    if (blockNumber < samples.summarizedCount() / SampleSummary::baseBlockSize) {
        const uint8_t blockStates = samples.block(0, blockNumber).states;
        if (!(blockStates & SampleSummary::SomeFault))
            return SampleSummary::SomeClear;
        if (!(blockStates & SampleSummary::SomeClear))
            return SampleSummary::sampleStates(uint16_t(1));
    }
    return scanStates(samples, from, to);
}

void TimePlotCache::summarizePieces(ColumnRange *ranges, uint8_t &states, bool &stated) const
{
    const int curveTotal = samples.curveCount();
    for (size_t number = 0; number < pieces.size(); ++number) {
        const Piece &piece = pieces[number];
        uint8_t pieceStates = 0;
        if (piece.level >= 0) {
            const SampleSummary::Block &block = samples.block(piece.level, piece.first);
            pieceStates = block.states;
            for (int curve = 0; curve < curveTotal; ++curve) {
                if (block.missingCurves >> curve & 1) {
                    ranges[curve].missing = true;
                } else if (!ranges[curve].missing) {
                    const SampleSummary::Extremes &extremes =
                        samples.extremes(piece.level, piece.first, curve);
                    ranges[curve].add(extremes.minimum, extremes.minimumIndex, extremes.maximum,
                                      extremes.maximumIndex);
                }
            }
        } else {
            const int blockNumber = piece.first >> SampleSummary::baseBlockBits;
            const SampleSummary::Block *block =
                blockNumber < samples.summarizedCount() / SampleSummary::baseBlockSize
                    ? &samples.block(0, blockNumber)
                    : nullptr;
            pieceStates = samplesStates(piece.first, piece.last);
            // Its base block tells whether a curve misses a value there.
            for (int curve = 0; curve < curveTotal; ++curve) {
                if (!ranges[curve].missing)
                    ranges[curve].scan(samples.curveList(curve), piece.first, piece.last,
                                       !block || (block->missingCurves >> curve & 1));
            }
        }
        states = stated ? SampleSummary::combinedStates(states, pieceStates) : pieceStates;
        stated = true;
    }
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
    qint64 bytes = qint64(stretches.capacity()) * qint64(sizeof(ColumnStretch)) +
                   qint64(kept.capacity()) * qint64(sizeof(KeptStretch)) +
                   qint64(keptRanges.capacity()) * qint64(sizeof(ColumnRange)) +
                   qint64(pieces.capacity()) * qint64(sizeof(Piece));
    for (const QVector<EnvelopePoint> &points : envelopes)
        bytes += qint64(points.capacity()) * qint64(sizeof(EnvelopePoint));
    return bytes;
}
