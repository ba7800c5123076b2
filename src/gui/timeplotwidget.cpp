#include "timeplotwidget.h"

#include "layerscale.h"
#include "plotticks.h"
#include "polylinesegments.h"
#include "systemstatetext.h"
#include "valuelabels.h"

#include <QDebug>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScopedValueRollback>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{

const int plotLeft = 75;
const uint16_t noFaultBit = 0x0200;
const QColor backgroundColor(255, 255, 255);
const QColor faultColor(255, 228, 184);
const QColor selectionColor(254, 213, 138);
const QColor gridColor(191, 191, 191);
const QColor curveColor(30, 144, 255);
const QColor cursorColor(255, 165, 0);
// Hatching that marks a fault, also inside the selection; the cursors A and B.
const QColor faultHatchColor(214, 110, 0);
const QColor cursorAColor(200, 0, 0);
const QColor cursorBColor(0, 128, 0);
const QColor cursorLabelColor(255, 255, 240);

// Truncates toward zero like a cast, but keeps far-off positions in the range of int
// (and of the rasterizer) instead of overflowing.
int truncateToPixel(double value)
{
    const double limit = 1e9;
    if (std::isnan(value))
        return 0;
    return int(std::max(-limit, std::min(limit, value)));
}

QRect columnsRect(int fromX, int toX, int height)
{
    return QRect(QPoint(fromX, 0), QPoint(toX, height - 1));
}

QPen gridPen()
{
    return QPen(gridColor, 1, Qt::DashLine);
}

QPen hoverPen()
{
    return QPen(Qt::black, 2, Qt::SolidLine);
}

// A run of a curve as a subpath of a recorded picture: the polyline through its points,
// without repeated points; a run of one point draws nothing, as a polyline.
void addRunPath(const QVector<QPoint> &points, QPainterPath &path)
{
    QPolygonF run;
    run.reserve(points.size());
    for (const QPoint &point : points) {
        if (run.isEmpty() || run.last() != QPointF(point))
            run.append(point);
    }
    if (run.size() > 1)
        path.addPolygon(run);
}

} // namespace

TimePlotWidget::TimePlotWidget(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_MouseTracking);
    // Every paint fills the whole widget first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void TimePlotWidget::setData(const QVector<QDateTime> *timestamps, const QVector<QString> &titles,
                             const QVector<QVector<double> *> &curveData,
                             const QVector<uint16_t> *systemStates,
                             const QVector<double> &minimumRanges)
{
    this->timestamps = timestamps;
    this->titles = titles;
    this->curveData = curveData;
    this->systemStates = systemStates;
    this->minimumRanges = minimumRanges;
    curveCount = titles.size();
    fixedRanges.clear();
    cache.setSources(timestamps, curveData, systemStates);
    displayLow.fill(std::numeric_limits<double>::infinity(), curveCount);
    displayHigh.fill(-std::numeric_limits<double>::infinity(), curveCount);
    update();
}

void TimePlotWidget::selection(QDateTime &left, QDateTime &right) const
{
    if (selectionEnd < selectionStart) {
        left = selectionEnd;
        right = selectionStart;
    } else {
        left = selectionStart;
        right = selectionEnd;
    }
}

void TimePlotWidget::setSelection(const QDateTime &start, const QDateTime &end)
{
    selectionStart = start;
    selectionEnd = end;
    update();
}

bool TimePlotWidget::setVisibleTimeInterval(const QDateTime &left, const QDateTime &right)
{
    if (!left.isValid() || !right.isValid() || !(left < right)) {
        qWarning() << "TimeplotWidget: invalid time interval";
        return false;
    }
    this->left = left;
    this->right = right;
    leftMs = left.toMSecsSinceEpoch();
    rightMs = right.toMSecsSinceEpoch();
    update();
    return true;
}

void TimePlotWidget::dataReplaced()
{
    cache.reset();
    update();
}

void TimePlotWidget::mousePressEvent(QMouseEvent *event)
{
    const int x = qRound(event->localPos().x());
    const bool leftButton = event->button() == Qt::LeftButton;
    if (event->button() == Qt::MiddleButton ||
        (leftButton && event->modifiers() & Qt::ShiftModifier)) {
        gesture = Gesture::Pan;
        panLastX = x;
        return;
    }
    if (leftButton && (cursorMode || event->modifiers() & Qt::AltModifier)) {
        gesture = Gesture::Cursor;
        placeCursor(x);
        return;
    }
    gesture = Gesture::Select;
    selectionStart = xToTime(x);
    selectionEnd = QDateTime();
    update();
}

void TimePlotWidget::mouseReleaseEvent(QMouseEvent *)
{
    const Gesture ended = gesture;
    gesture = Gesture::Select;
    if (ended != Gesture::Select)
        return;
    if (selectionStart.isValid() && selectionEnd.isValid() && selectionStart != selectionEnd) {
        QDateTime earlier;
        QDateTime later;
        selection(earlier, later);
        emit selectionChanged(earlier, later);
    }
}

void TimePlotWidget::mouseMoveEvent(QMouseEvent *event)
{
    mouseX = qRound(event->localPos().x());
    mouseY = qRound(event->localPos().y());
    if (gesture == Gesture::Pan && event->buttons() != Qt::NoButton) {
        // Dragging the plot right shows earlier times.
        const int moved = mouseX - panLastX;
        panLastX = mouseX;
        if (moved != 0 && width() > plotLeft)
            emit panRequested(-qint64(double(moved) * (rightMs - leftMs) / (width() - plotLeft)));
    } else if (gesture == Gesture::Select && event->buttons() & Qt::LeftButton) {
        selectionEnd = xToTime(mouseX);
    }
    update();
}

void TimePlotWidget::wheelEvent(QWheelEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        const double notches = event->angleDelta().y() / 120.0;
        if (notches != 0)
            emit zoomRequested(std::pow(0.8, notches), xToTime(qRound(event->position().x())));
        event->accept();
        return;
    }
    emit wheelEventReceived(event);
}

void TimePlotWidget::keyPressEvent(QKeyEvent *event)
{
    const QDateTime centre = QDateTime::fromMSecsSinceEpoch(leftMs + (rightMs - leftMs) / 2);
    const qint64 tenth = (rightMs - leftMs) / 10;
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        emit zoomRequested(0.5, centre);
        break;
    case Qt::Key_Minus:
        emit zoomRequested(2, centre);
        break;
    case Qt::Key_Left:
        emit panRequested(-tenth);
        break;
    case Qt::Key_Right:
        emit panRequested(tenth);
        break;
    case Qt::Key_Home:
        emit homeRequested();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TimePlotWidget::clearCursors()
{
    cursorTimeA = QDateTime();
    cursorTimeB = QDateTime();
    nextCursorIsB = false;
    update();
    emit cursorsChanged();
}

void TimePlotWidget::setCursorMode(bool on)
{
    cursorMode = on;
}

void TimePlotWidget::placeCursor(int x)
{
    const QDateTime time = nearestSampleTime(xToTime(x));
    if (!time.isValid())
        return;
    (nextCursorIsB ? cursorTimeB : cursorTimeA) = time;
    nextCursorIsB = !nextCursorIsB;
    update();
    emit cursorsChanged();
}

QDateTime TimePlotWidget::nearestSampleTime(const QDateTime &time) const
{
    if (!time.isValid() || !timestamps || timestamps->isEmpty())
        return time;
    // Only samples in the window count: a cursor is placed where it can be seen.
    const auto begin = std::lower_bound(timestamps->begin(), timestamps->end(), left);
    const auto end = std::upper_bound(begin, timestamps->end(), right);
    if (begin == end)
        return time;
    const auto after = std::lower_bound(begin, end, time);
    if (after == begin)
        return *after;
    if (after == end)
        return *(end - 1);
    const QDateTime &before = *(after - 1);
    return before.msecsTo(time) <= time.msecsTo(*after) ? before : *after;
}

void TimePlotWidget::renderPicture(QPainter &painter)
{
    // No sample lies left of this column, so nothing counts as hovered.
    const QScopedValueRollback<int> noPointer(mouseX, std::numeric_limits<int>::min());
    render(&painter);
}

TimeAxis TimePlotWidget::timeAxis() const
{
    TimeAxis axis;
    axis.leftMs = leftMs;
    axis.rightMs = rightMs;
    axis.plotLeft = plotLeft;
    axis.width = width();
    return axis;
}

int TimePlotWidget::timeToX(qint64 msecsSinceEpoch) const
{
    return timeAxis().column(msecsSinceEpoch);
}

QDateTime TimePlotWidget::xToTime(int x) const
{
    if (leftMs == rightMs || width() == plotLeft)
        return QDateTime();
    return QDateTime::fromMSecsSinceEpoch(
        qint64(leftMs + (double(rightMs) - leftMs) * (x - plotLeft) / (width() - plotLeft)));
}

int TimePlotWidget::valueToY(double value, int curve) const
{
    const double low = displayLow[curve];
    const double high = displayHigh[curve];
    if (low == high)
        return 0;
    if (isFixed(curve) && !std::isnan(value))
        value = qBound(low, value, high);
    const double band = double(height()) / curveCount;
    const int bottom = int((curve + 1) * band);
    const int top = int(curve * band);
    return truncateToPixel((top - bottom) * (value - low) / (high - low) + bottom);
}

void TimePlotWidget::paintCurves(QPainter &painter)
{
    // Each curve's envelope as points, split at missing values and time gaps into runs, each run as
    // the flat segments of its polyline (polylinesegments.h); all of them drawn in one layer.
    // A picture that records shapes (a saved SVG) gets each curve as one path of its runs.
    const TimeAxis axis = timeAxis();
    const QPen pen(curveColor, 2, Qt::SolidLine, Qt::FlatCap);
    const bool shapes = !rasterizes(painter);
    QPainterPath curvePath;
    const auto appendRun = [&] {
        if (shapes)
            addRunPath(curvePoints, curvePath);
        else if (!curvePoints.isEmpty())
            appendPolylineSegments(curvePoints.constData(), curvePoints.size(), -2.0, width() + 2.0,
                                   curveSegments);
        curvePoints.resize(0);
    };
    for (int curve = 0; curve < curveCount; ++curve) {
        curveSegments.resize(0);
        curvePath = QPainterPath();
        for (const EnvelopePoint &point : curveEnvelope(curve, axis)) {
            if (std::isnan(point.value))
                appendRun();
            else
                curvePoints.append(QPoint(point.column, valueToY(point.value, curve)));
        }
        appendRun();
        if (shapes)
            painter.strokePath(curvePath, QPen(curveColor, 2, Qt::SolidLine));
        else
            curveLayer.drawLines(painter, curveSegments, pen, rect());
    }
}

void TimePlotWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // On whole pixels; filled faster without antialiasing.
    painter.fillRect(rect(), backgroundColor);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!left.isValid() || !right.isValid())
        return;

    cache.update(leftMs, rightMs);
    // Fault stretches are whole columns, filled without antialiasing: with it, Qt fills
    // the same pixels at many times the cost, a lot over many narrow stretches.
    painter.setRenderHint(QPainter::Antialiasing, false);
    paintFaultShading(painter);
    painter.setRenderHint(QPainter::Antialiasing);
    hatchFaults(painter, rect(), faultColor);
    const HoveredSample hovered = hoveredSample();
    paintSelection(painter);
    paintTimeGrid(painter);
    paintTimeLabels(painter);
    if (timestamps && !timestamps->isEmpty() && curveCount > 0) {
        for (int curve = 0; curve < curveCount; ++curve) {
            paintCurveTitle(painter, curve);
            updateDisplayRange(curve);
            applyFixedRange(curve);
        }
        paintCurves(painter);
        // The value grid lies over the curves, as each band's grid over its curve.
        paintValueGrid(painter);
    }
    paintPointerLine(painter);
    drawCursors(painter);
    paintHoveredState(painter, hovered);
    paintHoveredValue(painter, hovered);
}

void TimePlotWidget::paintFaultShading(QPainter &painter)
{
    faultRects.resize(0);
    if (!timestamps || timestamps->isEmpty() || !systemStates)
        return;
    for (const ColumnStretch &stretch : cache.faultStretches(timeAxis())) {
        faultRects.append(columnsRect(stretch.from, stretch.to, height()) & rect());
        painter.fillRect(faultRects.last(), faultColor);
    }
}

TimePlotWidget::HoveredSample TimePlotWidget::hoveredSample() const
{
    // The last sample left of the pointer, none in a time gap.
    HoveredSample hovered;
    if (!timestamps || timestamps->isEmpty() || !systemStates)
        return hovered;
    hovered.index = cache.hoveredIndex(timeAxis(), mouseX);
    if (hovered.index >= 0 && hovered.index < systemStates->size())
        hovered.state = systemStates->at(hovered.index) & ~noFaultBit;
    return hovered;
}

void TimePlotWidget::paintSelection(QPainter &painter)
{
    if (!selectionStart.isValid() || !selectionEnd.isValid() || selectionStart == selectionEnd)
        return;
    QDateTime earlier;
    QDateTime later;
    selection(earlier, later);
    const QRect selectionRect = columnsRect(timeToX(earlier.toMSecsSinceEpoch()),
                                            timeToX(later.toMSecsSinceEpoch()) - 1, height()) &
                                rect();
    painter.fillRect(selectionRect, selectionColor);
    hatchFaults(painter, selectionRect, selectionColor);
}

void TimePlotWidget::paintTimeGrid(QPainter &painter)
{
    painter.setPen(gridPen());
    qint64 tickStep = 0;
    for (const QDateTime &tick : timeTicks(left, right, tickStep)) {
        const int x = timeToX(tick.toMSecsSinceEpoch());
        gridLines.drawLine(painter, QPoint(x, 0), QPoint(x, height()));
    }
}

void TimePlotWidget::paintTimeLabels(QPainter &painter)
{
    // Under the curves: a label on a backing over the curves would hide the samples
    // behind it. Each reads upwards from just above the bottom edge, left of its grid line.
    const int h = height();
    painter.setPen(gridPen());
    qint64 tickStep = 0;
    const QVector<QDateTime> ticks = timeTicks(left, right, tickStep);
    const QString tickFormat = tickStep < 60000      ? QStringLiteral("HH:mm:ss")
                               : tickStep < 86400000 ? QStringLiteral("HH:mm")
                                                     : QStringLiteral("yyyy-MM-dd");
    for (const QDateTime &tick : ticks) {
        const int x = timeToX(tick.toMSecsSinceEpoch());
        const QString text = tick.toString(tickFormat);
        painter.save();
        painter.translate(x, h);
        painter.rotate(-90);
        painter.drawText(2, -2, text);
        painter.restore();
    }
}

void TimePlotWidget::paintCurveTitle(QPainter &painter, int curve)
{
    painter.setPen(QPen(Qt::black, 2, Qt::SolidLine));
    const double bandTop = bandTopY(curve);
    painter.drawText(100, int(bandTop + 20),
                     isFixed(curve) ? titles[curve] + tr("  [fixed range]") : titles[curve]);
    if (curve > 0)
        painter.drawLine(0, int(bandTop), width(), int(bandTop));
}

void TimePlotWidget::updateDisplayRange(int curve)
{
    // The window's values with a fifth to spare, or the curve's minimum range about their
    // middle.
    double low = 0;
    double high = 0;
    cache.valueRange(curve, low, high);
    double span = 1.2 * (high - low);
    if (!(minimumRanges.value(curve) < span))
        span = minimumRanges.value(curve);
    const double centre = (high + low) / 2;
    displayHigh[curve] = centre + span / 2;
    displayLow[curve] = centre - span / 2;
}

// A fixed range overrides whatever the automatic rule above decided.
void TimePlotWidget::applyFixedRange(int curve)
{
    if (!isFixed(curve))
        return;
    displayLow[curve] = fixedRanges[curve]->minimum;
    displayHigh[curve] = fixedRanges[curve]->maximum;
}

void TimePlotWidget::setFixedRanges(const QVector<std::optional<FixedRange>> &ranges)
{
    fixedRanges = ranges;
    update();
}

void TimePlotWidget::paintValueGrid(QPainter &painter)
{
    painter.setPen(gridPen());
    for (int curve = 0; curve < curveCount; ++curve) {
        const QVector<double> ticks = valueTicks(displayLow[curve], displayHigh[curve], 5);
        QVector<int> rows;
        for (double value : ticks) {
            rows.append(valueToY(value, curve));
            gridLines.drawLine(painter, QPoint(0, rows.last()), QPoint(width(), rows.last()));
        }
        paintValueLabels(painter, curve, ticks, rows);
    }
}

void TimePlotWidget::paintValueLabels(QPainter &painter, int curve, const QVector<double> &ticks,
                                      const QVector<int> &rows)
{
    // Labels close below the band's top are left out; of the others, one that would meet
    // the label drawn before it. Each lies on a white backing within the strip left of the
    // time axis, so that no grid line crosses its text.
    const QFontMetrics metrics = painter.fontMetrics();
    const double bandTop = bandTopY(curve);
    QVector<int> labelled;
    QVector<int> tops;
    for (int tick = 0; tick < ticks.size(); ++tick) {
        if (rows[tick] > bandTop + 15) {
            labelled.append(tick);
            tops.append(rows[tick] - 2 - metrics.ascent());
        }
    }
    const int textHeight = metrics.ascent() + metrics.descent();
    const QVector<bool> drawn = nonOverlappingLabels(tops, textHeight);
    for (int label = 0; label < labelled.size(); ++label) {
        if (!drawn[label])
            continue;
        const int tick = labelled[label];
        const QString text = formatTickValue(ticks[tick]);
        const int backingWidth = std::min(plotLeft, metrics.horizontalAdvance(text) + 4);
        painter.fillRect(QRect(0, tops[label], backingWidth, textHeight), backgroundColor);
        painter.drawText(2, rows[tick] - 2, text);
    }
}

void TimePlotWidget::paintPointerLine(QPainter &painter)
{
    painter.setPen(QPen(cursorColor, 1, Qt::DotLine));
    if (mouseX > 0)
        painter.drawLine(mouseX, 0, mouseX, height());
}

// Hover texts end just above (state) and just below (value) the pointer, on the side of
// the pointer with more room.
void TimePlotWidget::paintHoveredState(QPainter &painter, const HoveredSample &hovered)
{
    if (hovered.index < 0 || hovered.state == 0)
        return;
    painter.setPen(hoverPen());
    const QString text = systemStateText(hovered.state, true);
    if (mouseX > width() / 2)
        painter.drawText(QRect(QPoint(0, 0), QPoint(mouseX - 3, mouseY - 1)),
                         Qt::AlignRight | Qt::AlignBottom, text);
    else
        painter.drawText(QRect(QPoint(mouseX, 0), QPoint(mouseX + width() - 1, mouseY - 1)),
                         Qt::AlignLeft | Qt::AlignBottom, text);
}

void TimePlotWidget::paintHoveredValue(QPainter &painter, const HoveredSample &hovered)
{
    const int h = height();
    if (curveCount == 0 || h <= 0)
        return;
    const int band = mouseY * curveCount / h;
    const QVector<double> *values = band >= 0 && band < curveCount ? curveData[band] : nullptr;
    if (!values || hovered.index < 0 || hovered.index >= values->size() ||
        std::isnan(values->at(hovered.index)))
        return;
    painter.setPen(hoverPen());
    const QString text = QString::number(values->at(hovered.index), 'f', 2);
    if (mouseX > width() / 2)
        painter.drawText(QRect(QPoint(0, 15), QPoint(mouseX - 3, mouseY + 14)),
                         Qt::AlignRight | Qt::AlignBottom, text);
    else
        painter.drawText(
            QRect(QPoint(mouseX + 10, 15), QPoint(mouseX + 10 + width() - 1, mouseY + 14)),
            Qt::AlignLeft | Qt::AlignBottom, text);
}

void TimePlotWidget::hatchFaults(QPainter &painter, const QRect &area, const QColor &base)
{
    QVector<QRect> overlaps;
    overlaps.reserve(faultRects.size());
    for (const QRect &fault : qAsConst(faultRects))
        overlaps.append(fault & area);
    faultHatch.fill(painter, overlaps, base, faultHatchColor);
}

void TimePlotWidget::drawCursors(QPainter &painter)
{
    const qint64 spanMs = rightMs - leftMs;
    const QString format = spanMs >= 86400000 ? "yyyy-MM-dd HH:mm:ss" : "HH:mm:ss.zzz";
    const QFontMetrics metrics = painter.fontMetrics();
    const int padding = 3;
    // Below the first band's title.
    int labelTop = 26;
    for (int cursor = 0; cursor < 2; ++cursor) {
        const QDateTime &time = cursor == 0 ? cursorTimeA : cursorTimeB;
        if (!time.isValid())
            continue;
        if (time < left || time > right)
            continue;
        // A cursor exactly at the window's right end maps to column W.
        const int x = qMin(timeToX(time.toMSecsSinceEpoch()), width() - 1);
        const QColor color = cursor == 0 ? cursorAColor : cursorBColor;
        painter.setPen(QPen(color, 1, Qt::SolidLine));
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.drawLine(x, 0, x, height());
        painter.setRenderHint(QPainter::Antialiasing, true);

        // The label stays inside the widget: right of the line, or left of it near the
        // right edge; B's label sits below A's.
        const QString text = QString(cursor == 0 ? "A " : "B ") + time.toString(format);
        QRect box(0, labelTop, metrics.horizontalAdvance(text) + 2 * padding,
                  metrics.height() + 2 * padding);
        box.moveLeft(x + box.width() + 2 < width() ? x + 2 : x - 2 - box.width());
        painter.fillRect(box, cursorLabelColor);
        painter.drawRect(box.adjusted(0, 0, -1, -1));
        painter.drawText(box, Qt::AlignCenter, text);
        labelTop = box.bottom() + 3;
    }
}
