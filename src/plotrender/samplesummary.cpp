#include "samplesummary.h"

#include <cmath>

namespace
{

const uint16_t noFaultBit = 0x0200;

// later follows earlier directly in the recording.
void combine(SampleSummary::Block &earlier, const SampleSummary::Block &later)
{
    earlier.states = SampleSummary::combinedStates(earlier.states, later.states);
    earlier.lastMs = later.lastMs;
    earlier.missingCurves |= later.missingCurves;
}

// The first occurrence of each extreme wins, as in a walk over the samples.
void combine(SampleSummary::Extremes &earlier, const SampleSummary::Extremes &later)
{
    if (later.minimumIndex < 0)
        return;
    if (earlier.minimumIndex < 0) {
        earlier = later;
        return;
    }
    if (later.minimum < earlier.minimum) {
        earlier.minimum = later.minimum;
        earlier.minimumIndex = later.minimumIndex;
    }
    if (later.maximum > earlier.maximum) {
        earlier.maximum = later.maximum;
        earlier.maximumIndex = later.maximumIndex;
    }
}

// A hint, where the compiler has one; the bytes are read soon.
void prefetch(const void *begin, size_t bytes)
{
#if defined(__GNUC__)
    const char *first = static_cast<const char *>(begin);
    for (size_t offset = 0; offset < bytes + 64; offset += 64)
        __builtin_prefetch(first + offset);
#else
    Q_UNUSED(begin);
    Q_UNUSED(bytes);
#endif
}

} // namespace

void SampleSummary::setSources(const QVector<QDateTime> *timestamps,
                               const QVector<QVector<double> *> &curves,
                               const QVector<uint16_t> *systemStates)
{
    Q_ASSERT(curves.size() <= maximumCurveCount);
    this->timestamps = timestamps;
    this->curves.clear();
    for (const QVector<double> *curve : curves)
        this->curves.append(curve);
    this->systemStates = systemStates;
    reset();
}

void SampleSummary::reset()
{
    ++resets;
    offsetBlock = -1;
    blocks.clear();
    curveExtremes.clear();
    firstMs = 0;
}

uint16_t SampleSummary::state(int index) const
{
    return systemStates && index < systemStates->size() ? systemStates->at(index) : uint16_t(0);
}

uint8_t SampleSummary::combinedStates(uint8_t earlier, uint8_t later)
{
    const bool faultAfterClear = (earlier & FaultAfterClear) || (later & FaultAfterClear) ||
                                 (!(earlier & LastFault) && (later & FirstFault));
    return uint8_t((earlier & (SomeClear | SomeFault | FirstFault)) |
                   (later & (SomeClear | SomeFault | LastFault)) |
                   (faultAfterClear ? FaultAfterClear : 0));
}

uint8_t SampleSummary::sampleStates(uint16_t state)
{
    return (state & ~noFaultBit) != 0 ? uint8_t(SomeFault | FirstFault | LastFault)
                                      : uint8_t(SomeClear);
}

void SampleSummary::update()
{
    const int count = sampleCount();
    const int summarized = summarizedCount();
    if (count < summarized || (summarized > 0 && timeMs(0) != firstMs))
        reset();
    if (blocks.empty()) {
        if (count < baseBlockSize)
            return;
        firstMs = timeMs(0);
        blocks.resize(1);
        curveExtremes.resize(1);
    }
    for (int first = blockCount(0) * baseBlockSize; first + baseBlockSize <= count;
         first += baseBlockSize)
        appendBaseBlock(first);
}

void SampleSummary::appendBaseBlock(int first)
{
    const int curveTotal = curves.size();
    // Converting a local time is slow: only the block's ends are converted.
    Block block{timeMs(first), timeMs(first + baseBlockSize - 1), 0, sampleStates(state(first))};
    std::vector<Extremes> &extremes = curveExtremes[0];
    const size_t extremesAt = extremes.size();
    for (int curve = 0; curve < curveTotal; ++curve)
        extremes.push_back(Extremes{0, 0, -1, -1});
    for (int index = first; index < first + baseBlockSize; ++index) {
        if (index > first)
            block.states = combinedStates(block.states, sampleStates(state(index)));
        for (int curve = 0; curve < curveTotal; ++curve) {
            const double value = this->value(curve, index);
            if (std::isnan(value))
                block.missingCurves |= uint16_t(1u << curve);
            else
                combine(extremes[extremesAt + size_t(curve)], Extremes{value, value, index, index});
        }
    }
    blocks[0].push_back(block);
    if (blockCount(0) % fanOut == 0)
        appendUpperBlock(1);
}

void SampleSummary::appendUpperBlock(int level)
{
    if (levelCount() == level) {
        blocks.emplace_back();
        curveExtremes.emplace_back();
    }
    const int curveTotal = curves.size();
    const std::vector<Block> &below = blocks[size_t(level - 1)];
    const std::vector<Extremes> &belowExtremes = curveExtremes[size_t(level - 1)];
    const size_t firstBelow = below.size() - fanOut;
    Block block = below[firstBelow];
    std::vector<Extremes> &extremes = curveExtremes[size_t(level)];
    const size_t extremesAt = extremes.size();
    for (int curve = 0; curve < curveTotal; ++curve)
        extremes.push_back(belowExtremes[firstBelow * size_t(curveTotal) + size_t(curve)]);
    for (size_t index = firstBelow + 1; index < below.size(); ++index) {
        combine(block, below[index]);
        for (int curve = 0; curve < curveTotal; ++curve)
            combine(extremes[extremesAt + size_t(curve)],
                    belowExtremes[index * size_t(curveTotal) + size_t(curve)]);
    }
    blocks[size_t(level)].push_back(block);
    if (blockCount(level) % fanOut == 0)
        appendUpperBlock(level + 1);
}

qint64 SampleSummary::fastTimeMs(int index)
{
    const int number = index / baseBlockSize;
    if (number != offsetBlock) {
        offsetBlock = number;
        offsetKnown = false;
        if (number < summarizedCount() / baseBlockSize) {
            // Within a day no clock change comes and goes: the same offset at both ends is
            // the offset of every sample between them.
            const Block &block = blocks[0][size_t(number)];
            const int first = number * baseBlockSize;
            offsetMs = wallClockMs(first) - block.firstMs;
            offsetKnown = block.lastMs - block.firstMs < 86400000 &&
                          wallClockMs(first + baseBlockSize - 1) - block.lastMs == offsetMs;
        }
    }
    return offsetKnown ? wallClockMs(index) - offsetMs : timeMs(index);
}

qint64 SampleSummary::usedBytes() const
{
    qint64 bytes = 0;
    for (size_t level = 0; level < blocks.size(); ++level)
        bytes += qint64(blocks[level].size() * sizeof(Block) +
                        curveExtremes[level].size() * sizeof(Extremes));
    return bytes;
}

qint64 SampleSummary::allocatedBytes() const
{
    qint64 bytes = 0;
    for (size_t level = 0; level < blocks.size(); ++level)
        bytes += qint64(blocks[level].capacity() * sizeof(Block) +
                        curveExtremes[level].capacity() * sizeof(Extremes));
    return bytes;
}

void SampleSummary::prefetchBorder(int index) const
{
    const int number = index >> baseBlockBits;
    if (index < 0 || blocks.empty() || number >= blockCount(0))
        return;
    const int first = number << baseBlockBits;
    prefetch(timestamps->constData() + first, baseBlockSize * sizeof(QDateTime));
    for (const QVector<double> *curve : curves) {
        if (curve && curve->size() >= first + baseBlockSize)
            prefetch(curve->constData() + first, baseBlockSize * sizeof(double));
    }
}
