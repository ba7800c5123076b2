#ifndef DOTLAYER_H
#define DOTLAYER_H

#include <QImage>
#include <QPen>
#include <QPolygon>
#include <QRgb>
#include <QVector>

class QPainter;
class QPen;
class QRect;

// Draws many dots of one pen, as QPainter::drawPoints would, in a fraction of the time:
// Qt rasterizes one dot once, and every dot then lays that coverage over the ones
// before it (1 - (1 - a)(1 - b), what drawing one opaque colour over itself gives) in a
// buffer of the dots' area, which becomes the pen's colour in a layer drawn with one
// drawImage. Qt fills overlapping dots as one shape; the two differ only where the
// rims of two dots share a pixel.
class DotLayer
{
public:
    // Draws a dot at each of pixels with pen inside clip. Pens that are not solid and
    // opaque, and painters that do not map to device pixels at ratio 1 or 2
    // (layerscale.h), are drawn by Qt.
    void drawPoints(QPainter &painter, const QPolygon &pixels, const QPen &pen, const QRect &clip);

private:
    // Has Qt draw one dot with pen at scale (layerscale.h) unless the stamp is of it.
    void makeStamp(const QPainter &painter, const QPen &pen, int scale);

    // Coverage 0..255 of one dot around its centre, stampSize device pixels each way.
    QVector<quint8> stamp;
    int stampSize = 0;
    int stampCentre = 0;
    QPen stampPen;
    bool stampAntialiased = false;
    int stampScale = 0;
    // Coverage of the drawn area, zero between calls, and per row of it the columns a
    // call wrote (left > right: none), which are all it clears.
    QVector<quint8> coverage;
    QVector<int> rowLeft;
    QVector<int> rowRight;
    // Transparent between calls.
    QImage layer;
    // The pen's colour, premultiplied, at each coverage of 0..255.
    QRgb colourAtCoverage[256] = {};
};

#endif
