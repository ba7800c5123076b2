#include "layerpicture.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QtGlobal>

#include <algorithm>
#include <cstdlib>

QImage paintedOnWhite(const QSize &size, int ratio, const QPoint &offset,
                      const std::function<void(QPainter &)> &paint)
{
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(offset);
    paint(painter);
    return image;
}

PictureDifference pictureDifference(const QImage &a, const QImage &b)
{
    PictureDifference difference;
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb *lineA = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const QRgb *lineB = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int d = std::max({std::abs(qRed(lineA[x]) - qRed(lineB[x])),
                                    std::abs(qGreen(lineA[x]) - qGreen(lineB[x])),
                                    std::abs(qBlue(lineA[x]) - qBlue(lineB[x]))});
            difference.largest = std::max(difference.largest, d);
            sum += d;
        }
    }
    difference.mean = double(sum) / (qint64(a.width()) * a.height());
    return difference;
}
