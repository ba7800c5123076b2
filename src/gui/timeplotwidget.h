#ifndef TIMEPLOTWIDGET_H
#define TIMEPLOTWIDGET_H

#include "curveenvelope.h"
#include "dashedlinestamp.h"
#include "hatchfill.h"
#include "plotranges.h"
#include "steeplinelayer.h"
#include "timeplotcache.h"

#include <QDateTime>
#include <QLineF>
#include <QPoint>
#include <QString>
#include <QVector>
#include <QWheelEvent>
#include <QWidget>

#include <cstdint>
#include <optional>

class QPainter;

// Strip chart of up to five curves against wall-clock time, one horizontal band per
// curve, with fault shading, a cursor and a draggable time selection. It draws lists
// that belong to the measurement store through pointers and never changes them. A
// paint takes every sample of the window into account through a summary of the
// recording (timeplotcache.h) and draws each curve from its envelope, at most four
// points per pixel column and run (curveenvelope.h). A picture that records shapes (a
// saved SVG) gets the same envelope as paths and the fault hatch as lines (hatchfill.h).
//
// Besides the plain drag that selects, the widget turns gestures into requests to its
// owner, which keeps the window: Ctrl+wheel and the + and - keys zoom, Shift+drag, the
// middle button and the arrow keys pan, Home goes back to the chosen window. Alt+click
// (or a plain click in cursor mode) places the cursors A and B in turn. None of these
// starts or clears the selection.
class TimePlotWidget : public QWidget
{
    Q_OBJECT

public:
    explicit TimePlotWidget(QWidget *parent = nullptr);

    // Replaces the whole curve set; the pointed-to lists are not copied.
    void setData(const QVector<QDateTime> *timestamps, const QVector<QString> &titles,
                 const QVector<QVector<double> *> &curveData, const QVector<uint16_t> *systemStates,
                 const QVector<double> &minimumRanges);

    // Per curve, a range that replaces the band's automatic one (none: automatic); values
    // outside it are drawn at the band's edge. setData() makes every band automatic.
    void setFixedRanges(const QVector<std::optional<FixedRange>> &ranges);

    // The dragged selection, earlier time first.
    void selection(QDateTime &left, QDateTime &right) const;
    void setSelection(const QDateTime &start, const QDateTime &end);

    QDateTime visibleLeft() const { return left; }
    QDateTime visibleRight() const { return right; }

    // Cursors are times (invalid when not placed), snapped to the nearest sample.
    QDateTime cursorA() const { return cursorTimeA; }
    QDateTime cursorB() const { return cursorTimeB; }
    void clearCursors();
    // In cursor mode a plain left click places a cursor instead of starting a selection.
    void setCursorMode(bool on);

    // The plot as it looks without the pointer's cursor and hover texts.
    void renderPicture(QPainter &painter);

public slots:
    bool setVisibleTimeInterval(const QDateTime &left, const QDateTime &right);
    // The bound lists were emptied or refilled, not only appended to.
    void dataReplaced();

signals:
    void selectionChanged(QDateTime left, QDateTime right);
    void wheelEventReceived(QWheelEvent *event);
    // factor < 1 zooms in; anchor is the time that keeps its column.
    void zoomRequested(double factor, QDateTime anchor);
    // Moves the window later by milliseconds (earlier when negative).
    void panRequested(qint64 milliseconds);
    void homeRequested();
    void cursorsChanged();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

    // Draws every curve of the window (windowSamples()) into its band, whose display
    // range is set. Virtual so that the benchmark can hold the drawing against one
    // polyline through every sample.
    virtual void paintCurves(QPainter &painter);

    // A curve's envelope over axis, as the summary gives it. Virtual so that the benchmark
    // can hold it against one that reads every sample on each paint.
    virtual const QVector<EnvelopePoint> &curveEnvelope(int curve, const TimeAxis &axis)
    {
        return cache.envelope(curve, axis);
    }
    const TimePlotCache &windowSamples() const { return cache; }
    int timeToX(qint64 msecsSinceEpoch) const;
    int valueToY(double value, int curve) const;
    int curveTotal() const { return curveCount; }
    // Memory the plot keeps between paints, in bytes.
    qint64 cacheByteSize() const
    {
        return cache.byteSize() + curveLayer.byteSize() + gridLines.byteSize() +
               faultHatch.byteSize();
    }

private:
    enum class Gesture { Select, Pan, Cursor };

    // The sample left of the pointer, whose state and values the hover texts show;
    // index -1 when there is none.
    struct HoveredSample {
        int index = -1;
        uint16_t state = 0; // without the no-fault bit
    };

    // The steps of a paint, in the order they are drawn.
    void paintFaultShading(QPainter &painter);
    HoveredSample hoveredSample() const;
    void paintSelection(QPainter &painter);
    void paintTimeGrid(QPainter &painter);
    void paintTimeLabels(QPainter &painter);
    void paintCurveTitle(QPainter &painter, int curve);
    void updateDisplayRange(int curve);
    void applyFixedRange(int curve);
    bool isFixed(int curve) const { return curve < fixedRanges.size() && fixedRanges[curve]; }
    void paintValueGrid(QPainter &painter);
    // The labels of one band's value grid, whose ticks lie at rows.
    void paintValueLabels(QPainter &painter, int curve, const QVector<double> &ticks,
                          const QVector<int> &rows);
    void paintPointerLine(QPainter &painter);
    void paintHoveredState(QPainter &painter, const HoveredSample &hovered);
    void paintHoveredValue(QPainter &painter, const HoveredSample &hovered);
    double bandTopY(int curve) const { return double(height()) / curveCount * curve; }

    void placeCursor(int x);
    QDateTime nearestSampleTime(const QDateTime &time) const;
    // Hatches the fault stretches within area, filled with base under the hatch: over their
    // shading, and again over the selection where they overlap it, so that a fault is never
    // taken for the selection.
    void hatchFaults(QPainter &painter, const QRect &area, const QColor &base);
    void drawCursors(QPainter &painter);

    TimeAxis timeAxis() const;
    QDateTime xToTime(int x) const;

    int curveCount = 0;
    const QVector<QDateTime> *timestamps = nullptr;
    QVector<QVector<double> *> curveData;
    QVector<QString> titles;
    QVector<double> minimumRanges;
    QVector<double> displayLow;
    QVector<double> displayHigh;
    QVector<std::optional<FixedRange>> fixedRanges;
    const QVector<uint16_t> *systemStates = nullptr;
    QDateTime left;
    QDateTime right;
    // left and right in milliseconds since the epoch; equal while no window is set.
    qint64 leftMs = 0;
    qint64 rightMs = 0;
    int mouseX = 0;
    int mouseY = 0;
    QDateTime selectionStart;
    QDateTime selectionEnd;

    TimePlotCache cache;
    SteepLineLayer curveLayer;
    DashedLineStamp gridLines;
    HatchFill faultHatch;
    Gesture gesture = Gesture::Select;
    int panLastX = 0;
    bool cursorMode = false;
    bool nextCursorIsB = false;
    QDateTime cursorTimeA;
    QDateTime cursorTimeB;
    // The fault stretches of the last paint, in widget columns.
    QVector<QRect> faultRects;

    // Scratch lists of a paint, kept between paints so that they keep their storage.
    QVector<QPoint> curvePoints;
    QVector<QLineF> curveSegments;
};

#endif
