#ifndef LAYERSCALE_H
#define LAYERSCALE_H

class QPainter;

// Whether painter turns what it draws into pixels (a widget, an image) rather than
// recording the shapes (a saved SVG), where a picture must be drawn as shapes to stay one.
bool rasterizes(const QPainter &painter);

// The plot's layers draw their own pixels and lay them on the device one to one. They do
// so where the painter rasterizes and maps its coordinates to device pixels by a scale of
// 1, or of 2 (a high-DPI screen's pixel ratio, or a picture rendered at that ratio), and
// moves them by whole device pixels: this returns that scale, or 0 where Qt draws (other
// ratios, a painter the program turned or scaled otherwise, a saved SVG).
int layerScale(const QPainter &painter);

// Sets painter's world transform so that its coordinates are the device pixels of a
// layer drawn at scale (layerScale()), moved as before; save the painter first.
void useLayerPixels(QPainter &painter, int scale);

#endif
