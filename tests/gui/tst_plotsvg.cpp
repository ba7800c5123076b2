#include "layerpicture.h"
#include "plotpicture.h"
#include "plotwidget.h"
#include "testseed.h"
#include "timeplotwidget.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QtTest>

#include <cmath>
#include <limits>

// A saved SVG picture of a plot is drawn as shapes (curves, dots, grid, hatch) and,
// rendered, looks like the PNG of the same view.
class TestPlotSvg : public QObject
{
    Q_OBJECT

private slots:
    void timePlotLikeItsPng();
    void mappingChartLikeItsPng();
    void longWindowStaysSmall();
};

namespace
{

// Mean over the pixels of their largest channel difference, 0..255. Most of what differs
// is text: the same font, its glyphs placed and smoothed a little differently by the SVG
// renderer. Then the edges of curves drawn as separate segments in the PNG and as one path
// in the SVG, and the hatch as pixels or as lines.
const double meanDifferenceBound = 3.0;

const double missing = std::numeric_limits<double>::quiet_NaN();

QImage renderedSvg(const QByteArray &svg, const QSize &size)
{
    QSvgRenderer renderer(svg);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), size));
    return image;
}

void compareSvgWithPng(const PlotPicture &picture)
{
    const QByteArray svg = picture.svg();
    QVERIFY2(!svg.contains("<image"), "the SVG holds pixels");
    const QImage png = picture.image(1);
    QImage white(png.size(), png.format());
    white.fill(Qt::white);
    const PictureDifference drawn = pictureDifference(png, white);
    const PictureDifference difference = pictureDifference(png, renderedSvg(svg, png.size()));
    qInfo("SVG %d bytes; PNG against white: mean %.3f; SVG against PNG: mean %.3f, largest %d",
          int(svg.size()), drawn.mean, difference.mean, difference.largest);
    // The plot draws well beyond the bound, so that losing its curves shows.
    QVERIFY(drawn.mean > 2 * meanDifferenceBound);
    QVERIFY2(difference.mean <= meanDifferenceBound, qPrintable(QString::number(difference.mean)));
}

// Samples every intervalMs from start; curves 0, 3, ... noise over their whole band (all
// of them if noisy), 1, 4, ... a cool-down with spikes and a missing stretch, 2, 5, ...
// steps; faults now and then.
struct Recording {
    QVector<QDateTime> timestamps;
    QVector<QVector<double>> curves;
    QVector<uint16_t> states;

    Recording(const QDateTime &start, qint64 intervalMs, int count, int curveCount,
              bool noisy = false)
        : curves(curveCount)
    {
        QRandomGenerator random = seededRandom();
        for (int i = 0; i < count; ++i) {
            timestamps.append(start.addMSecs(i * intervalMs));
            for (int curve = 0; curve < curveCount; ++curve) {
                double value;
                switch (noisy ? 0 : curve % 3) {
                case 0:
                    value = random.bounded(10.0);
                    break;
                case 1:
                    value = 20 + 60 * std::exp(-3.0 * i / count) + (i % 97 == 0 ? 15 : 0);
                    if (i > count / 2 && i < count / 2 + count / 50)
                        value = missing;
                    break;
                default:
                    value = 800 + 5 * (i * 7 / count);
                }
                curves[curve].append(value);
            }
            const int phase = i % (count / 5);
            states.append(phase > count / 20 && phase < count / 12 ? 0x0201 : 0x0200);
        }
    }

    void bind(TimePlotWidget &plot)
    {
        QVector<QString> titles;
        QVector<QVector<double> *> data;
        for (int curve = 0; curve < curves.size(); ++curve) {
            titles.append(QString("Curve %1").arg(curve));
            data.append(&curves[curve]);
        }
        plot.setData(&timestamps, titles, data, &states, QVector<double>(curves.size(), 1));
    }
};

PlotPicture pictureOf(TimePlotWidget &plot)
{
    return PlotPicture(
        plot.size(), [&plot](QPainter &painter) { plot.renderPicture(painter); }, "caption");
}

} // namespace

void TestPlotSvg::timePlotLikeItsPng()
{
    const QDateTime start(QDate(2024, 5, 6), QTime(10, 0));
    Recording recording(start, 500, 1200, 3);
    TimePlotWidget plot;
    plot.resize(800, 450);
    recording.bind(plot);
    QVERIFY(plot.setVisibleTimeInterval(start, start.addSecs(600)));
    plot.setSelection(start.addSecs(380), start.addSecs(450));
    compareSvgWithPng(pictureOf(plot));
}

void TestPlotSvg::mappingChartLikeItsPng()
{
    QRandomGenerator random = seededRandom();
    // A measured curve that runs back and forth over the same pixels (drawn from its
    // distinct segments), a fit through it and two reference points.
    QVector<double> measuredT;
    QVector<double> measuredNu;
    double t = 50;
    for (int i = 0; i < 20000; ++i) {
        t = qBound(20.0, t + random.bounded(2.0) - 1, 80.0);
        measuredT.append(t);
        measuredNu.append(30 * std::exp(-t / 25) + random.bounded(0.5));
    }
    QVector<double> fitT;
    QVector<double> fitNu;
    for (int i = 0; i <= 100; ++i) {
        fitT.append(20 + 0.6 * i);
        fitNu.append(30 * std::exp(-fitT.last() / 25) + 0.25);
    }
    PlotWidget chart;
    chart.resize(640, 480);
    chart.setXLabel("T (°C)");
    chart.setYLabel("nu (cSt)");
    chart.setPictureCaption("caption");
    chart.plot(measuredT, measuredNu, PlotWidget::Line, "nu_measured");
    chart.plot(fitT, fitNu, PlotWidget::Line, "nu_fit");
    chart.plot({40, 70}, {6, 2.5}, PlotWidget::Points, "nu_ref");
    const PlotPicture picture(
        chart.size(), [&chart](QPainter &painter) { chart.render(&painter); }, "caption");
    compareSvgWithPng(picture);
}

void TestPlotSvg::longWindowStaysSmall()
{
    // "2 months" of samples every 30 s in five bands of 1600 x 900, all noise: a curve has
    // at most four points per pixel column, however many samples it has.
    const QDateTime start(QDate(2024, 3, 1), QTime(0, 0));
    const int count = 56 * 24 * 120;
    Recording recording(start, 30000, count, 5, true);
    TimePlotWidget plot;
    plot.resize(1600, 900);
    recording.bind(plot);
    QVERIFY(plot.setVisibleTimeInterval(start, start.addDays(56)));
    const QByteArray svg = pictureOf(plot).svg();
    qInfo("1600 x 900, five bands, 2 months of %d samples: %d bytes", count, int(svg.size()));
    QVERIFY(!svg.contains("<image"));
    QVERIFY(svg.size() < 1000000);
}

QTEST_MAIN(TestPlotSvg)
#include "tst_plotsvg.moc"
