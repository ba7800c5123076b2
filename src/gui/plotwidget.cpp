#include "plotwidget.h"

#include "layerscale.h"
#include "plotpicture.h"
#include "plotticks.h"
#include "polylinesegments.h"

#include <QAction>

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{

const double infinity = std::numeric_limits<double>::infinity();
const int margin = 80;

// Segments as one path, for a picture that records shapes (a saved SVG): a segment that
// starts where the one before it ended continues its subpath.
QPainterPath segmentPath(const QVector<QLineF> &lines, const QVector<QLine> &pixelLines)
{
    QPainterPath path;
    const auto add = [&path](const QPointF &from, const QPointF &to) {
        if (path.elementCount() == 0 || path.currentPosition() != from)
            path.moveTo(from);
        path.lineTo(to);
    };
    for (const QLineF &line : lines)
        add(line.p1(), line.p2());
    for (const QLine &line : pixelLines)
        add(line.p1(), line.p2());
    return path;
}

} // namespace

PlotWidget::PlotWidget(QWidget *parent)
    : QWidget(parent), xMin(infinity), xMax(-infinity), yMin(infinity), yMax(-infinity)
{
    // The chart window's own menu (right button) and keys: save or copy the picture. It
    // takes the focus so that the keys reach it.
    setFocusPolicy(Qt::StrongFocus);
    auto *savePicture = new QAction(tr("Save picture…"), this);
    savePicture->setObjectName("actionSavePicture");
    savePicture->setShortcut(QKeySequence::Save);
    savePicture->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(savePicture, &QAction::triggered, this, [this] { picture().saveWithDialog(this); });
    auto *copyPicture = new QAction(tr("Copy picture"), this);
    copyPicture->setObjectName("actionCopyPicture");
    copyPicture->setShortcut(QKeySequence::Copy);
    copyPicture->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copyPicture, &QAction::triggered, this,
            [this] { picture().copyToClipboard(devicePixelRatioF()); });
    addActions({savePicture, copyPicture});
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

PlotPicture PlotWidget::picture()
{
    return PlotPicture(
        size(), [this](QPainter &painter) { render(&painter); }, pictureCaption);
}

void PlotWidget::setXLabel(const QString &label)
{
    xLabel = label;
}

void PlotWidget::setYLabel(const QString &label)
{
    yLabel = label;
}

void PlotWidget::setPictureCaption(const QString &caption)
{
    pictureCaption = caption;
}

void PlotWidget::plot(const QVector<double> &xData, const QVector<double> &yData,
                      PlotWidget::PlotStyle plotStyle, const QString &label, bool isoView)
{
    if (xData.size() != yData.size())
        return;
    xSeries.append(xData);
    ySeries.append(yData);
    styles.append(plotStyle);
    labels.append(label);
    if (isoView)
        this->isoView = true;
    for (double x : xData) {
        if (x < xMin)
            xMin = x;
        if (x > xMax)
            xMax = x;
    }
    for (double y : yData) {
        if (y < yMin)
            yMin = y;
        if (y > yMax)
            yMax = y;
    }
    show();
    update();
}

void PlotWidget::clear()
{
    isoView = false;
    xMin = infinity;
    xMax = -infinity;
    yMin = infinity;
    yMax = -infinity;
    xSeries.clear();
    ySeries.clear();
    styles.clear();
    labels.clear();
    update();
}

QPoint PlotWidget::toPixel(double x, double y) const
{
    return PixelMapping(*this)(x, y);
}

QPolygon PlotWidget::seriesPixels(int series) const
{
    QPolygon seriesPixels;
    mapSeries(series, seriesPixels);
    return seriesPixels;
}

void PlotWidget::mapSeries(int series, QPolygon &pixels) const
{
    pixels.resize(xSeries[series].size());
    PixelMapping(*this).map(xSeries[series].constData(), ySeries[series].constData(),
                            pixels.size(), pixels.data());
}

PlotWidget::PixelMapping::PixelMapping(const PlotWidget &plot)
{
    const int w = plot.width();
    const int h = plot.height();
    xScale = plot.xMin == plot.xMax ? 1 : (w - 2 * margin) / (plot.xMax - plot.xMin);
    yScale = plot.yMin == plot.yMax ? 1 : (h - 2 * margin) / (plot.yMax - plot.yMin);
    if (plot.isoView) {
        xScale = qMin(xScale, yScale);
        yScale = xScale;
    }
    xCentre = (plot.xMin + plot.xMax) / 2;
    yCentre = (plot.yMin + plot.yMax) / 2;
    halfWidth = w / 2;
    halfHeight = h / 2;
    // Every value of the data lies within the ranges: with finite ranges it maps inside
    // the widget, and only a NaN needs care.
    inRange = std::isfinite(plot.xMax - plot.xMin) && std::isfinite(plot.yMax - plot.yMin);
}

namespace
{

// Far-off or non-finite values must not overflow the conversion to int. Written as
// selections, so that the compiler can map several values at once.
int toPixelCoordinate(double value)
{
    const double limit = 1e9;
    const double bounded = std::min(std::max(value, -limit), limit);
    return int(value == value ? bounded : 0.0);
}

} // namespace

QPoint PlotWidget::PixelMapping::operator()(double x, double y) const
{
    QPoint pixel;
    map(&x, &y, 1, &pixel);
    return pixel;
}

void PlotWidget::PixelMapping::map(const double *x, const double *y, int count,
                                   QPoint *pixels) const
{
    if (inRange) {
        for (int i = 0; i < count; ++i) {
            const double px = (x[i] - xCentre) * xScale + halfWidth;
            const double py = (yCentre - y[i]) * yScale + halfHeight;
            pixels[i] = QPoint(int(px == px ? px : 0.0), int(py == py ? py : 0.0));
        }
        return;
    }
    for (int i = 0; i < count; ++i)
        pixels[i] = QPoint(toPixelCoordinate((x[i] - xCentre) * xScale + halfWidth),
                           toPixelCoordinate((yCentre - y[i]) * yScale + halfHeight));
}

void PlotWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int w = width();
    const int h = height();
    painter.fillRect(rect(), QColor(255, 255, 255));

    // One pen serves the grid and every series in turn, so a series inherits what the
    // previous one set (a line after dots keeps the round cap).
    QPen pen(QColor(191, 191, 191), 1);
    for (double value : valueTicks(yMin, yMax, 10)) {
        pen.setStyle(value == 0 ? Qt::SolidLine : Qt::DashLine);
        painter.setPen(pen);
        const QPoint from = toPixel(xMin, value);
        gridLines.drawLine(painter, from, toPixel(xMax, value));
        painter.drawText(from.x() - 75, from.y() + 5, formatTickValue(value));
    }

    painter.save();
    painter.translate(70, h / 2);
    painter.rotate(-90);
    painter.drawText(0, 0, yLabel);
    painter.restore();

    for (double value : valueTicks(xMin, xMax, 10)) {
        pen.setStyle(value == 0 ? Qt::SolidLine : Qt::DashLine);
        painter.setPen(pen);
        const QPoint from = toPixel(value, yMin);
        gridLines.drawLine(painter, from, toPixel(value, yMax));
        painter.save();
        painter.translate(from);
        painter.rotate(-90);
        painter.drawText(-75, 5, formatTickValue(value));
        painter.restore();
    }

    painter.drawText(w / 2, h - 65, xLabel);

    const int seriesCount = xSeries.size();
    if (seriesCount == 0)
        return;
    const int hueStep = 360 / seriesCount;
    const int legendStep = w / seriesCount;
    int hue = 240;
    int legendX = 50;
    for (int series = 0; series < seriesCount; ++series) {
        QColor color = QColor::fromHsv(hue % 360, 255, 200);
        color.setAlpha(255);
        pen.setColor(color);
        painter.setPen(pen);
        const QString &label = labels[series];
        if (!label.isEmpty())
            painter.drawText(legendX, 20, label);

        if (styles[series] == Points) {
            pen.setCapStyle(Qt::RoundCap);
            pen.setWidth(10);
            painter.setPen(pen);
            drawSeriesPoints(painter, series);
            if (!label.isEmpty())
                painter.drawPoint(legendX - 30, 20);
        } else if (styles[series] == Line) {
            pen.setWidth(2);
            pen.setStyle(Qt::SolidLine);
            painter.setPen(pen);
            drawSeriesLine(painter, series);
            if (!label.isEmpty())
                painter.drawLine(legendX - 30, 20, legendX - 10, 20);
        }
        hue += hueStep;
        legendX += legendStep;
    }
}

void PlotWidget::drawSeriesPoints(QPainter &painter, int series)
{
    mapSeries(series, pixels);
    // A dot per pixel: more dots on one pixel add nothing but a darker rim. Pixels are
    // marked in a bitmap of the widget and a margin of one dot.
    const int reach = qCeil(painter.pen().widthF() / 2) + 1;
    const int columns = width() + 2 * reach;
    const int rows = height() + 2 * reach;
    seenPixels.fill(0, int((qint64(columns) * rows + 63) / 64));
    uniquePixels.resize(0);
    for (const QPoint &pixel : pixels) {
        const int column = pixel.x() + reach;
        const int row = pixel.y() + reach;
        if (column < 0 || column >= columns || row < 0 || row >= rows)
            continue;
        const qint64 bit = qint64(row) * columns + column;
        quint64 &word = seenPixels[int(bit / 64)];
        const quint64 mask = quint64(1) << (bit % 64);
        if (word & mask)
            continue;
        word |= mask;
        uniquePixels.append(pixel);
    }
    dotLayer.drawPoints(painter, uniquePixels, painter.pen(), rect());
}

void PlotWidget::drawSeriesLine(QPainter &painter, int series)
{
    // Drawn as flat segments, which reproduce the polyline's square caps and bevel
    // joins (polylinesegments.h); other pens are drawn as they are.
    const QPen &pen = painter.pen();
    if (pen.capStyle() != Qt::SquareCap || pen.joinStyle() != Qt::BevelJoin ||
        pen.style() != Qt::SolidLine || pen.color().alpha() != 255) {
        painter.drawPolyline(seriesPixels(series));
        return;
    }
    lineSegments.resize(0);
    QPen flatPen = pen;
    flatPen.setCapStyle(Qt::FlatCap);
    const PixelMapping mapping(*this);
    const double *x = xSeries[series].constData();
    const double *y = ySeries[series].constData();
    const int count = xSeries[series].size();
    // Consecutive points on one pixel add nothing to the polyline. Up to as many of
    // them as the widget has pixels along its edges, the line is drawn as it is.
    const int denseCount = std::max(2, 2 * (width() + height()));
    uniquePixels.resize(0);
    int next = 0;
    for (; next < count; ++next) {
        const QPoint pixel = mapping(x[next], y[next]);
        if (!uniquePixels.isEmpty() && uniquePixels.last() == pixel)
            continue;
        if (uniquePixels.size() == denseCount)
            break;
        uniquePixels.append(pixel);
    }
    // A picture that records shapes gets the polyline, or the distinct segments, as one
    // shape.
    const bool shapes = !rasterizes(painter);
    if (next == count) {
        if (shapes) {
            painter.drawPolyline(uniquePixels);
            return;
        }
        appendPolylineSegments(uniquePixels.constData(), uniquePixels.size(), -2.0, width() + 2.0,
                               lineSegments);
        lineLayer.drawLines(painter, lineSegments, flatPen, rect());
        return;
    }
    // A dense line, such as noisy samples in time order, goes back and forth between the
    // same pixels. Each segment between two pixels is drawn once; the joins lie inside
    // the other segments. The two ends keep the polyline's square caps.
    const QPoint last = mapping(x[count - 1], y[count - 1]);
    int beforeLast = count - 2;
    while (mapping(x[beforeLast], y[beforeLast]) == last)
        --beforeLast;
    const QPoint startPair[2] = {uniquePixels[0], uniquePixels[1]};
    const QPoint endPair[2] = {mapping(x[beforeLast], y[beforeLast]), last};
    appendPolylineSegments(startPair, 2, -2.0, width() + 2.0, lineSegments);
    appendPolylineSegments(endPair, 2, -2.0, width() + 2.0, lineSegments);
    pixelSegments.resize(0);
    // The points are mapped a chunk at a time as the set asks for them, while they are
    // at hand in the cache.
    drawnSegments.appendDistinct(
        [&](int first, int chunk, QPoint *chunkPixels) {
            mapping.map(x + first, y + first, chunk, chunkPixels);
        },
        count, rect().adjusted(-2, -2, 2, 2), pixelSegments);
    if (shapes)
        painter.strokePath(segmentPath(lineSegments, pixelSegments), flatPen);
    else
        lineLayer.drawLines(painter, lineSegments, flatPen, rect(), pixelSegments);
}
