#ifndef CURVEENVELOPE_H
#define CURVEENVELOPE_H

#include <QVector>

#include <QtGlobal>

// The time axis of a plot: the window left..right (milliseconds since the epoch) spread
// over the pixel columns plotLeft..width. column() is the plot's own mapping of a time
// to a column (truncated toward zero), so that whatever is reduced per column lands
// exactly where the plot would have drawn it.
struct TimeAxis {
    qint64 leftMs = 0;
    qint64 rightMs = 0;
    int plotLeft = 0;
    int width = 0;

    int column(qint64 msecsSinceEpoch) const;
    bool operator==(const TimeAxis &other) const;
    bool operator!=(const TimeAxis &other) const { return !(*this == other); }
};

// One point of a reduced curve: its pixel column and value. A NaN value marks a break:
// the points before and after it are not joined.
struct EnvelopePoint {
    int column;
    double value;
};

// Reduces a curve (times ascending, values with NaN for missing) to what its pixel
// columns can show: per column and unbroken run the first, the smallest, the largest
// and the last value, in the order they were taken (M4 aggregation). A polyline
// through the result covers the same pixels as one through every point, since inside
// a column the curve only runs up and down between those values. Runs are separated by
// one break; there are no breaks at either end.
void appendCurveEnvelope(const TimeAxis &axis, const qint64 *times, const double *values, int count,
                         QVector<EnvelopePoint> &envelope);

#endif
