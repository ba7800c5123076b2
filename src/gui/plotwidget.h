#ifndef PLOTWIDGET_H
#define PLOTWIDGET_H

#include "dashedlinestamp.h"
#include "dotlayer.h"
#include "segmentset.h"
#include "steeplinelayer.h"

#include <QPolygon>
#include <QString>
#include <QVector>
#include <QWidget>

class PlotPicture;

// A small XY chart: series of dots or polylines in their own hues, over a common data
// range centred in the widget with an 80 px margin, with a dashed grid, value labels,
// axis titles and a legend. Iso view draws both axes at the same scale. Its context
// menu and the keys Ctrl+S and Ctrl+C save the picture (PNG or SVG) or copy it.
class PlotWidget : public QWidget
{
    Q_OBJECT

public:
    enum PlotStyle { Points = 0, Line = 1 };
    Q_ENUM(PlotStyle)

    explicit PlotWidget(QWidget *parent = nullptr);

public slots:
    void setXLabel(const QString &label);
    void setYLabel(const QString &label);
    // A line below the saved or copied picture, e.g. what the axes show with their units.
    void setPictureCaption(const QString &caption);
    // Appends a series and shows the widget; x and y of different sizes are ignored.
    void plot(const QVector<double> &xData, const QVector<double> &yData, PlotStyle plotStyle,
              const QString &label = QString(), bool isoView = false);
    void clear();

protected:
    void paintEvent(QPaintEvent *event) override;

    // Draw one series with the painter's pen. Virtual so that the benchmark can hold
    // them against QPainter::drawPoints and drawPolyline.
    virtual void drawSeriesPoints(QPainter &painter, int series);
    virtual void drawSeriesLine(QPainter &painter, int series);
    // A series' points in pixels of the widget.
    QPolygon seriesPixels(int series) const;

private:
    // Maps a series' points to pixels of the widget, into pixels.
    void mapSeries(int series, QPolygon &pixels) const;
    PlotPicture picture();
    QPoint toPixel(double x, double y) const;

    // The mapping of values to pixels, worked out once for a paint.
    struct PixelMapping {
        explicit PixelMapping(const PlotWidget &plot);
        QPoint operator()(double x, double y) const;
        void map(const double *x, const double *y, int count, QPoint *pixels) const;
        double xScale;
        double yScale;
        double xCentre;
        double yCentre;
        int halfWidth;
        int halfHeight;
        bool inRange;
    };

    QVector<QVector<double>> xSeries;
    QVector<QVector<double>> ySeries;
    QVector<int> styles;
    QVector<QString> labels;
    QString xLabel;
    QString yLabel;
    QString pictureCaption;
    double xMin;
    double xMax;
    double yMin;
    double yMax;
    bool isoView = false;

    DashedLineStamp gridLines;
    SteepLineLayer lineLayer;
    DotLayer dotLayer;
    // Scratch lists of a paint, kept so that they keep their storage.
    QPolygon pixels;
    QPolygon uniquePixels;
    QVector<QLineF> lineSegments;
    QVector<QLine> pixelSegments;
    QVector<quint64> seenPixels;
    SegmentSet drawnSegments;
};

#endif
