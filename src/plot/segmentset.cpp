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
const int newSegmentBuffer = 4096;
const int chunkSize = 1024;
// In place of a tile: a segment between a point and its repetition, which draws
// nothing, or one that is long or reaches the area from outside.
const int repeatedPoint = -2;
const int otherSegment = -1;

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
                                QVector<QLine> &segments)
{
    if (count < 2 || area.isEmpty())
        return;
    const int width = area.width();
    const int height = area.height();
    const int tileColumns = (width + tileSide - 1) >> tileBits;
    const int tileRows = (height + tileSide - 1) >> tileBits;
    tileStarts.fill(-1, tileColumns * tileRows);
    int *starts = tileStarts.data();
    int usedTiles = 0;
    quint64 *masks = pool.data();
    longKeys.resize(0);

    // The segments found new, by the index of their second point: written for every
    // segment and kept by counting only the new ones, as about one in eight is new;
    // passed on when the buffer is full, while their points are still at hand.
    newSegments.resize(newSegmentBuffer);
    chunkTiles.resize(chunkSize);
    chunkBits.resize(chunkSize);
    int *tiles = chunkTiles.data();
    int *bits = chunkBits.data();
    int *found = newSegments.data();
    int foundCount = 0;
    const auto passOn = [&] {
        const int first = segments.size();
        segments.resize(first + foundCount);
        QLine *out = segments.data() + first;
        for (int k = 0; k < foundCount; ++k)
            out[k] = QLine(pixels[found[k] - 1], pixels[found[k]]);
        foundCount = 0;
    };

    // Pixels are counted from the area's corner; unsigned, one comparison tells whether
    // a pixel lies inside.
    const unsigned insideWidth = unsigned(width);
    const unsigned insideHeight = unsigned(height);
    const int left = area.left();
    const int top = area.top();
    for (int start = 1; start < count; start += chunkSize) {
        const int chunk = std::min(chunkSize, count - start);
        // Where each segment's bit lies: its first end's tile and the bit in that tile.
        // Arithmetic only, so that the compiler works on several segments at once.
        const QPoint *from = pixels + start - 1;
        for (int k = 0; k < chunk; ++k) {
            const int fromX = from[k].x() - left;
            const int fromY = from[k].y() - top;
            const int toX = from[k + 1].x() - left;
            const int toY = from[k + 1].y() - top;
            const int stepX = toX - fromX;
            const int stepY = toY - fromY;
            // Counted from the end that comes first in rows.
            const int flip = -int((stepY < 0) | ((stepY == 0) & (stepX < 0)));
            const int dx = (stepX ^ flip) - flip;
            const int dy = (stepY ^ flip) - flip;
            const int firstX = fromX + (stepX & flip);
            const int firstY = fromY + (stepY & flip);
            const bool isShort = (unsigned(fromX) < insideWidth) &
                                 (unsigned(fromY) < insideHeight) & (unsigned(toX) < insideWidth) &
                                 (unsigned(toY) < insideHeight) & (dy <= maxStep) &
                                 (unsigned(dx + maxStep) <= unsigned(2 * maxStep));
            // In unsigned arithmetic: for a segment that is not short the tile and the bit
            // are not used, and far-off ends must not overflow them.
            const unsigned tile =
                unsigned(firstY >> tileBits) * unsigned(tileColumns) + unsigned(firstX >> tileBits);
            tiles[k] = isShort ? ((dx | dy) != 0 ? int(tile) : repeatedPoint) : otherSegment;
            const unsigned inTile =
                unsigned((firstY & (tileSide - 1)) << tileBits | (firstX & (tileSide - 1)));
            bits[k] = int((inTile << 7) + unsigned(dy) * stepSpan + unsigned(dx) + maxStep);
        }
        for (int k = 0; k < chunk; ++k) {
            const int i = start + k;
            if (tiles[k] < 0) {
                if (tiles[k] == otherSegment)
                    appendOther(pixels[i - 1], pixels[i], area, segments);
                continue;
            }
            int &tileStart = starts[tiles[k]];
            if (tileStart < 0) {
                tileStart = usedTiles++ * tileWords;
                if (pool.size() < usedTiles * tileWords) {
                    pool.resize(usedTiles * tileWords);
                    masks = pool.data();
                }
            }
            const int bit = bits[k];
            quint64 &word = masks[tileStart + (bit >> 6)];
            const int isNew = int(~word >> (bit & 63) & 1);
            word |= quint64(1) << (bit & 63);
            found[foundCount] = i;
            foundCount += isNew;
            if (foundCount == newSegmentBuffer)
                passOn();
        }
    }
    passOn();
    std::memset(masks, 0, size_t(usedTiles) * tileWords * sizeof(quint64));

    std::sort(longKeys.begin(), longKeys.end());
    longKeys.erase(std::unique(longKeys.begin(), longKeys.end()), longKeys.end());
    for (quint64 key : qAsConst(longKeys))
        segments.append(QLine(unpack(key >> 32), unpack(key & 0xffffffff)));
}

void SegmentSet::appendOther(const QPoint &a, const QPoint &b, const QRect &area,
                             QVector<QLine> &segments)
{
    if ((a.x() < area.left() && b.x() < area.left()) ||
        (a.x() > area.right() && b.x() > area.right()) ||
        (a.y() < area.top() && b.y() < area.top()) ||
        (a.y() > area.bottom() && b.y() > area.bottom()))
        return;
    if (fitsSixteenBits(a.x()) && fitsSixteenBits(a.y()) && fitsSixteenBits(b.x()) &&
        fitsSixteenBits(b.y())) {
        const bool backwards = b.y() < a.y() || (b.y() == a.y() && b.x() < a.x());
        const quint64 first = backwards ? pack(b) : pack(a);
        const quint64 second = backwards ? pack(a) : pack(b);
        longKeys.append(first << 32 | second);
    } else {
        // Far beyond any widget: never found again, always drawn.
        segments.append(QLine(a, b));
    }
}
