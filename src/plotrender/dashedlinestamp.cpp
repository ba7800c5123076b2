#include "dashedlinestamp.h"

#include "layerscale.h"

#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace
{

// A grid has level and upright lines, dashed and solid: a few stamps serve it.
const int keptStamps = 6;

} // namespace

int DashedLineStamp::stampScale(const QPainter &painter, const QPoint &from)
{
    // The stamp is laid one image pixel on one device pixel, moved by whole pixels. Qt
    // starts the dashes of a line that begins outside the device where it enters it, so
    // the line's start must lie on the device, whose size a widget gives in its own
    // pixels and a picture in device pixels.
    const int scale = layerScale(painter);
    if (scale == 0 || !painter.paintEngine() ||
        painter.paintEngine()->type() != QPaintEngine::Raster ||
        !painter.testRenderHint(QPainter::Antialiasing) ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return 0;
    const QPaintDevice *device = painter.device();
    const double ratio = device->devType() == QInternal::Widget ? device->devicePixelRatioF() : 1;
    const QPointF start = painter.deviceTransform().map(QPointF(from));
    const bool onDevice = start.x() >= 0 && start.y() >= 0 && start.x() < device->width() * ratio &&
                          start.y() < device->height() * ratio;
    return onDevice ? scale : 0;
}

const DashedLineStamp::Stamp &DashedLineStamp::stampFor(const QPen &pen, const QPoint &step,
                                                        int scale)
{
    for (int i = 0; i < stamps.size(); ++i) {
        if (stamps[i].step == step && stamps[i].pen == pen && stamps[i].scale == scale) {
            stamps.move(i, 0);
            return stamps[0];
        }
    }
    // Room for the pen and its caps around the line, which starts at origin; Qt strokes it
    // at the scale it is drawn at, and the stamp keeps device pixels.
    const int margin = int(std::ceil(pen.widthF())) + 2;
    const QPoint origin(margin + std::max(0, -step.x()), margin + std::max(0, -step.y()));
    const QSize size =
        QSize(std::abs(step.x()) + 2 * margin, std::abs(step.y()) + 2 * margin) * scale;
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(pen);
    painter.drawLine(origin, origin + step);
    painter.end();
    image.setDevicePixelRatio(1);
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
    Stamp stamp;
    stamp.image = reached.isValid() ? image.copy(reached) : QImage();
    stamp.offset = reached.topLeft() - origin * scale;
    stamp.step = step;
    stamp.pen = pen;
    stamp.scale = scale;
    if (stamps.size() == keptStamps)
        stamps.removeLast();
    stamps.prepend(stamp);
    return stamps[0];
}

void DashedLineStamp::drawLine(QPainter &painter, const QPoint &from, const QPoint &to)
{
    const QPoint step = to - from;
    const int scale = step.x() != 0 && step.y() != 0 ? 0 : stampScale(painter, from);
    if (scale == 0) {
        painter.drawLine(from, to);
        return;
    }
    const Stamp &stamp = stampFor(painter.pen(), step, scale);
    if (stamp.image.isNull())
        return;
    if (scale == 1) {
        painter.drawImage(from + stamp.offset, stamp.image);
        return;
    }
    painter.save();
    useLayerPixels(painter, scale);
    painter.drawImage(from * scale + stamp.offset, stamp.image);
    painter.restore();
}

qint64 DashedLineStamp::byteSize() const
{
    qint64 bytes = 0;
    for (const Stamp &stamp : stamps)
        bytes += stamp.image.sizeInBytes();
    return bytes;
}
