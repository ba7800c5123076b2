#include "dotlayer.h"

#include "layerscale.h"

#include <QPainter>
#include <QRect>

#include <algorithm>
#include <cmath>
#include <cstring>

void DotLayer::makeStamp(const QPainter &painter, const QPen &pen, int scale)
{
    const bool antialiased = painter.testRenderHint(QPainter::Antialiasing);
    if (!stamp.isEmpty() && pen == stampPen && antialiased == stampAntialiased &&
        scale == stampScale)
        return;
    stampPen = pen;
    stampAntialiased = antialiased;
    stampScale = scale;
    // Qt draws the dot at the scale the dots are drawn at, around a whole pixel of the
    // painter, which is a whole device pixel.
    stampCentre = (int(std::ceil(pen.widthF() / 2)) + 2) * scale;
    stampSize = 2 * stampCentre + 1;
    QImage image(stampSize, stampSize, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    {
        QPainter dotPainter(&image);
        dotPainter.setRenderHint(QPainter::Antialiasing, antialiased);
        dotPainter.setPen(pen);
        dotPainter.drawPoint(stampCentre / scale, stampCentre / scale);
    }
    stamp.resize(stampSize * stampSize);
    for (int row = 0; row < stampSize; ++row) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(row));
        for (int column = 0; column < stampSize; ++column)
            stamp[row * stampSize + column] = quint8(qAlpha(line[column]));
    }
    // Only the alpha of Qt's dot is kept: the layer colours it from the coverage.
    const QRgb colour = pen.color().rgb();
    for (int alpha = 0; alpha < 256; ++alpha)
        colourAtCoverage[alpha] =
            qPremultiply(qRgba(qRed(colour), qGreen(colour), qBlue(colour), alpha));
}

void DotLayer::drawPoints(QPainter &painter, const QPolygon &pixels, const QPen &pen,
                          const QRect &clip)
{
    if (pixels.isEmpty())
        return;
    const int scale = layerScale(painter);
    if (scale == 0 || pen.brush().style() != Qt::SolidPattern || pen.color().alpha() != 255 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver) {
        painter.save();
        painter.setPen(pen);
        painter.drawPoints(pixels);
        painter.restore();
        return;
    }
    makeStamp(painter, pen, scale);

    // The area and the dots' places are in the layer's pixels, the device's.
    const QRect bounds = pixels.boundingRect();
    const QRect area = QRect(bounds.topLeft() * scale, bounds.bottomRight() * scale)
                           .adjusted(-stampCentre, -stampCentre, stampCentre, stampCentre) &
                       QRect(clip.topLeft() * scale, clip.size() * scale);
    if (area.isEmpty())
        return;
    const int width = area.width();
    const int height = area.height();
    if (coverage.size() < width * height)
        coverage.resize(width * height);
    // Per row of the area, the columns the dots reach (left > right: none).
    rowLeft.fill(width, height);
    rowRight.fill(-1, height);
    for (const QPoint &pixel : pixels) {
        const int left = pixel.x() * scale - stampCentre - area.left();
        const int top = pixel.y() * scale - stampCentre - area.top();
        // The stamp cut to the area, which the clip may have narrowed.
        const int fromRow = std::max(0, -top);
        const int toRow = std::min(stampSize, height - top);
        const int fromColumn = std::max(0, -left);
        const int toColumn = std::min(stampSize, width - left);
        for (int row = fromRow; row < toRow; ++row) {
            rowLeft[top + row] = std::min(rowLeft[top + row], left + fromColumn);
            rowRight[top + row] = std::max(rowRight[top + row], left + toColumn - 1);
            quint8 *target = coverage.data() + (top + row) * width + left;
            const quint8 *source = stamp.constData() + row * stampSize;
            // Laid over the coverage before: 1 - (1 - a)(1 - b), in 255ths rounded.
            for (int column = fromColumn; column < toColumn; ++column)
                target[column] =
                    quint8(target[column] + ((255 - target[column]) * source[column] + 127) / 255);
        }
    }

    // The layer only grows, and is transparent outside the rows and columns just written.
    if (layer.width() < width || layer.height() < height) {
        layer = QImage(std::max(width, layer.width()), std::max(height, layer.height()),
                       QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
    }
    for (int row = 0; row < height; ++row) {
        QRgb *line = reinterpret_cast<QRgb *>(layer.scanLine(row));
        const quint8 *cells = coverage.constData() + row * width;
        for (int column = rowLeft[row]; column <= rowRight[row]; ++column)
            line[column] = colourAtCoverage[cells[column]];
    }
    if (scale != 1) {
        painter.save();
        useLayerPixels(painter, scale);
    }
    painter.drawImage(area.topLeft(), layer, QRect(0, 0, width, height));
    if (scale != 1)
        painter.restore();
    // Only what was written is cleared: both stay clear between calls.
    for (int row = 0; row < height; ++row) {
        if (rowLeft[row] > rowRight[row])
            continue;
        const size_t count = size_t(rowRight[row] - rowLeft[row] + 1);
        std::memset(coverage.data() + row * width + rowLeft[row], 0, count);
        std::memset(reinterpret_cast<QRgb *>(layer.scanLine(row)) + rowLeft[row], 0,
                    count * sizeof(QRgb));
    }
}
