#ifndef SEGMENTSET_H
#define SEGMENTSET_H

#include <QLineF>
#include <QPoint>
#include <QRect>
#include <QVector>

// The distinct segments of a polyline on the pixel grid, for drawing each of them once:
// a dense line, such as noisy samples in time order, goes back and forth between the
// same pixels. Segments are compared either way round. A short segment is a bit in a
// mask per pixel (the step to its other end), kept in tiles of the area that are taken
// from a pool as the line reaches them; the few long segments are sorted.
class SegmentSet
{
public:
    // Appends to segments each distinct segment between consecutive pixels that reaches
    // area, once; consecutive pixels that are the same make none.
    void appendDistinct(const QPoint *pixels, int count, const QRect &area,
                        QVector<QLineF> &segments);
    // Memory held between calls, in bytes.
    qint64 byteSize() const;

private:
    // Per tile of the area, its place in the pool (-1: none yet).
    QVector<int> tileSlots;
    // All zero between calls.
    QVector<quint64> pool;
    QVector<quint64> longKeys;
};

#endif
