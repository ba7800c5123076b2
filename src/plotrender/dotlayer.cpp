#include "dotlayer.h"

#include <QPainter>
#include <QRect>

#include <algorithm>
#include <cmath>
#include <cstring>

void DotLayer::makeStamp(const QPainter &painter, const QPen &pen)
{
    const bool antialiased = painter.testRenderHint(QPainter::Antialiasing);
    if (!stamp.isEmpty() && pen == stampPen && antialiased == stampAntialiased)
        return;
    stampPen = pen;
    stampAntialiased = antialiased;
    stampCentre = int(std::ceil(pen.widthF() / 2)) + 2;
    stampSize = 2 * stampCentre + 1;
    QImage image(stampSize, stampSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter dotPainter(&image);
        dotPainter.setRenderHint(QPainter::Antialiasing, antialiased);
        dotPainter.setPen(pen);
        dotPainter.drawPoint(stampCentre, stampCentre);
    }
    stamp.resize(stampSize * stampSize);
    for (int row = 0; row < stampSize; ++row) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(row));
        for (int column = 0; column < stampSize; ++column)
            stamp[row * stampSize + column] = quint8(qAlpha(line[column]));
    }
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
    const QTransform device = painter.deviceTransform();
    if (painter.device()->devicePixelRatioF() != 1 || device.type() > QTransform::TxTranslate ||
        device.dx() != std::floor(device.dx()) || device.dy() != std::floor(device.dy()) ||
        pen.brush().style() != Qt::SolidPattern || pen.color().alpha() != 255 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver) {
        painter.save();
        painter.setPen(pen);
        painter.drawPoints(pixels);
        painter.restore();
        return;
    }
    makeStamp(painter, pen);

    const QRect area =
        pixels.boundingRect().adjusted(-stampCentre, -stampCentre, stampCentre, stampCentre) & clip;
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
        const int left = pixel.x() - stampCentre - area.left();
        const int top = pixel.y() - stampCentre - area.top();
        const int fromRow = std::max(0, -top);
        const int toRow = std::min(stampSize, height - top);
        const int fromColumn = std::max(0, -left);
        const int toColumn = std::min(stampSize, width - left);
        for (int row = fromRow; row < toRow; ++row) {
            rowLeft[top + row] = std::min(rowLeft[top + row], left + fromColumn);
            rowRight[top + row] = std::max(rowRight[top + row], left + toColumn - 1);
            quint8 *target = coverage.data() + (top + row) * width + left;
            const quint8 *source = stamp.constData() + row * stampSize;
            for (int column = fromColumn; column < toColumn; ++column)
                target[column] =
                    quint8(target[column] + ((255 - target[column]) * source[column] + 127) / 255);
        }
    }

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
    painter.drawImage(area.topLeft(), layer, QRect(0, 0, width, height));
    for (int row = 0; row < height; ++row) {
        if (rowLeft[row] > rowRight[row])
            continue;
        const size_t count = size_t(rowRight[row] - rowLeft[row] + 1);
        std::memset(coverage.data() + row * width + rowLeft[row], 0, count);
        std::memset(reinterpret_cast<QRgb *>(layer.scanLine(row)) + rowLeft[row], 0,
                    count * sizeof(QRgb));
    }
}
