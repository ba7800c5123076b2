#ifndef TIMEPLOTCACHE_H
#define TIMEPLOTCACHE_H

#include "curveenvelope.h"
#include "samplesummary.h"
#include "timegaprule.h"

#include <QDateTime>
#include <QVector>

#include <array>
#include <cstdint>
#include <vector>

// A run of pixel columns from..to, both inclusive.
struct ColumnStretch {
    int from;
    int to;
};

// A curve's smallest and largest value over the samples of a column, the first of equal
// ones, while no value is missing; minimumIndex is -1 before the first value.
struct ColumnRange {
    double minimum = 0;
    double maximum = 0;
    int minimumIndex = -1;
    int maximumIndex = -1;
    bool missing = false;

    void add(double minimum, int minimumIndex, double maximum, int maximumIndex);
    // Samples from..to of list; a NaN value, or a list too short, sets missing. Without
    // mayMiss the samples are known to hold no NaN.
    void scan(const QVector<double> *list, int from, int to, bool mayMiss);
};

// What a paint of the time plot reads of a window, over every sample in it: the curves'
// envelopes, the fault stretches, the display ranges and the hovered sample. The window's
// samples are first..last: the first one not before its left end and the first one after
// its right end, both clamped to the recording. The recording's block summary
// (samplesummary.h) lets a column take whole blocks and read samples only where no block
// fits, so a paint costs about the same at any window. The envelopes and stretches of a
// window are kept until the window, the plot's width or the recording change.
//
// The lists only grow between resets. Call reset() when they were emptied or refilled
// (a Clear or an import): their sizes alone cannot tell that.
class TimePlotCache
{
public:
    void setSources(const QVector<QDateTime> *timestamps, const QVector<QVector<double> *> &curves,
                    const QVector<uint16_t> *systemStates);
    void reset();

    // Summarizes appended samples and finds the window's samples.
    void update(qint64 leftMs, qint64 rightMs);

    // The window's samples as of the last update(); -1 without samples.
    int firstIndex() const { return first; }
    int lastIndex() const { return last; }

    // The reduced curve over axis; a missing value or a time gap between two columns
    // (timegaprule.h) breaks it.
    const QVector<EnvelopePoint> &envelope(int curve, const TimeAxis &axis);
    // The fault stretches over axis: a stretch opens at a sample whose state (bit 9
    // cleared) is not 0 and closes before the next one whose state is 0, but is at least
    // one column wide; one still open at the end runs to the last column of axis.
    const QVector<ColumnStretch> &faultStretches(const TimeAxis &axis);
    // The smallest and largest value of the window's samples; +inf and -inf when every
    // one is missing.
    void valueRange(int curve, double &low, double &high) const;
    // The last sample whose column is at most x; -1 when there is none or x lies in a
    // time gap after it.
    int hoveredIndex(const TimeAxis &axis, int x) const;

    const SampleSummary &summary() const { return samples; }
    qint64 medianIntervalMs() const { return gapRule.medianIntervalMs(); }

    // Memory held besides the summary, in bytes.
    qint64 byteSize() const;

private:
    // A stretch of one column's samples: block number `first` of level (level >= 0), or the
    // samples first..last, which fill no block (level -1).
    struct Piece {
        int level;
        int first;
        int last;
    };

    // Walks the window column by column: a column's samples are split into the largest
    // blocks that lie in it and the samples at its two ends; each curve without a missing
    // value there adds one piece to its envelope, the others theirs piece by piece.
    void walkColumns(const TimeAxis &axis);
    // Splits samples from..to into pieces.
    void splitColumn(int from, int to);
    // Per curve the range over the samples from..to of the ordinal-th column of the walk;
    // returns their states.
    uint8_t summarizeColumn(int ordinal, int from, int to, ColumnRange *ranges);
    // Adds the pieces to ranges and their states to states (the first when not stated).
    void summarizePieces(ColumnRange *ranges, uint8_t &states, bool &stated) const;
    // The states of the pieces, and of samples from..to in one base block.
    uint8_t piecesStates() const;
    uint8_t samplesStates(int from, int to) const;

    SampleSummary samples;
    TimeGapRule gapRule;
    const QVector<QDateTime> *timestamps = nullptr;
    int first = -1;
    int last = -1;
    // Counts changes of the window or the recording; the walk's results are of walked.
    quint64 revision = 1;
    quint64 walked = 0;
    TimeAxis walkedAxis;
    QVector<QVector<EnvelopePoint>> envelopes;
    QVector<ColumnStretch> stretches;
    // Scratch list of walkColumns(), kept so that it keeps its storage.
    std::vector<Piece> pieces;
    // What samples from..to hold, kept from one walk to the next: their states and, per
    // curve, their range.
    struct KeptStretch {
        int from = -1;
        int to = -1;
        uint8_t states = 0;
    };
    // Brings stretch and its ranges to samples from..to, reading only what changed where
    // it can.
    void keep(KeptStretch &stretch, ColumnRange *ranges, int from, int to);
    // Per column of the last walk, in walk order, three stretches: the samples before its
    // whole base blocks, those blocks, and the samples after them; the ranges of each,
    // curve by curve. Of the summary as of generation keptOf.
    std::vector<KeptStretch> kept;
    std::vector<ColumnRange> keptRanges;
    quint64 keptOf = 0;
};

#endif
