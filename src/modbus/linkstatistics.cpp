#include "linkstatistics.h"

#include <algorithm>
#include <cmath>

LinkStatistics::LinkStatistics(int window) : window(qMax(1, window))
{
    reset();
}

void LinkStatistics::reset()
{
    next = 0;
    sent = 0;
    accepted = 0;
    std::fill(std::begin(errorCounts), std::end(errorCounts), 0);
    exceptionCounts.clear();
    firstByte.clear();
    reply.clear();
    firstByte.reserve(window);
    reply.reserve(window);
}

void LinkStatistics::replyAccepted(double firstByteMs, double replyMs)
{
    ++accepted;
    if (firstByte.size() < window) {
        firstByte.append(firstByteMs);
        reply.append(replyMs);
        return;
    }
    // Full: the oldest exchange makes room.
    firstByte[next] = firstByteMs;
    reply[next] = replyMs;
    next = (next + 1) % window;
}

void LinkStatistics::error(Error kind)
{
    ++errorCounts[kind];
}

void LinkStatistics::exception(uint8_t code)
{
    ++exceptionCounts[code];
}

LinkStatistics::Spread LinkStatistics::spread(const QVector<double> &times) const
{
    Spread result;
    result.count = times.size();
    if (times.isEmpty())
        return result;
    QVector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    // Nearest rank: the smallest time that at least p of all times do not exceed.
    const auto rank = [&](double p) {
        const int index = int(std::ceil(p * sorted.size())) - 1;
        return sorted[qBound(0, index, sorted.size() - 1)];
    };
    result.min = sorted.first();
    result.median = rank(0.5);
    result.p99 = rank(0.99);
    result.max = sorted.last();
    return result;
}

QStringList LinkStatistics::summary() const
{
    const auto times = [](const char *name, const Spread &spread) {
        if (spread.count == 0)
            return QString("%1: none yet").arg(name);
        return QString("%1 (last %2): min %3 ms, median %4 ms, 99% %5 ms, max %6 ms")
            .arg(name)
            .arg(spread.count)
            .arg(spread.min, 0, 'f', 1)
            .arg(spread.median, 0, 'f', 1)
            .arg(spread.p99, 0, 'f', 1)
            .arg(spread.max, 0, 'f', 1);
    };
    QString exceptionText;
    // Only a Modbus TCP link has headers to spoil.
    if (errorCounts[MbapHeader] > 0)
        exceptionText += QString(", MBAP header %1").arg(errorCounts[MbapHeader]);
    for (auto code = exceptionCounts.cbegin(); code != exceptionCounts.cend(); ++code)
        exceptionText += QString(", exception %1: %2").arg(code.key()).arg(code.value());
    return {
        QString("Requests sent: %1, replies accepted: %2").arg(sent).arg(accepted),
        QString("Errors: time-out %1, CRC %2, wrong address %3, too short %4, connection lost "
                "%5%6")
            .arg(errorCounts[Timeout])
            .arg(errorCounts[Crc])
            .arg(errorCounts[WrongAddress])
            .arg(errorCounts[TooShort])
            .arg(errorCounts[ConnectionLost])
            .arg(exceptionText),
        times("Time to first byte", firstByteTimes()),
        times("Time to reply", replyTimes()),
    };
}
