#ifndef STEEPLINELAYER_H
#define STEEPLINELAYER_H

#include <QImage>
#include <QLineF>
#include <QVector>

class QPainter;
class QPen;
class QRect;

// Draws antialiased wide line segments that are mostly steep, as the segments of a
// dense curve are: each column's vertical extent and the short joins between
// neighbouring columns. Qt rasterizes row by row, so a steep segment costs one span
// per row it crosses, and a dense curve crosses its band hundreds of times. Here the
// segments are drawn with x and y exchanged into a layer, where each is a flat one
// crossing few rows, and the layer is turned back and drawn in one piece. Coverage is
// the area of a pixel under the pen, which the exchange keeps, so the picture is the
// one Qt draws directly. Only the rows each column's lines reach are cleared and
// turned, so a thin curve costs little more than its pixels.
class SteepLineLayer
{
public:
    // Draws lines with pen (its colour opaque) inside clip, as painter.drawLines would.
    void drawLines(QPainter &painter, const QVector<QLineF> &lines, const QPen &pen,
                   const QRect &clip);
    // Memory held between calls, in bytes.
    qint64 byteSize() const;

private:
    // Both images are transparent between calls.
    QImage transposed;
    QImage upright;
    // Per column of the drawn area, the rows its lines reach (top > bottom: none).
    QVector<int> columnTop;
    QVector<int> columnBottom;
    QVector<QLineF> exchanged;
};

#endif
