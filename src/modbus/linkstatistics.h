#ifndef LINKSTATISTICS_H
#define LINKSTATISTICS_H

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

// The health of the link since Connect (or the last reset): what was sent, what was
// accepted, the errors by kind, and how long exchanges took. The times are kept for
// a bounded window of the latest exchanges, so a link that runs for weeks costs the
// same memory as one that runs for a minute.
class LinkStatistics
{
public:
    enum Error { Timeout, Crc, WrongAddress, TooShort, ConnectionLost, MbapHeader };

    // min, median, 99th percentile and max of a window of times in milliseconds;
    // count 0 when there are none.
    struct Spread {
        int count = 0;
        double min = 0;
        double median = 0;
        double p99 = 0;
        double max = 0;
    };

    explicit LinkStatistics(int window = 10000);

    void reset();
    void requestSent() { ++sent; }
    // A reply that passed every check; the times run from the end of the request.
    void replyAccepted(double firstByteMs, double replyMs);
    void error(Error kind);
    void exception(uint8_t code);

    uint64_t requests() const { return sent; }
    uint64_t replies() const { return accepted; }
    uint64_t errors(Error kind) const { return errorCounts[kind]; }
    // Exception replies by exception code.
    const QMap<uint8_t, uint64_t> &exceptions() const { return exceptionCounts; }
    Spread firstByteTimes() const { return spread(firstByte); }
    Spread replyTimes() const { return spread(reply); }

    // The figures as lines of text, for the recorder's summary and the Link panel.
    QStringList summary() const;

private:
    Spread spread(const QVector<double> &times) const;
    void store(QVector<double> &times, double value);

    int window;
    int next = 0; // where the next time goes once a window is full
    uint64_t sent = 0;
    uint64_t accepted = 0;
    uint64_t errorCounts[MbapHeader + 1] = {};
    QMap<uint8_t, uint64_t> exceptionCounts;
    QVector<double> firstByte;
    QVector<double> reply;
};

#endif
