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
    // opaque, and scaled or turned painters, are drawn by Qt.
    void drawPoints(QPainter &painter, const QPolygon &pixels, const QPen &pen, const QRect &clip);

private:
    void makeStamp(const QPainter &painter, const QPen &pen);

    // Coverage 0..255 of one dot around its centre, stampSize pixels each way.
    QVector<quint8> stamp;
    int stampSize = 0;
    int stampCentre = 0;
    QPen stampPen;
    bool stampAntialiased = false;
    // Coverage of the drawn area, zero between calls.
    QVector<quint8> coverage;
    QVector<int> rowLeft;
    QVector<int> rowRight;
    // Transparent between calls.
    QImage layer;
    QRgb colourAtCoverage[256] = {};
};

#endif
