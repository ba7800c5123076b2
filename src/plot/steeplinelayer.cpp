#include "steeplinelayer.h"

#include <QPainter>
#include <QPen>
#include <QRect>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace
{

// Columns turned together: one row of a group is one short contiguous write.
const int groupWidth = 8;

QImage transparentImage(const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

void SteepLineLayer::drawLines(QPainter &painter, const QVector<QLineF> &lines, const QPen &pen,
                               const QRect &clip)
{
    if (lines.isEmpty())
        return;
    // The layer is drawn at one layer pixel per device pixel, moved by whole pixels at
    // most (a widget inside its window); scaled (high DPI, a picture saved at another
    // pixel ratio) or turned, Qt draws.
    const QTransform device = painter.deviceTransform();
    if (painter.device()->devicePixelRatioF() != 1 || device.type() > QTransform::TxTranslate ||
        device.dx() != std::floor(device.dx()) || device.dy() != std::floor(device.dy())) {
        painter.save();
        painter.setPen(pen);
        painter.drawLines(lines);
        painter.restore();
        return;
    }

    // Everything a line's pen can touch lies within reach of the line.
    const double reach = pen.widthF() / 2 + 2;
    double left = lines[0].x1();
    double right = left;
    double top = lines[0].y1();
    double bottom = top;
    for (const QLineF &line : lines) {
        left = std::min({left, line.x1(), line.x2()});
        right = std::max({right, line.x1(), line.x2()});
        top = std::min({top, line.y1(), line.y2()});
        bottom = std::max({bottom, line.y1(), line.y2()});
    }
    const QRect area =
        QRect(QPoint(int(std::floor(left - reach)), int(std::floor(top - reach))),
              QPoint(int(std::ceil(right + reach)), int(std::ceil(bottom + reach)))) &
        clip;
    if (area.isEmpty())
        return;
    const int width = area.width();
    const int height = area.height();

    columnTop.fill(height, width);
    columnBottom.fill(-1, width);
    for (const QLineF &line : lines) {
        const int fromColumn =
            std::max(0, int(std::floor(std::min(line.x1(), line.x2()) - reach)) - area.left());
        const int toColumn = std::min(
            width - 1, int(std::ceil(std::max(line.x1(), line.x2()) + reach)) - area.left());
        const int fromRow =
            std::max(0, int(std::floor(std::min(line.y1(), line.y2()) - reach)) - area.top());
        const int toRow = std::min(
            height - 1, int(std::ceil(std::max(line.y1(), line.y2()) + reach)) - area.top());
        for (int column = fromColumn; column <= toColumn; ++column) {
            columnTop[column] = std::min(columnTop[column], fromRow);
            columnBottom[column] = std::max(columnBottom[column], toRow);
        }
    }

    if (transposed.width() < height || transposed.height() < width)
        transposed = transparentImage(
            QSize(std::max(height, transposed.width()), std::max(width, transposed.height())));
    if (upright.width() < width || upright.height() < height)
        upright = transparentImage(
            QSize(std::max(width, upright.width()), std::max(height, upright.height())));
    {
        QPainter layerPainter(&transposed);
        layerPainter.setRenderHint(QPainter::Antialiasing);
        layerPainter.setPen(pen);
        layerPainter.setClipRect(QRect(0, 0, height, width));
        exchanged.resize(0);
        const double dx = area.left();
        const double dy = area.top();
        for (const QLineF &line : lines)
            exchanged.append(
                QLineF(line.y1() - dy, line.x1() - dx, line.y2() - dy, line.x2() - dx));
        layerPainter.drawLines(exchanged);
    }

    // The rows the columns of a group reached; top > bottom when none.
    const auto reachedRows = [&](int group, int groupEnd) {
        int top = height;
        int bottom = -1;
        for (int column = group; column < groupEnd; ++column) {
            top = std::min(top, columnTop[column]);
            bottom = std::max(bottom, columnBottom[column]);
        }
        return std::pair{top, bottom};
    };

    // Turn the reached rows back, group by group, and leave the layer transparent.
    uchar *source = transposed.bits();
    const qsizetype sourceStride = transposed.bytesPerLine();
    uchar *target = upright.bits();
    const qsizetype targetStride = upright.bytesPerLine();
    for (int group = 0; group < width; group += groupWidth) {
        const int groupEnd = std::min(width, group + groupWidth);
        const auto [groupTop, groupBottom] = reachedRows(group, groupEnd);
        for (int row = groupTop; row <= groupBottom; ++row) {
            QRgb *targetRow = reinterpret_cast<QRgb *>(target + row * targetStride);
            for (int column = group; column < groupEnd; ++column)
                targetRow[column] =
                    reinterpret_cast<const QRgb *>(source + column * sourceStride)[row];
        }
        for (int column = group; column < groupEnd; ++column) {
            if (groupTop <= groupBottom)
                std::memset(source + column * sourceStride + groupTop * sizeof(QRgb), 0,
                            (groupBottom - groupTop + 1) * sizeof(QRgb));
        }
    }
    painter.drawImage(area.topLeft(), upright, QRect(0, 0, width, height));
    for (int group = 0; group < width; group += groupWidth) {
        const int groupEnd = std::min(width, group + groupWidth);
        const auto [groupTop, groupBottom] = reachedRows(group, groupEnd);
        for (int row = groupTop; row <= groupBottom; ++row)
            std::memset(target + row * targetStride + group * sizeof(QRgb), 0,
                        (groupEnd - group) * sizeof(QRgb));
    }
}

qint64 SteepLineLayer::byteSize() const
{
    return transposed.sizeInBytes() + upright.sizeInBytes() +
           (columnTop.capacity() + columnBottom.capacity()) * qint64(sizeof(int)) +
           exchanged.capacity() * qint64(sizeof(QLineF));
}
