#include "timegaprule.h"

#include <algorithm>
#include <vector>

bool isTimeGap(qint64 intervalMs, qint64 medianIntervalMs)
{
    // In double: ten medians of a long pause must not overflow.
    return intervalMs > timeGapMinimumMs &&
           double(intervalMs) > double(timeGapFactor) * double(medianIntervalMs);
}

qint64 medianSampleInterval(const QVector<QDateTime> &timestamps)
{
    const int intervalCount = timestamps.size() - 1;
    if (intervalCount < 1)
        return 0;
    const int taken = std::min(intervalCount, medianIntervalLimit);
    std::vector<qint64> intervals;
    intervals.reserve(size_t(taken));
    for (int k = 0; k < taken; ++k) {
        const int i = int(qint64(k) * intervalCount / taken);
        intervals.push_back(timestamps.at(i).msecsTo(timestamps.at(i + 1)));
    }
    const auto middle = intervals.begin() + taken / 2;
    std::nth_element(intervals.begin(), middle, intervals.end());
    if (taken % 2 == 1)
        return *middle;
    const qint64 upper = *middle;
    const qint64 lower = *std::max_element(intervals.begin(), middle);
    return lower + (upper - lower) / 2;
}

void TimeGapRule::update(const QVector<QDateTime> *timestamps)
{
    const int size = timestamps ? timestamps->size() : 0;
    const QDateTime first = size > 0 ? timestamps->first() : QDateTime();
    const bool sameRecording =
        timestamps == recording && size >= measuredSize && first == measuredFirst;
    const bool grownEnough = size > measuredSize && (size <= medianIntervalLimit + 1 ||
                                                     size - measuredSize >= measuredSize / 16);
    if (sameRecording && !grownEnough)
        return;
    recording = timestamps;
    measuredSize = size;
    measuredFirst = first;
    medianMs = timestamps ? medianSampleInterval(*timestamps) : 0;
}
