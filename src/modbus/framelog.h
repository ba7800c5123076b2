#ifndef FRAMELOG_H
#define FRAMELOG_H

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>

// The latest frames on the link, for the bus monitor. The link only stores bytes and
// a time here; the meaning of a frame is worked out by describe() when a view asks,
// so a monitor nobody has open costs a copy of each frame into a bounded ring.
class FrameLog
{
public:
    enum Direction { Sent, Received, Event };

    struct Entry {
        uint64_t sequence = 0; // counts every entry ever added, 1 first
        qint64 msecsSinceEpoch = 0;
        Direction direction = Event;
        QByteArray bytes;            // the frame as it went over the line
        QString event;               // for Event entries: "time-out", "connection lost", ...
        uint8_t expectedAddress = 0; // for Received frames: the address asked
        bool mbap = false;           // a Modbus TCP frame, MBAP header first
        uint16_t transaction = 0;    // of an MBAP frame: the one sent, or the one expected
    };

    explicit FrameLog(int capacity = 2000);

    void addFrame(Direction direction, const QByteArray &bytes, uint8_t expectedAddress,
                  qint64 msecsSinceEpoch);
    void addMbapFrame(Direction direction, const QByteArray &bytes, uint8_t expectedAddress,
                      uint16_t transaction, qint64 msecsSinceEpoch);
    void addEvent(const QString &event, qint64 msecsSinceEpoch);
    void clear();

    // The entries still held whose sequence is above after, oldest first.
    QVector<Entry> entriesAfter(uint64_t after) const;
    uint64_t lastSequence() const { return sequence; }

    // What a frame means: "read 16..30", "reply, 15 words", "write 32 ← 0x6B3E", "CRC error";
    // an MBAP frame's begins with its header: "transaction 7, unit 1: read 16..30".
    static QString describe(const Entry &entry);
    // One line of a saved monitor: time, direction, hex, meaning, separated by tabs.
    static QString formatLine(const Entry &entry);
    static QString timeText(const Entry &entry);
    static QString directionText(const Entry &entry);
    static QString hexText(const QByteArray &bytes);

private:
    void add(Entry entry);

    int capacity;
    int first = 0; // index of the oldest entry once the ring is full
    uint64_t sequence = 0;
    QVector<Entry> ring;
};

#endif
