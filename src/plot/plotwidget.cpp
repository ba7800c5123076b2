#include "plotwidget.h"

#include "plot/plotpicture.h"
#include "plot/plotticks.h"

#include <QAction>

#include <QPainter>
#include <QPolygon>

#include <cmath>
#include <limits>

namespace
{

const double infinity = std::numeric_limits<double>::infinity();
const int margin = 80;

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
    const int w = width();
    const int h = height();
    double xScale = xMin == xMax ? 1 : (w - 2 * margin) / (xMax - xMin);
    double yScale = yMin == yMax ? 1 : (h - 2 * margin) / (yMax - yMin);
    if (isoView) {
        xScale = qMin(xScale, yScale);
        yScale = xScale;
    }
    const double px = (x - (xMin + xMax) / 2) * xScale + w / 2;
    const double py = ((yMin + yMax) / 2 - y) * yScale + h / 2;
    // Far-off or non-finite values must not overflow the conversion to int.
    const auto toInt = [](double value) {
        const double limit = 1e9;
        return std::isnan(value) ? 0 : int(qBound(-limit, value, limit));
    };
    return QPoint(toInt(px), toInt(py));
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
        painter.drawLine(from, toPixel(xMax, value));
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
        painter.drawLine(from, toPixel(value, yMax));
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

        QPolygon pixels;
        pixels.reserve(xSeries[series].size());
        for (int i = 0; i < xSeries[series].size(); ++i)
            pixels.append(toPixel(xSeries[series][i], ySeries[series][i]));
        const QString &label = labels[series];
        if (!label.isEmpty())
            painter.drawText(legendX, 20, label);

        if (styles[series] == Points) {
            pen.setCapStyle(Qt::RoundCap);
            pen.setWidth(10);
            painter.setPen(pen);
            painter.drawPoints(pixels);
            if (!label.isEmpty())
                painter.drawPoint(legendX - 30, 20);
        } else if (styles[series] == Line) {
            pen.setWidth(2);
            pen.setStyle(Qt::SolidLine);
            painter.setPen(pen);
            painter.drawPolyline(pixels);
            if (!label.isEmpty())
                painter.drawLine(legendX - 30, 20, legendX - 10, 20);
        }
        hue += hueStep;
        legendX += legendStep;
    }
}
