#include "segmentset.h"

#include <utility>

namespace
{

const quint64 emptySlot = 0;
const int initialSlots = 1 << 12;

bool fitsSixteenBits(int value)
{
    return value >= -32767 && value <= 32767;
}

// A pixel as 32 bits, never 0 for the key as a whole since x + 32768 > 0.
quint64 pack(const QPoint &pixel)
{
    return quint64(quint32(pixel.x() + 32768) << 16 | quint32(pixel.y() + 32768));
}

// Segments from neighbouring pixels land in one region of the table, so that a line
// that wanders slowly, as samples in time order do, works in a few regions at a time;
// inside a region Fibonacci hashing spreads them.
const int regionSlots = 1 << 12;

quint64 slotOf(quint64 key, int slotCount)
{
    // The tile of 8 x 8 pixels that the segment's first pixel lies in.
    const quint64 first = key >> 32;
    const quint64 tile = (first >> 19) << 13 | (first & 0xffff) >> 3;
    const quint64 spread = key * 0x9E3779B97F4A7C15ull;
    const quint64 region = (tile * 0x9E3779B97F4A7C15ull) >> 32;
    return (region * regionSlots + (spread >> 40)) & quint64(slotCount - 1);
}

} // namespace

void SegmentSet::clear()
{
    if (table.isEmpty())
        table.resize(initialSlots);
    table.fill(emptySlot);
    count = 0;
}

void SegmentSet::grow()
{
    QVector<quint64> old;
    old.swap(table);
    table.fill(emptySlot, old.size() * 2);
    for (quint64 key : old) {
        if (key == emptySlot)
            continue;
        quint64 slot = slotOf(key, table.size());
        while (table[int(slot)] != emptySlot)
            slot = (slot + 1) & quint64(table.size() - 1);
        table[int(slot)] = key;
    }
}

bool SegmentSet::insert(const QPoint &a, const QPoint &b)
{
    if (!fitsSixteenBits(a.x()) || !fitsSixteenBits(a.y()) || !fitsSixteenBits(b.x()) ||
        !fitsSixteenBits(b.y()))
        return true;
    if (table.isEmpty())
        clear();
    quint64 first = pack(a);
    quint64 second = pack(b);
    if (second < first)
        std::swap(first, second);
    const quint64 key = first << 32 | second;
    quint64 slot = slotOf(key, table.size());
    while (table[int(slot)] != emptySlot) {
        if (table[int(slot)] == key)
            return false;
        slot = (slot + 1) & quint64(table.size() - 1);
    }
    table[int(slot)] = key;
    if (++count * 2 > table.size())
        grow();
    return true;
}
