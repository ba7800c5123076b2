#include "segmentset.h"

#include <algorithm>
#include <cstring>

namespace
{

// Steps of up to maxStep pixels each way are short. With the second end after the first
// in rows (dy > 0, or dy == 0 and dx > 0) there are fewer than 512 of them: eight words
// of mask per pixel.
const int maxStep = 15;
const int stepSpan = 2 * maxStep + 1;
const int stepBits = 9;
const int maskWords = 8;
const int tileBits = 4;
const int tileSide = 1 << tileBits;
const int tileWords = tileSide * tileSide * maskWords;
// The pool's first cache line holds the stand-ins' word.
const int standInWords = 8;
const int chunkSize = 1024;

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

// Where the bits of segments lie: the tiles of the area, a row of them a power of two
// long, and the stand-ins' numbers after them.
struct TileGrid {
    int left;
    int top;
    // Pixels are counted from the area's corner; unsigned, one comparison tells whether a
    // pixel lies inside.
    unsigned width;
    unsigned height;
    int columnBits;
    int repeatedTile;
    int otherTile;
};

// Writes for each of the count segments between consecutive pixels its first end's tile
// (or a stand-in's) and its bit in that tile; true if any is long or reaches the area from
// outside. Arithmetic only, so that the compiler works on several segments at once.
bool locateSegments(const QPoint *pixels, int count, const TileGrid &grid, int *tiles, int *bits)
{
    // In locals: the writes to tiles and bits could otherwise alias the grid's fields.
    const int left = grid.left;
    const int top = grid.top;
    const unsigned width = grid.width;
    const unsigned height = grid.height;
    const int columnBits = grid.columnBits;
    const int repeatedTile = grid.repeatedTile;
    const int otherTile = grid.otherTile;
    int anyOther = 0;
    for (int k = 0; k < count; ++k) {
        const int fromX = pixels[k].x() - left;
        const int fromY = pixels[k].y() - top;
        const int toX = pixels[k + 1].x() - left;
        const int toY = pixels[k + 1].y() - top;
        const int stepX = toX - fromX;
        const int stepY = toY - fromY;
        // Counted from the end that comes first in rows.
        const int flip = -int((stepY < 0) | ((stepY == 0) & (stepX < 0)));
        const int dx = (stepX ^ flip) - flip;
        const int dy = (stepY ^ flip) - flip;
        const int firstX = fromX + (stepX & flip);
        const int firstY = fromY + (stepY & flip);
        const bool isShort = (unsigned(fromX) < width) & (unsigned(fromY) < height) &
                             (unsigned(toX) < width) & (unsigned(toY) < height) & (dy <= maxStep) &
                             (unsigned(dx + maxStep) <= unsigned(2 * maxStep));
        const bool isRepeated = (dx | dy) == 0;
        // In unsigned arithmetic: for a segment that is not short the tile and the bit are
        // not used, and far-off ends must not overflow them.
        const unsigned tile =
            unsigned(firstY >> tileBits) << columnBits | unsigned(firstX >> tileBits);
        tiles[k] = isShort ? (isRepeated ? repeatedTile : int(tile)) : otherTile;
        const unsigned inTile =
            unsigned((firstY & (tileSide - 1)) << tileBits | (firstX & (tileSide - 1)));
        const unsigned bit =
            (inTile << stepBits) + unsigned(dy) * stepSpan + unsigned(dx) + maxStep;
        bits[k] = isShort & !isRepeated ? int(bit) : 0;
        anyOther |= int(!isShort);
    }
    return anyOther != 0;
}

} // namespace

void SegmentSet::appendDistinct(const PixelSource &source, int count, const QRect &area,
                                QVector<QLine> &segments)
{
    if (count < 2 || area.isEmpty())
        return;
    const int width = area.width();
    const int height = area.height();
    // A row of tiles has a power of two of them, so that a tile's number is found by
    // shifts.
    int columnBits = 0;
    while ((width - 1) >> tileBits >> columnBits != 0)
        ++columnBits;
    const int tileRows = (height + tileSide - 1) >> tileBits;
    const int repeatedTile = tileRows << columnBits;
    const int otherTile = repeatedTile + 1;
    tileStarts.fill(-1, otherTile + 1);
    int *starts = tileStarts.data();
    starts[repeatedTile] = 0;
    starts[otherTile] = 0;
    if (pool.isEmpty()) {
        pool.resize(standInWords);
        pool[0] = ~quint64(0);
    }
    int usedTiles = 0;
    quint64 *masks = pool.data();
    longKeys.resize(0);

    chunkPixels.resize(chunkSize + 1);
    chunkTiles.resize(chunkSize);
    chunkBits.resize(chunkSize);
    newSegments.resize(chunkSize);
    QPoint *pixels = chunkPixels.data();
    int *tiles = chunkTiles.data();
    int *bits = chunkBits.data();
    int *found = newSegments.data();

    const TileGrid grid{area.left(), area.top(),   unsigned(width), unsigned(height),
                        columnBits,  repeatedTile, otherTile};
    source(0, 1, pixels);
    for (int start = 1; start < count; start += chunkSize) {
        const int chunk = std::min(chunkSize, count - start);
        source(start, chunk, pixels + 1);
        const bool anyOther = locateSegments(pixels, chunk, grid, tiles, bits);
        // The stand-ins' word has every bit set: their segments are never new. Segments
        // are written for every step and kept by counting only the new ones, as their
        // count is not foreseeable (about one in ten is new).
        int foundCount = 0;
        for (int k = 0; k < chunk; ++k) {
            int &tileStart = starts[tiles[k]];
            if (tileStart < 0) {
                tileStart = standInWords + usedTiles++ * tileWords;
                if (pool.size() < tileStart + tileWords) {
                    pool.resize(tileStart + tileWords);
                    masks = pool.data();
                }
            }
            const int bit = bits[k];
            quint64 &word = masks[tileStart + (bit >> 6)];
            const int isNew = int(~word >> (bit & 63) & 1);
            word |= quint64(1) << (bit & 63);
            found[foundCount] = k;
            foundCount += isNew;
        }
        const int first = segments.size();
        segments.resize(first + foundCount);
        QLine *out = segments.data() + first;
        for (int n = 0; n < foundCount; ++n)
            out[n] = QLine(pixels[found[n]], pixels[found[n] + 1]);
        // Few chunks of a dense line have long segments.
        for (int k = 0; anyOther && k < chunk; ++k) {
            if (tiles[k] == otherTile)
                appendOther(pixels[k], pixels[k + 1], area, segments);
        }
        pixels[0] = pixels[chunk];
    }
    std::memset(masks + standInWords, 0, size_t(usedTiles) * tileWords * sizeof(quint64));

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
