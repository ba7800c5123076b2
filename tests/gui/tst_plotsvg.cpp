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

// Mean over the pixels of their largest colour channel difference, 0..255. Most of what
// differs is text, its glyphs placed and smoothed a little differently by the SVG renderer;
// then the edges of curves drawn as separate segments in the PNG and as one path in the SVG.
const double meanDifferenceBound = 3.0;

void compareSvgWithPng(const QSize &size, const std::function<void(QPainter &)> &draw)
{
    const PlotPicture picture(size, draw, "caption");
    const QByteArray svg = picture.svg();
    QVERIFY2(!svg.contains("<image"), "the SVG holds pixels");
    const QImage png = picture.image(1);
    QImage rendered(png.size(), png.format());
    rendered.fill(Qt::white);
    QPainter painter(&rendered);
    QSvgRenderer(svg).render(&painter, QRectF(rendered.rect()));
    painter.end();
    QImage white(png.size(), png.format());
    white.fill(Qt::white);
    const double drawn = pictureDifference(png, white).mean;
    const PictureDifference difference = pictureDifference(png, rendered);
    qInfo("SVG %d bytes; PNG against white: mean %.3f; SVG against PNG: mean %.3f, largest %d",
          int(svg.size()), drawn, difference.mean, difference.largest);
    // The plot draws well beyond the bound, so that losing its curves shows.
    QVERIFY(drawn > 2 * meanDifferenceBound);
    QVERIFY2(difference.mean <= meanDifferenceBound, qPrintable(QString::number(difference.mean)));
}

// Samples every intervalMs; in bands 0, 3 (all of them if noisy) noise over the band, in
// 1, 4 a cool-down with spikes and a missing stretch, in 2 steps; faults now and then.
struct Recording {
    QVector<QDateTime> timestamps;
    QVector<QVector<double>> curves;
    QVector<uint16_t> states;

    Recording(const QDateTime &start, qint64 intervalMs, int count, int bands, bool noisy)
        : curves(bands)
    {
        QRandomGenerator random = seededRandom();
        for (int i = 0; i < count; ++i) {
            timestamps.append(start.addMSecs(i * intervalMs));
            const bool missing = i > count / 2 && i < count / 2 + count / 50;
            const double coolDown = 20 + 60 * std::exp(-3.0 * i / count) + (i % 97 ? 0 : 15);
            const double values[] = {random.bounded(10.0),
                                     missing ? std::numeric_limits<double>::quiet_NaN() : coolDown,
                                     800.0 + 5 * (i * 7 / count)};
            for (int band = 0; band < bands; ++band)
                curves[band].append(values[noisy ? 0 : band % 3]);
            const int phase = i % (count / 5);
            states.append(phase > count / 20 && phase < count / 12 ? 0x0201 : 0x0200);
        }
    }

    void bind(TimePlotWidget &plot)
    {
        QVector<QVector<double> *> data;
        for (QVector<double> &curve : curves)
            data.append(&curve);
        plot.setData(&timestamps, QVector<QString>(curves.size(), "Band"), data, &states,
                     QVector<double>(curves.size(), 1));
    }
};

} // namespace

void TestPlotSvg::timePlotLikeItsPng()
{
    const QDateTime start(QDate(2024, 5, 6), QTime(10, 0));
    Recording recording(start, 500, 1200, 3, false);
    TimePlotWidget plot;
    plot.resize(800, 450);
    recording.bind(plot);
    QVERIFY(plot.setVisibleTimeInterval(start, start.addSecs(600)));
    plot.setSelection(start.addSecs(380), start.addSecs(450));
    compareSvgWithPng(plot.size(), [&plot](QPainter &painter) { plot.renderPicture(painter); });
}

void TestPlotSvg::mappingChartLikeItsPng()
{
    // A measured curve that runs back and forth over the same pixels (drawn from its
    // distinct segments), a fit through it and two reference points.
    QRandomGenerator random = seededRandom();
    QVector<double> t;
    QVector<double> nu;
    QVector<double> fitT;
    QVector<double> fitNu;
    for (int i = 0; i < 20000; ++i) {
        t.append(qBound(20.0, (t.isEmpty() ? 50 : t.last()) + random.bounded(2.0) - 1, 80.0));
        nu.append(30 * std::exp(-t.last() / 25) + random.bounded(0.5));
    }
    for (int i = 0; i <= 100; ++i) {
        fitT.append(20 + 0.6 * i);
        fitNu.append(30 * std::exp(-fitT.last() / 25) + 0.25);
    }
    PlotWidget chart;
    chart.resize(640, 480);
    chart.setXLabel("T (°C)");
    chart.setYLabel("nu (cSt)");
    chart.plot(t, nu, PlotWidget::Line, "nu_measured");
    chart.plot(fitT, fitNu, PlotWidget::Line, "nu_fit");
    chart.plot({40, 70}, {6, 2.5}, PlotWidget::Points, "nu_ref");
    compareSvgWithPng(chart.size(), [&chart](QPainter &painter) { chart.render(&painter); });
}

void TestPlotSvg::longWindowStaysSmall()
{
    // "2 months" of samples every 30 s in five bands of noise at 1600 x 900: a curve has
    // at most four points per pixel column, however many samples it has.
    const QDateTime start(QDate(2024, 3, 1), QTime(0, 0));
    Recording recording(start, 30000, 56 * 24 * 120, 5, true);
    TimePlotWidget plot;
    plot.resize(1600, 900);
    recording.bind(plot);
    QVERIFY(plot.setVisibleTimeInterval(start, start.addDays(56)));
    const QByteArray svg =
        PlotPicture(
            plot.size(), [&plot](QPainter &painter) { plot.renderPicture(painter); }, "caption")
            .svg();
    qInfo("1600 x 900, five bands, 2 months of samples every 30 s: %d bytes", int(svg.size()));
    QVERIFY(!svg.contains("<image"));
    QVERIFY(svg.size() < 1000000);
}

QTEST_MAIN(TestPlotSvg)
#include "tst_plotsvg.moc"
