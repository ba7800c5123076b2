#include "dashedlinestamp.h"

#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>

bool DashedLineStamp::stamped(const QPainter &painter)
{
    // The stamp is laid one image pixel on one device pixel, moved by whole pixels. Qt
    // starts the dashes of a line that begins outside the device where it enters it, so
    // the lines' start must lie on the device.
    const QTransform device = painter.deviceTransform();
    return painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Raster &&
           painter.device()->devicePixelRatioF() == 1 &&
           painter.testRenderHint(QPainter::Antialiasing) &&
           device.type() <= QTransform::TxTranslate && device.dx() == std::floor(device.dx()) &&
           device.dy() == std::floor(device.dy()) && device.dx() >= 0 && device.dy() >= 0 &&
           painter.compositionMode() == QPainter::CompositionMode_SourceOver;
}

void DashedLineStamp::update(Stamp &stamp, const QPen &pen, int length, bool horizontal)
{
    if (stamp.length == length && stamp.pen == pen)
        return;
    stamp.length = length;
    stamp.pen = pen;
    // Room for the pen and its caps around the line, which runs from (margin, margin).
    const int margin = int(std::ceil(pen.widthF())) + 2;
    const QSize size = horizontal ? QSize(length + 2 * margin, 2 * margin)
                                  : QSize(2 * margin, length + 2 * margin);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(pen);
    if (horizontal)
        painter.drawLine(margin, margin, margin + length, margin);
    else
        painter.drawLine(margin, margin, margin, margin + length);
    painter.end();
    // Only the pixels the line reaches are kept.
    int left = size.width();
    int right = -1;
    int top = size.height();
    int bottom = -1;
    for (int y = 0; y < size.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            if (qAlpha(line[x]) != 0) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    const QRect reached(QPoint(left, top), QPoint(right, bottom));
    stamp.image = reached.isValid() ? image.copy(reached) : QImage();
    stamp.offset = reached.topLeft() - QPoint(margin, margin);
}

void DashedLineStamp::drawHorizontal(QPainter &painter, int y, int length)
{
    if (!stamped(painter)) {
        painter.drawLine(0, y, length, y);
        return;
    }
    update(horizontalStamp, painter.pen(), length, true);
    if (!horizontalStamp.image.isNull())
        painter.drawImage(horizontalStamp.offset + QPoint(0, y), horizontalStamp.image);
}

void DashedLineStamp::drawVertical(QPainter &painter, int x, int length)
{
    if (!stamped(painter)) {
        painter.drawLine(x, 0, x, length);
        return;
    }
    update(verticalStamp, painter.pen(), length, false);
    if (!verticalStamp.image.isNull())
        painter.drawImage(verticalStamp.offset + QPoint(x, 0), verticalStamp.image);
}

qint64 DashedLineStamp::byteSize() const
{
    return horizontalStamp.image.sizeInBytes() + verticalStamp.image.sizeInBytes();
}
