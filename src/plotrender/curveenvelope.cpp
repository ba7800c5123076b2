#include "curveenvelope.h"

#include <algorithm>
#include <cmath>
#include <limits>

int TimeAxis::column(qint64 msecsSinceEpoch) const
{
    if (leftMs == rightMs)
        return 0;
    const double x = plotLeft + (width - plotLeft) * (double(msecsSinceEpoch) - leftMs) /
                                    (double(rightMs) - leftMs);
    // Far-off samples stay in the range of int instead of overflowing.
    const double limit = 1e9;
    return int(std::max(-limit, std::min(limit, x)));
}

bool TimeAxis::operator==(const TimeAxis &other) const
{
    return leftMs == other.leftMs && rightMs == other.rightMs && plotLeft == other.plotLeft &&
           width == other.width;
}

namespace
{

// The values of one run seen so far in the current column.
struct ColumnRun {
    int column = 0;
    int count = 0;
    int firstIndex = 0;
    int minimumIndex = 0;
    int maximumIndex = 0;
    int lastIndex = 0;
};

void appendColumnRun(const ColumnRun &run, const double *values, QVector<EnvelopePoint> &envelope)
{
    // Long windows show about one sample per column.
    if (run.count == 1) {
        envelope.append(EnvelopePoint{run.column, values[run.firstIndex]});
        return;
    }
    int indices[4] = {run.firstIndex, run.minimumIndex, run.maximumIndex, run.lastIndex};
    std::sort(indices, indices + 4);
    const int *end = std::unique(indices, indices + 4);
    for (const int *index = indices; index != end; ++index)
        envelope.append(EnvelopePoint{run.column, values[*index]});
}

} // namespace

void appendCurveEnvelope(const TimeAxis &axis, const qint64 *times, const double *values, int count,
                         QVector<EnvelopePoint> &envelope)
{
    ColumnRun run;
    bool brokenSinceLastRun = false;
    bool anyRun = false;
    for (int i = 0; i < count; ++i) {
        const double value = values[i];
        if (std::isnan(value)) {
            if (run.count > 0) {
                appendColumnRun(run, values, envelope);
                run.count = 0;
            }
            brokenSinceLastRun = anyRun;
            continue;
        }
        const int column = axis.column(times[i]);
        if (run.count > 0 && column != run.column) {
            appendColumnRun(run, values, envelope);
            run.count = 0;
        }
        if (run.count == 0) {
            if (brokenSinceLastRun) {
                envelope.append(EnvelopePoint{column, std::numeric_limits<double>::quiet_NaN()});
                brokenSinceLastRun = false;
            }
            run = ColumnRun{column, 0, i, i, i, i};
            anyRun = true;
        }
        ++run.count;
        run.lastIndex = i;
        if (value < values[run.minimumIndex])
            run.minimumIndex = i;
        if (value > values[run.maximumIndex])
            run.maximumIndex = i;
    }
    if (run.count > 0)
        appendColumnRun(run, values, envelope);
}
