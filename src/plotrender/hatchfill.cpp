#include "hatchfill.h"

#include "layerscale.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace
{

// The pattern repeats every 8 pixels each way; a tile of several repeats is laid in
// fewer pieces.
const int patternPeriod = 8;
const int tileSize = 8 * patternPeriod;
// The fault stretch and the selection it overlaps: a few tiles serve the plot.
const int keptTiles = 4;

// The lines of one area, whose pixels cover left..right and top..bottom as a plane.
void appendHatchLines(const QRect &area, QPainterPath &lines)
{
    const double left = area.left();
    const double right = area.right() + 1.0;
    const double top = area.top();
    const double bottom = area.bottom() + 1.0;
    for (double sum = std::ceil((left + top) / patternPeriod) * patternPeriod; sum < right + bottom;
         sum += patternPeriod) {
        const double fromX = std::max(left, sum - bottom);
        const double toX = std::min(right, sum - top);
        if (fromX < toX) {
            lines.moveTo(fromX, sum - fromX);
            lines.lineTo(toX, sum - toX);
        }
    }
}

// The areas with those side by side (overlapping or touching, with the same rows) merged,
// empty ones left out.
QVector<QRect> mergedSideBySide(QVector<QRect> areas)
{
    areas.erase(std::remove_if(areas.begin(), areas.end(),
                               [](const QRect &area) { return area.isEmpty(); }),
                areas.end());
    std::sort(areas.begin(), areas.end(), [](const QRect &a, const QRect &b) {
        if (a.top() != b.top())
            return a.top() < b.top();
        return a.bottom() != b.bottom() ? a.bottom() < b.bottom() : a.left() < b.left();
    });
    QVector<QRect> merged;
    for (const QRect &area : qAsConst(areas)) {
        if (!merged.isEmpty() && merged.last().top() == area.top() &&
            merged.last().bottom() == area.bottom() && area.left() <= merged.last().right() + 1)
            merged.last().setRight(std::max(merged.last().right(), area.right()));
        else
            merged.append(area);
    }
    return merged;
}

} // namespace

const QImage &HatchFill::tileFor(const QColor &base, const QColor &hatch, int scale)
{
    for (int i = 0; i < tiles.size(); ++i) {
        if (tiles[i].base == base.rgba() && tiles[i].hatch == hatch.rgba() &&
            tiles[i].scale == scale) {
            tiles.move(i, 0);
            return tiles[0].image;
        }
    }
    // Qt draws the pattern at the scale, the tile keeps device pixels.
    QImage image(tileSize * scale, tileSize * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(base);
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, tileSize, tileSize), QBrush(hatch, Qt::BDiagPattern));
    painter.end();
    image.setDevicePixelRatio(1);
    if (tiles.size() == keptTiles)
        tiles.removeLast();
    tiles.prepend(Tile{image, base.rgba(), hatch.rgba(), scale});
    return tiles[0].image;
}

void HatchFill::fill(QPainter &painter, const QVector<QRect> &areas, const QColor &base,
                     const QColor &hatch)
{
    const QVector<QRect> merged = mergedSideBySide(areas);
    if (merged.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int scale = layerScale(painter);
    if (!rasterizes(painter)) {
        QPainterPath lines;
        for (const QRect &area : merged) {
            painter.fillRect(area, base);
            appendHatchLines(area, lines);
        }
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.strokePath(lines, QPen(hatch, 1, Qt::SolidLine, Qt::FlatCap));
    } else if (scale == 0) {
        for (const QRect &area : merged) {
            painter.fillRect(area, base);
            painter.fillRect(area, QBrush(hatch, Qt::BDiagPattern));
        }
    } else {
        // The tile's origin on the painter's origin, as a pattern brush's.
        const QBrush tile(tileFor(base, hatch, scale));
        useLayerPixels(painter, scale);
        for (const QRect &area : merged)
            painter.fillRect(QRect(area.topLeft() * scale, area.size() * scale), tile);
    }
    painter.restore();
}

qint64 HatchFill::byteSize() const
{
    qint64 bytes = 0;
    for (const Tile &tile : tiles)
        bytes += tile.image.sizeInBytes();
    return bytes;
}
