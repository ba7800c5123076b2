#ifndef LIVESAMPLER_H
#define LIVESAMPLER_H

#include "registermap.h"

#include <QDateTime>
#include <QVector>

#include <cstdint>
#include <optional>

// Turns the replies of the live poll into samples, for the Live Data tab and the
// recorder without a window alike: only 15-word replies count, a frame number that
// did not change (the sensor has nothing new; 0 before the first) is skipped, and
// the words are decoded by the rules of the sensor's firmware. A sample is stamped
// with the local time its reply was handled.
class LiveSampler
{
public:
    std::optional<LiveSample> take(const QVector<uint16_t> &data, const QDateTime &firmwareDate);

private:
    uint32_t lastFrameNr = 0;
};

#endif
