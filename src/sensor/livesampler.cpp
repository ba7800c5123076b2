#include "livesampler.h"

#include "wordconversion.h"

std::optional<LiveSample> LiveSampler::take(const QVector<uint16_t> &data,
                                            const QDateTime &firmwareDate)
{
    if (data.size() != ReplyLength::Live)
        return std::nullopt;
    const QDateTime now = QDateTime::currentDateTime();
    const uint32_t frameNr = wordsToUint32(data);
    if (frameNr == lastFrameNr)
        return std::nullopt;
    lastFrameNr = frameNr;
    LiveSample sample = decodeLiveBlock(data, firmwareDate);
    sample.timestamp = now;
    return sample;
}
