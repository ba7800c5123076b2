#ifndef LAYERPICTURE_H
#define LAYERPICTURE_H

#include <QImage>
#include <QPoint>
#include <QSize>

#include <functional>

class QPainter;

// Pictures of the plot layers and of Qt drawing the same, and how far they differ.

// Paints on white with antialiasing at size (in the painter's pixels) and device pixel
// ratio, the painter moved by offset.
QImage paintedOnWhite(const QSize &size, int ratio, const QPoint &offset,
                      const std::function<void(QPainter &)> &paint);

// The largest difference of a colour channel between two pictures of one size, and the
// mean over all pixels of each pixel's largest.
struct PictureDifference {
    int largest = 0;
    double mean = 0;
};
PictureDifference pictureDifference(const QImage &a, const QImage &b);

#endif
