#ifndef TIMEGAPRULE_H
#define TIMEGAPRULE_H

#include <QDateTime>
#include <QVector>

// Where the time plot breaks a curve although no value is missing: between two drawn
// consecutive samples more than ten times the recording's median sample interval and more
// than 5 s apart, whatever the window. A line across such a stretch would show values
// nobody measured (a pause in the recording, or an imported file followed by live
// samples), and hovering there shows none.
const qint64 timeGapMinimumMs = 5000;
const int timeGapFactor = 10;

bool isTimeGap(qint64 intervalMs, qint64 medianIntervalMs);

// The median time between consecutive samples in ms, 0 for fewer than two samples. Of a
// recording with more than medianIntervalLimit intervals, that many evenly spread
// intervals are taken: the rule needs the typical interval, not the exact median, and a
// paint must not cost more with the length of the recording.
const int medianIntervalLimit = 1023;
qint64 medianSampleInterval(const QVector<QDateTime> &timestamps);

// The rule for one recording, its median kept between paints. The median is taken
// again when the recording was replaced or emptied, and as it grows: at every sample
// while it is short, after every sixteenth part of its length once it is long.
class TimeGapRule
{
public:
    void update(const QVector<QDateTime> *timestamps);
    bool isGap(qint64 fromMs, qint64 toMs) const { return isTimeGap(toMs - fromMs, medianMs); }
    qint64 medianIntervalMs() const { return medianMs; }

private:
    const QVector<QDateTime> *recording = nullptr;
    int measuredSize = -1;
    QDateTime measuredFirst;
    qint64 medianMs = 0;
};

#endif
