#ifndef SAMPLESUMMARY_H
#define SAMPLESUMMARY_H

#include <QDateTime>
#include <QVector>

#include <cstdint>
#include <vector>

// A summary of a recording in blocks of samples on a few levels, so that a window of any
// length can be reduced to pixel columns without reading every sample. A block of level 0
// holds baseBlockSize samples, a block of the level above fanOut blocks of the one below.
// Per block it keeps the first and last time, what its states are like (bit 9 masked)
// and, per curve, the smallest and the largest value with the index of their first
// occurrence and whether a value is missing.
// A column combines whole blocks that lie in it, and reads only the samples at its two
// ends, where no block fits.
//
// Only whole blocks are kept: the samples after the last whole block of level 0 are read
// from the lists. update() summarizes what was appended since, so a sample costs constant
// time, once. The lists only grow between resets; call reset() when they were emptied or
// refilled (a Clear or an import).
class SampleSummary
{
public:
    // Sizes are powers of two, so that a block's number is a shift of a sample's index.
    static const int baseBlockBits = 6;
    static const int fanOutBits = 3;
    static const int baseBlockSize = 1 << baseBlockBits;
    static const int fanOut = 1 << fanOutBits;

    // What a block's states are like; a state counts as a fault when it is not 0 with
    // bit 9 cleared.
    enum StateFlag : uint8_t {
        SomeClear = 1,
        SomeFault = 2,
        FirstFault = 4,
        LastFault = 8,
        // A fault right after a sample without one, inside the block.
        FaultAfterClear = 16,
    };

    struct Block {
        qint64 firstMs;
        qint64 lastMs;
        // Bit c: curve c has a missing value in the block.
        uint16_t missingCurves;
        uint8_t states;
    };

    // A curve's extremes in a block; minimumIndex is -1 where every value is missing.
    struct Extremes {
        double minimum;
        double maximum;
        qint32 minimumIndex;
        qint32 maximumIndex;
    };

    static const int maximumCurveCount = 16;

    void setSources(const QVector<QDateTime> *timestamps, const QVector<QVector<double> *> &curves,
                    const QVector<uint16_t> *systemStates);
    void reset();
    void update();

    int sampleCount() const { return timestamps ? timestamps->size() : 0; }
    // Counts the resets: what was read of the blocks before one is of another recording.
    quint64 generation() const { return resets; }
    int curveCount() const { return curves.size(); }
    // The samples in whole blocks, the rest is read from the lists.
    int summarizedCount() const { return blocks.empty() ? 0 : blockCount(0) * baseBlockSize; }
    int levelCount() const { return int(blocks.size()); }
    static int blockBits(int level) { return baseBlockBits + fanOutBits * level; }
    static int blockSize(int level) { return 1 << blockBits(level); }
    int blockCount(int level) const { return int(blocks[size_t(level)].size()); }
    const Block &block(int level, int index) const { return blocks[size_t(level)][size_t(index)]; }
    const Extremes &extremes(int level, int index, int curve) const
    {
        return curveExtremes[size_t(level)][size_t(index) * size_t(curves.size()) + size_t(curve)];
    }

    // A sample read from the lists: NaN where a curve's list is short, state 0 where the
    // state list is.
    qint64 timeMs(int index) const { return timestamps->at(index).toMSecsSinceEpoch(); }
    double value(int curve, int index) const
    {
        const QVector<double> *list = curves[curve];
        return list && index < list->size() ? list->at(index) : qQNaN();
    }
    uint16_t state(int index) const;
    // The lists themselves, for loops over many samples; a curve's list or the state list
    // may be short or missing (read as NaN and 0, as above).
    const QVector<double> *curveList(int curve) const { return curves[curve]; }
    const QVector<uint16_t> *stateList() const { return systemStates; }
    // The same as timeMs(), read from the sample's own date and time with the offset to
    // UTC of its base block where that is the same all through the block: converting a
    // local time takes the time zone's rules and is slow.
    qint64 fastTimeMs(int index);
    // Asks the processor to load what a column border in the base block of index reads:
    // its samples' times and values. A long window reads a little of a large recording at
    // each border, each part far from the one before, and would wait for each.
    void prefetchBorder(int index) const;
    static uint8_t sampleStates(uint16_t state);
    // The states of two stretches, later right after earlier.
    static uint8_t combinedStates(uint8_t earlier, uint8_t later);

    // Memory of the blocks: in use, and reserved by their lists.
    qint64 usedBytes() const;
    qint64 allocatedBytes() const;

private:
    void appendBaseBlock(int first);
    void appendUpperBlock(int level);

    qint64 wallClockMs(int index) const
    {
        const QDateTime &time = timestamps->at(index);
        return time.date().toJulianDay() * 86400000 + time.time().msecsSinceStartOfDay();
    }

    const QVector<QDateTime> *timestamps = nullptr;
    QVector<const QVector<double> *> curves;
    const QVector<uint16_t> *systemStates = nullptr;
    quint64 resets = 1;
    // The first time summarized, to tell a refilled recording from a grown one.
    qint64 firstMs = 0;
    std::vector<std::vector<Block>> blocks;
    std::vector<std::vector<Extremes>> curveExtremes;
    // The base block whose offset fastTimeMs() found last.
    int offsetBlock = -1;
    bool offsetKnown = false;
    qint64 offsetMs = 0;
};

#endif
