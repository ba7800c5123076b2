#ifndef DASHEDLINESTAMP_H
#define DASHEDLINESTAMP_H

#include <QImage>
#include <QPen>
#include <QPoint>
#include <QVector>

class QPainter;

// Draws a grid's dashed lines, which are upright or level and of a few lengths: the dash
// pattern runs from a line's start, so lines of one pen and one way and length look the
// same wherever they start. Qt strokes such a line once into a transparent image, and
// each line is that image drawn at its place, where stroking every dash of every line
// each paint costs more than the plot's curves. Painters that do not map to device pixels
// at ratio 1 or 2 (layerscale.h) or do not rasterize (a saved SVG), and lines starting off
// the device get the line itself.
class DashedLineStamp
{
public:
    // As painter.drawLine(from, to) with the painter's pen, for a level or upright line.
    void drawLine(QPainter &painter, const QPoint &from, const QPoint &to);
    // Memory held between calls, in bytes.
    qint64 byteSize() const;

private:
    struct Stamp {
        QImage image;
        // Where the image goes for a line from (0, 0).
        QPoint offset;
        QPoint step;
        QPen pen;
        // Device pixels per pixel of the painter (layerscale.h).
        int scale;
    };
    // The scale a line from from is stamped at, 0 where Qt draws it.
    static int stampScale(const QPainter &painter, const QPoint &from);
    const Stamp &stampFor(const QPen &pen, const QPoint &step, int scale);

    // The stamps last used, the most recent first.
    QVector<Stamp> stamps;
};

#endif
