#ifndef SEGMENTSET_H
#define SEGMENTSET_H

#include <QPoint>
#include <QVector>

// The set of segments between two pixels, either way round, for drawing each of them
// once. Open addressing over the two packed pixels; pixels beyond 16-bit coordinates
// are never found, so segments through them are always drawn.
class SegmentSet
{
public:
    void clear();
    // True if the segment was not in the set (and now is).
    bool insert(const QPoint &a, const QPoint &b);

private:
    void grow();

    QVector<quint64> table;
    int count = 0;
};

#endif
