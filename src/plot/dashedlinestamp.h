#ifndef DASHEDLINESTAMP_H
#define DASHEDLINESTAMP_H

#include <QImage>
#include <QPen>
#include <QPoint>

class QPainter;

// Draws the grid's dashed lines, which all start at the widget's left or top edge and
// so share one dash pattern: Qt strokes one horizontal and one vertical line of each
// length once into a transparent image, and each grid line is that image drawn at its
// place, where stroking every dash of every line each paint costs more than the plot's
// curves. Painters that scale or turn, or that do not rasterize (a saved SVG), get the
// line itself.
class DashedLineStamp
{
public:
    // As painter.drawLine(0, y, length, y) with the painter's pen.
    void drawHorizontal(QPainter &painter, int y, int length);
    // As painter.drawLine(x, 0, x, length) with the painter's pen.
    void drawVertical(QPainter &painter, int x, int length);
    // Memory held between calls, in bytes.
    qint64 byteSize() const;

private:
    struct Stamp {
        QImage image;
        // Where the image goes for a line through (0, 0).
        QPoint offset;
        int length = -1;
        QPen pen;
    };
    static bool stamped(const QPainter &painter);
    static void update(Stamp &stamp, const QPen &pen, int length, bool horizontal);

    Stamp horizontalStamp;
    Stamp verticalStamp;
};

#endif
