#ifndef SEGMENTSET_H
#define SEGMENTSET_H

#include <QLine>
#include <QPoint>
#include <QRect>
#include <QVector>

#include <functional>

// The distinct segments of a polyline on the pixel grid, for drawing each of them once:
// a dense line, such as noisy samples in time order, goes back and forth between the
// same pixels. Segments are compared either way round. A short segment inside the area
// is a bit in a mask per pixel (the step to its other end), kept in tiles of the area
// that are taken from a pool as the line reaches them; the few long segments and those
// reaching the area from outside are sorted.
class SegmentSet
{
public:
    // Writes count pixels of the polyline, from its pixel first on, to pixels. The
    // polyline is asked for a chunk at a time, so that a long one need not be held in
    // pixels as a whole.
    using PixelSource = std::function<void(int first, int count, QPoint *pixels)>;

    // Appends to segments each distinct segment between consecutive pixels of the
    // polyline of count pixels that reaches area, once; consecutive pixels that are the
    // same make none.
    void appendDistinct(const PixelSource &source, int count, const QRect &area,
                        QVector<QLine> &segments);

private:
    // Adds a segment that is long or reaches the area from outside.
    void appendOther(const QPoint &a, const QPoint &b, const QRect &area, QVector<QLine> &segments);

    // Per tile of the area, its first word in the pool (-1: none yet), and after them two
    // stand-ins: for a segment between a point and its repetition, and for one that is
    // long or reaches the area from outside.
    QVector<int> tileStarts;
    // The pool's first word has every bit set and is where the stand-ins point; the
    // rest is all zero between calls.
    QVector<quint64> pool;
    QVector<quint64> longKeys;
    // Scratch of a chunk: its pixels (the last one of the chunk before first), per
    // segment its tile and its bit in the tile, and the new segments.
    QVector<QPoint> chunkPixels;
    QVector<int> chunkTiles;
    QVector<int> chunkBits;
    QVector<int> newSegments;
};

#endif
