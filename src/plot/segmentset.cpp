#include "segmentset.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace
{

// Steps of up to maxStep pixels each way are short. With the second end after the first
// in rows (dy > 0, or dy == 0 and dx > 0) there are fewer than 128 of them: two words
// of mask per pixel.
const int maxStep = 7;
const int stepSpan = 2 * maxStep + 1;
const int maskWords = 2;
const int tileBits = 4;
const int tileSide = 1 << tileBits;
const int tileWords = tileSide * tileSide * maskWords;

bool fitsSixteenBits(int value)
{
    return value >= -32767 && value <= 32767;
}

// A pixel as 32 bits.
quint64 pack(const QPoint &pixel)
{
    return quint64(quint32(pixel.x() + 32768) << 16 | quint32(pixel.y() + 32768));
}

QPoint unpack(quint64 packed)
{
    return QPoint(int(packed >> 16 & 0xffff) - 32768, int(packed & 0xffff) - 32768);
}

} // namespace

void SegmentSet::appendDistinct(const QPoint *pixels, int count, const QRect &area,
                                QVector<QLineF> &segments)
{
    // The tiles cover the area and a margin of one step around it, so that a short
    // segment reaching the area has its first end in a tile.
    const QRect tiled = area.adjusted(-maxStep, -maxStep, maxStep, maxStep);
    const int tileColumns = (tiled.width() + tileSide - 1) >> tileBits;
    const int tileRows = (tiled.height() + tileSide - 1) >> tileBits;
    tileSlots.fill(-1, tileColumns * tileRows);
    int *slots = tileSlots.data();
    int usedTiles = 0;
    quint64 *masks = pool.data();
    longKeys.resize(0);
    const int left = area.left();
    const int right = area.right();
    const int top = area.top();
    const int bottom = area.bottom();

    for (int i = 1; i < count; ++i) {
        const QPoint from = pixels[i - 1];
        const QPoint to = pixels[i];
        if (from == to)
            continue;
        if ((from.x() < left && to.x() < left) || (from.x() > right && to.x() > right) ||
            (from.y() < top && to.y() < top) || (from.y() > bottom && to.y() > bottom))
            continue;
        // Counted from the end that comes first in rows, chosen by selection rather than
        // a branch: either end comes first about half the time.
        const bool backwards = to.y() < from.y() || (to.y() == from.y() && to.x() < from.x());
        const QPoint a = backwards ? to : from;
        const QPoint b = backwards ? from : to;
        const int dx = b.x() - a.x();
        const int dy = b.y() - a.y();
        // Unsigned, so that one comparison also refuses what lies before the first tile.
        const unsigned column = unsigned(a.x() - tiled.left());
        const unsigned row = unsigned(a.y() - tiled.top());
        if (dy <= maxStep && unsigned(dx + maxStep) <= unsigned(2 * maxStep) &&
            column < unsigned(tiled.width()) && row < unsigned(tiled.height())) {
            int &slot = slots[int(row >> tileBits) * tileColumns + int(column >> tileBits)];
            if (slot < 0) {
                slot = usedTiles++;
                if (pool.size() < usedTiles * tileWords) {
                    pool.resize(usedTiles * tileWords);
                    masks = pool.data();
                }
            }
            const int step = dy * stepSpan + dx + maxStep;
            quint64 &word =
                masks[slot * tileWords +
                      int(((row & (tileSide - 1)) << tileBits) + (column & (tileSide - 1))) *
                          maskWords +
                      (step >> 6)];
            const quint64 bit = quint64(1) << (step & 63);
            if (!(word & bit)) {
                word |= bit;
                segments.append(QLineF(a, b));
            }
        } else if (fitsSixteenBits(a.x()) && fitsSixteenBits(a.y()) && fitsSixteenBits(b.x()) &&
                   fitsSixteenBits(b.y())) {
            longKeys.append(pack(a) << 32 | pack(b));
        } else {
            // Far beyond any widget: never found again, always drawn.
            segments.append(QLineF(a, b));
        }
    }
    std::memset(masks, 0, size_t(usedTiles) * tileWords * sizeof(quint64));

    std::sort(longKeys.begin(), longKeys.end());
    longKeys.erase(std::unique(longKeys.begin(), longKeys.end()), longKeys.end());
    for (quint64 key : qAsConst(longKeys))
        segments.append(QLineF(unpack(key >> 32), unpack(key & 0xffffffff)));
}

qint64 SegmentSet::byteSize() const
{
    return (pool.capacity() + longKeys.capacity()) * qint64(sizeof(quint64)) +
           tileSlots.capacity() * qint64(sizeof(int));
}
