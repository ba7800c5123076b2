#ifndef TIMEPLOTCACHE_H
#define TIMEPLOTCACHE_H

#include "curveenvelope.h"

#include <QDateTime>
#include <QVector>

#include <cstdint>

// The samples a paint of the time plot visits, kept between paints. A window over n
// samples visits every step-th of them, step = n / 2000 (at least 1), so a curve has
// 2000 to 4000 points however long the recording. The visited indices are the first
// and the last sample of the window and, between them, the multiples of step: moving
// the window keeps every visited sample it still covers, and a followed window that
// moves by one sample reads one new sample instead of all of them again. The store's
// lists are read only here; a window's curves are reduced to their envelope once and
// kept until the window, the plot's width or the visited samples change.
//
// The lists only grow between resets. Call reset() when they were emptied or refilled
// (a Clear or an import): their sizes alone cannot tell that.
class TimePlotCache
{
public:
    void setSources(const QVector<QDateTime> *timestamps, const QVector<QVector<double> *> &curves,
                    const QVector<uint16_t> *systemStates);
    void reset();

    // Brings the visited samples up to the window; nothing is visited without samples.
    void update(qint64 leftMs, qint64 rightMs);

    // The visited samples in time order, as of the last update().
    int visitedCount() const { return visitedIndices.size(); }
    const QVector<int> &indices() const { return visitedIndices; }
    const QVector<qint64> &times() const { return visitedTimes; }
    // 0 where no state list is bound or it is short.
    const QVector<uint16_t> &states() const { return visitedStates; }
    // NaN where a curve has no list or its list is short.
    const QVector<double> &values(int curve) const { return visitedValues[curve]; }
    int step() const { return currentStep; }

    // The reduced curve over axis, computed on first use after a change.
    const QVector<EnvelopePoint> &envelope(int curve, const TimeAxis &axis);

    // Memory held, in bytes.
    qint64 byteSize() const;

    // The number of samples read from the store since construction, for tests that
    // show what an update costs.
    qint64 readCount() const { return samplesRead; }

private:
    // Reads sample index and appends it to the columns, or inserts it at position.
    void read(int index, int position, QVector<int> &indices, QVector<qint64> &times,
              QVector<uint16_t> &states, QVector<QVector<double>> &values);
    void readInterior(int from, int to, int position);
    void removeInterior(int position, int count);
    void clearInterior();
    bool interiorStillValid() const;

    const QVector<QDateTime> *timestamps = nullptr;
    QVector<const QVector<double> *> curves;
    const QVector<uint16_t> *systemStates = nullptr;

    // The multiples of the step strictly inside the last window, in index order.
    int currentStep = 0;
    QVector<int> interiorIndices;
    QVector<qint64> interiorTimes;
    QVector<uint16_t> interiorStates;
    QVector<QVector<double>> interiorValues;

    // The visited samples: the window's first sample, the interior, its last sample.
    QVector<int> visitedIndices;
    QVector<qint64> visitedTimes;
    QVector<uint16_t> visitedStates;
    QVector<QVector<double>> visitedValues;
    quint64 visitedRevision = 0;

    struct Envelope {
        QVector<EnvelopePoint> points;
        TimeAxis axis;
        quint64 revision = 0;
    };
    QVector<Envelope> envelopes;
    qint64 samplesRead = 0;
};

#endif
