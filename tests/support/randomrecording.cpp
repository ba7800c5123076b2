#include "randomrecording.h"

#include <algorithm>
#include <cmath>
#include <limits>

void RandomRecording::clear()
{
    timestamps.clear();
    for (QVector<double> &curve : values)
        curve.clear();
    states.clear();
}

void RandomRecording::append(QRandomGenerator &random, int count)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    while (count > 0) {
        // A stretch of one kind, then the next.
        const int length = std::min(count, 1 + int(random.bounded(random.bounded(4) ? 300 : 5000)));
        const int kind = int(random.bounded(8));
        const int curve = int(random.bounded(curveCount));
        const double level = random.bounded(100.0);
        uint16_t state = random.bounded(6) == 0 ? 0x0004 : 0x0200;
        if (kind == 0)
            nextMs += 6000 + random.bounded(3600000); // a pause: a time gap
        for (int i = 0; i < length; ++i) {
            nextMs += random.bounded(20) == 0 ? 0 : 400 + random.bounded(200);
            timestamps.append(QDateTime::fromMSecsSinceEpoch(nextMs));
            for (int c = 0; c < curveCount; ++c) {
                double value = std::sin(timestamps.size() / (30.0 + 20 * c)) * 10 + level;
                if (kind == 1 || c != curve)
                    value += random.bounded(1.0); // noise
                if (kind == 2 && c == curve)
                    value = level; // constant
                if (random.bounded(500) == 0)
                    value += random.bounded(2) ? 1000 : -1000; // a spike
                if (c == 2)
                    value = std::round(value); // a coarse resolution: equal extremes
                if ((kind == 3 && c == curve) || random.bounded(3000) == 0)
                    value = nan; // missing
                values[c].append(value);
            }
            const bool singleFault = random.bounded(kind == 4 ? 4 : 400) == 0;
            states.append(singleFault ? uint16_t(0x0201) : state);
        }
        count -= length;
    }
}
