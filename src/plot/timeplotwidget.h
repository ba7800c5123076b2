#ifndef TIMEPLOTWIDGET_H
#define TIMEPLOTWIDGET_H

#include "plot/timegaprule.h"

#include <QDateTime>
#include <QLineF>
#include <QPoint>
#include <QString>
#include <QVector>
#include <QWheelEvent>
#include <QWidget>

#include <cstdint>

class QPainter;

// Strip chart of up to five curves against wall-clock time, one horizontal band per
// curve, with fault shading, a cursor and a draggable time selection. It draws lists
// that belong to the measurement store through pointers and never changes them. A
// paint walks at most about 4000 samples per curve, however long the recording.
class TimePlotWidget : public QWidget
{
    Q_OBJECT

public:
    explicit TimePlotWidget(QWidget *parent = nullptr);

    // Replaces the whole curve set; the pointed-to lists are not copied.
    void setData(const QVector<QDateTime> *timestamps, const QVector<QString> &titles,
                 const QVector<QVector<double> *> &curveData, const QVector<uint16_t> *systemStates,
                 const QVector<double> &minimumRanges);

    // The dragged selection, earlier time first.
    void selection(QDateTime &left, QDateTime &right) const;
    void setSelection(const QDateTime &start, const QDateTime &end);

public slots:
    bool setVisibleTimeInterval(const QDateTime &left, const QDateTime &right);

signals:
    void selectionChanged(QDateTime left, QDateTime right);
    void wheelEventReceived(QWheelEvent *event);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

    // Draws one unbroken run of a curve with the painter's pen. A polyline of a wide
    // pen is filled as one outline, which hangs on noisy data; this draws the same
    // shape as flat segments (polylinesegments.h). Virtual so that the benchmark can
    // hold it against the plain polyline.
    virtual void drawCurveRun(QPainter &painter, const QPoint *points, int count);

private:
    int timeToX(qint64 msecsSinceEpoch) const;
    QDateTime xToTime(int x) const;
    int valueToY(double value, int curve) const;

    int curveCount = 0;
    const QVector<QDateTime> *timestamps = nullptr;
    QVector<QVector<double> *> curveData;
    QVector<QString> titles;
    QVector<double> minimumRanges;
    QVector<double> displayLow;
    QVector<double> displayHigh;
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

    TimeGapRule gapRule;

    // Scratch lists of a paint, kept between paints so that they keep their storage.
    QVector<int> sampleX;
    // Whether a visited sample lies after a time gap (timegaprule.h).
    QVector<bool> gapBefore;
    QVector<double> curveValues;
    QVector<QPoint> curvePoints;
    QVector<QLineF> curveSegments;
};

#endif
