#ifndef SEGMENTSET_H
#define SEGMENTSET_H

#include <QLine>
#include <QPoint>
#include <QRect>
#include <QVector>

// The distinct segments of a polyline on the pixel grid, for drawing each of them once:
// a dense line, such as noisy samples in time order, goes back and forth between the
// same pixels. Segments are compared either way round. A short segment inside the area
// is a bit in a mask per pixel (the step to its other end), kept in tiles of the area
// that are taken from a pool as the line reaches them; the few long segments and those
// reaching the area from outside are sorted.
class SegmentSet
{
public:
    // Appends to segments each distinct segment between consecutive pixels that reaches
    // area, once; consecutive pixels that are the same make none.
    void appendDistinct(const QPoint *pixels, int count, const QRect &area,
                        QVector<QLine> &segments);

private:
    // Adds a segment that is long or reaches the area from outside.
    void appendOther(const QPoint &a, const QPoint &b, const QRect &area, QVector<QLine> &segments);

    // Per tile of the area, its first word in the pool (-1: none yet).
    QVector<int> tileStarts;
    // All zero between calls.
    QVector<quint64> pool;
    QVector<quint64> longKeys;
    // Scratch of a call: the new segments' second points, and per segment of a chunk its
    // tile and its bit in the tile.
    QVector<int> newSegments;
    QVector<int> chunkTiles;
    QVector<int> chunkBits;
};

#endif
