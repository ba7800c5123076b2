#ifndef POLYLINESEGMENTS_H
#define POLYLINESEGMENTS_H

#include <QLineF>
#include <QPoint>
#include <QVector>

// A wide antialiased polyline is stroked by Qt as one outline that is then filled, and
// that fill explodes on paths that cross themselves hundreds of times, as noisy curves
// do. Drawn as separate flat-capped segments the same shape costs little. Consecutive
// points in one pixel column are reduced to the column's vertical extent (they cover
// the same pixels), collinear segments are merged, and the two ends get the square cap
// of the polyline as short extra segments. A run whose points all coincide yields
// nothing, as the polyline draws nothing for it. Segments are clipped to the columns
// clipLeft..clipRight, so far-off points cost nothing and stay in the rasterizer's range.
void appendPolylineSegments(const QPoint *points, int count, double clipLeft, double clipRight,
                            QVector<QLineF> &segments);

#endif
