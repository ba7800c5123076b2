// The plot's line layer: lines of any place, length and pen, on pictures of any small size
// at pixel ratio 1 or 2, the painter moved by whole pixels. Nothing is coloured outside
// the clip or out of reach of every line's pen, a coloured pixel is a blend of the
// background and the pen's colour, and a layer reused after a call draws as a new one.

#include "fuzzcheck.h"

#include "steeplinelayer.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{

const QColor penColour(30, 144, 255);

// Reads the input front to back; past its end, zeros.
class Bytes
{
public:
    Bytes(const uint8_t *data, size_t size) : data(data), size(size) {}
    int byte() { return position < size ? data[position++] : 0; }
    // A coordinate in eighths of a pixel around the picture, now and then far off or not
    // finite.
    double coordinate(int extent)
    {
        const int kind = byte();
        const int value = byte() << 8 | byte();
        if (kind == 255)
            return value % 3 == 0 ? NAN : (value % 3 == 1 ? 1e12 : -1e9);
        return (value % (8 * (extent + 40))) / 8.0 - 20;
    }
    bool done() const { return position >= size; }

private:
    const uint8_t *data;
    size_t size;
    size_t position = 0;
};

QImage paint(const QSize &size, int ratio, const QPoint &offset, SteepLineLayer &layer,
             const QVector<QLineF> &lines, const QVector<QLine> &pixelLines, const QPen &pen,
             const QRect &clip)
{
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(offset);
    layer.drawLines(painter, lines, pen, clip, pixelLines);
    return image;
}

// The distance from p to the segment a-b.
double distance(const QPointF &p, const QPointF &a, const QPointF &b)
{
    const QPointF ab = b - a;
    const double length2 = QPointF::dotProduct(ab, ab);
    const double t =
        length2 > 0 ? std::clamp(QPointF::dotProduct(p - a, ab) / length2, 0.0, 1.0) : 0.0;
    const QPointF nearest = a + t * ab;
    return std::hypot(p.x() - nearest.x(), p.y() - nearest.y());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Lines on a QImage need no application object.
    fixFuzzEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Bytes bytes(data, size);
    const QSize pictureSize(1 + bytes.byte() % 120, 1 + bytes.byte() % 90);
    const int ratio = 1 + bytes.byte() % 2;
    const QPoint offset(bytes.byte() % 7 - 3, bytes.byte() % 7 - 3);
    const double penWidth = (1 + bytes.byte() % 32) / 8.0;
    const QPen pen(penColour, penWidth, Qt::SolidLine, Qt::FlatCap);
    // A clip inside the picture, so that what lies outside it shows.
    const int inset = bytes.byte() % 8;
    const QRect clip = QRect(QPoint(), pictureSize).adjusted(inset, inset, -inset, -inset);
    QVector<QLineF> lines;
    QVector<QLine> pixelLines;
    while (!bytes.done() && lines.size() + pixelLines.size() < 48) {
        if (bytes.byte() % 4 == 0) {
            const QPoint a(bytes.byte() % 140 - 20, bytes.byte() % 110 - 20);
            const QPoint b = a + QPoint(bytes.byte() % 41 - 20, bytes.byte() % 41 - 20);
            pixelLines.append(QLine(a, b));
        } else {
            const double x1 = bytes.coordinate(pictureSize.width());
            const double y1 = bytes.coordinate(pictureSize.height());
            const double x2 = bytes.coordinate(pictureSize.width());
            const double y2 = bytes.coordinate(pictureSize.height());
            lines.append(QLineF(x1, y1, x2, y2));
        }
    }

    SteepLineLayer layer;
    const QImage drawn =
        paint(pictureSize, ratio, offset, layer, lines, pixelLines, pen, clip.translated(-offset));
    // The reach of a pen in the painter's pixels, from a device pixel's centre.
    const double reach = penWidth / 2 + 1.5 / ratio;
    const QRect clipOnDevice(clip.topLeft() * ratio, clip.size() * ratio);
    for (int y = 0; y < drawn.height(); ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(drawn.constScanLine(y));
        for (int x = 0; x < drawn.width(); ++x) {
            if (row[x] == qRgb(255, 255, 255))
                continue;
            FUZZ_CHECK(clipOnDevice.contains(x, y));
            // White blended with the pen's colour at one coverage: the channels that
            // differ most from white agree on it.
            const double coverage = (255 - qRed(row[x])) / double(255 - penColour.red());
            FUZZ_CHECK(std::abs(255 - coverage * (255 - penColour.green()) - qGreen(row[x])) <= 2);
            FUZZ_CHECK(qBlue(row[x]) == 255);
            const QPointF centre = QPointF(x + 0.5, y + 0.5) / ratio - offset;
            bool reached = false;
            for (const QLineF &line : lines)
                reached = reached || distance(centre, line.p1(), line.p2()) <= reach;
            for (const QLine &line : pixelLines)
                reached = reached || distance(centre, line.p1(), line.p2()) <= reach;
            FUZZ_CHECK(reached);
        }
    }

    // The same layer again, with the lines shifted: as a fresh layer draws them.
    QVector<QLineF> shifted;
    for (const QLineF &line : lines)
        shifted.append(line.translated(bytes.byte() % 5 - 2, 1));
    SteepLineLayer fresh;
    const QImage again =
        paint(pictureSize, ratio, offset, layer, shifted, {}, pen, clip.translated(-offset));
    const QImage expected =
        paint(pictureSize, ratio, offset, fresh, shifted, {}, pen, clip.translated(-offset));
    FUZZ_CHECK(again == expected);
    return 0;
}
