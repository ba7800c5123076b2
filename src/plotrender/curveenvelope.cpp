#include "curveenvelope.h"

#include "envelopebuilder.h"

#include <algorithm>
#include <cmath>

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

void appendCurveEnvelope(const TimeAxis &axis, const qint64 *times, const double *values, int count,
                         QVector<EnvelopePoint> &envelope)
{
    EnvelopeBuilder builder(envelope, [values](int index) { return values[index]; });
    for (int i = 0; i < count; ++i) {
        if (std::isnan(values[i]))
            builder.breakRun();
        else
            builder.addSample(axis.column(times[i]), i, values[i]);
    }
    builder.finish();
}
