#include "layerscale.h"

#include <QPaintEngine>
#include <QPainter>

#include <cmath>

bool rasterizes(const QPainter &painter)
{
    return painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Raster;
}

int layerScale(const QPainter &painter)
{
    if (!rasterizes(painter))
        return 0;
    // The device transform holds the pixel ratio: a widget rendered into a picture of
    // another ratio paints on the widget, whose own ratio is not the picture's.
    const QTransform device = painter.deviceTransform();
    const double scale = device.m11();
    if ((scale != 1 && scale != 2) || device.type() > QTransform::TxScale ||
        device.m22() != scale || device.dx() != std::floor(device.dx()) ||
        device.dy() != std::floor(device.dy()))
        return 0;
    return int(scale);
}

void useLayerPixels(QPainter &painter, int scale)
{
    // Halving a coordinate and doubling it again is exact, so layer pixels land on whole
    // device pixels.
    painter.setWorldTransform(QTransform::fromScale(1.0 / scale, 1.0 / scale) *
                              painter.worldTransform());
}
