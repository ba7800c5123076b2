#ifndef HATCHFILL_H
#define HATCHFILL_H

#include <QColor>
#include <QImage>
#include <QRect>
#include <QVector>

class QPainter;

// Fills areas with a colour under a hatch of rising diagonal lines, as Qt's
// Qt::BDiagPattern brush over a solid fill draws them. Qt fills such a brush pixel by
// pixel through a texture, a transformed one at a pixel ratio of 2, which costs many times
// a solid fill over a wide fault stretch. Here both are one opaque tile, made once per
// colours and scale, and laid in device pixels (layerscale.h) as a plain fill does. A
// painter that records shapes (a saved SVG), where a pattern brush is not kept as such,
// gets the fill and the hatch's lines (x + y = 8 k through the centres of the pattern's
// pixels, cut at the areas' edges). Areas side by side with the same rows are filled as
// one, so that neighbouring stretches cost no more than one wide one.
class HatchFill
{
public:
    // base is opaque.
    void fill(QPainter &painter, const QVector<QRect> &areas, const QColor &base,
              const QColor &hatch);
    // Memory held between calls, in bytes.
    qint64 byteSize() const;

private:
    struct Tile {
        QImage image;
        QRgb base;
        QRgb hatch;
        int scale;
    };
    const QImage &tileFor(const QColor &base, const QColor &hatch, int scale);

    // The tiles last used, the most recent first.
    QVector<Tile> tiles;
};

#endif
