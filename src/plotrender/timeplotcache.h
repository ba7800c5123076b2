#ifndef TIMEPLOTCACHE_H
#define TIMEPLOTCACHE_H

#include "curveenvelope.h"
#include "samplesummary.h"
#include "timegaprule.h"

#include <QDateTime>
#include <QVector>

#include <cstdint>

// A run of pixel columns from..to, both inclusive.
struct ColumnStretch {
    int from;
    int to;
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
    void walkColumns(const TimeAxis &axis);

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
};

#endif
