#include "plotwidget.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

class TestPlotWidget : public QObject
{
    Q_OBJECT

private slots:
    void singlePointLandsInTheCentre();
    void isoViewUsesOneScale_data();
    void isoViewUsesOneScale();
    void mismatchedSizesAddNothing();
    void fourSeriesGetTheirHues();
    void clearLeavesOnlyTheBackground();
    void dotsOnOnePixelAreDrawnOnce();
    void denseLineAsQtDrawsIt();

private:
    static QImage render(PlotWidget &plot);
};

namespace
{

QColor hue(int degrees)
{
    return QColor::fromHsv(degrees, 255, 200).toRgb();
}

bool isGrid(const QColor &colour)
{
    return colour.red() == colour.green() && colour.green() == colour.blue() && colour.red() < 255;
}

// Draws its lines as one polyline, as Qt does.
class PolylinePlot : public PlotWidget
{
protected:
    void drawSeriesLine(QPainter &painter, int series) override
    {
        painter.drawPolyline(seriesPixels(series));
    }
};

} // namespace

QImage TestPlotWidget::render(PlotWidget &plot)
{
    QImage image(plot.size(), QImage::Format_ARGB32);
    plot.render(&image);
    return image;
}

void TestPlotWidget::singlePointLandsInTheCentre()
{
    PlotWidget plot;
    plot.resize(400, 300);
    plot.plot({2.5}, {-7}, PlotWidget::Points);
    QVERIFY(plot.isVisible());

    const QImage image = render(plot);
    QCOMPARE(image.pixelColor(200, 150), hue(240));
    QCOMPARE(image.pixelColor(203, 147), hue(240));
    QCOMPARE(image.pixelColor(215, 150), QColor(Qt::white));
    // An empty span has no grid values on either axis.
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            QVERIFY(!isGrid(image.pixelColor(x, y)));
}

void TestPlotWidget::isoViewUsesOneScale_data()
{
    QTest::addColumn<bool>("isoView");
    QTest::addColumn<QPoint>("topRight");

    // Data 0..10 by 0..1 on 660 x 660: 500 px for the data in each direction, so 50 px
    // per unit with iso view; without it the y data fill the height.
    QTest::newRow("iso view") << true << QPoint(580, 305);
    QTest::newRow("separate scales") << false << QPoint(580, 80);
}

void TestPlotWidget::isoViewUsesOneScale()
{
    QFETCH(bool, isoView);
    QFETCH(QPoint, topRight);

    PlotWidget plot;
    plot.resize(660, 660);
    plot.plot({0, 10}, {0, 1}, PlotWidget::Points, QString(), isoView);
    const QImage image = render(plot);
    QCOMPARE(image.pixelColor(topRight), hue(240));
    QCOMPARE(image.pixelColor(80, isoView ? 355 : 580), hue(240));
    const QPoint otherTopRight = isoView ? QPoint(580, 80) : QPoint(580, 305);
    QVERIFY(image.pixelColor(otherTopRight) != hue(240));
}

void TestPlotWidget::mismatchedSizesAddNothing()
{
    PlotWidget plot;
    plot.resize(400, 300);
    plot.plot({1, 2, 3}, {1, 2, 3, 4}, PlotWidget::Line, "bad");
    QVERIFY(!plot.isVisible());
    const QImage image = render(plot);
    QCOMPARE(image.pixelColor(200, 150), QColor(Qt::white));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(image.pixel(x, y), qRgb(255, 255, 255));
}

void TestPlotWidget::fourSeriesGetTheirHues()
{
    PlotWidget plot;
    plot.resize(800, 400);
    for (int i = 0; i < 4; ++i)
        plot.plot({0, 1}, {double(i), i + 0.5}, PlotWidget::Line, QString("series %1").arg(i));
    const QImage image = render(plot);
    // Legend lines run from legend x - 30 to legend x - 10 in row 20; legend x is 50,
    // then one quarter of the width further each.
    const int hues[] = {240, 330, 60, 150};
    for (int i = 0; i < 4; ++i) {
        const int legendX = 50 + i * 200;
        QCOMPARE(image.pixelColor(legendX - 20, 20), hue(hues[i]));
        QCOMPARE(image.pixelColor(legendX - 20, 19), hue(hues[i]));
    }
}

void TestPlotWidget::clearLeavesOnlyTheBackground()
{
    PlotWidget plot;
    plot.resize(400, 300);
    plot.plot({0, 1, 2}, {0, 4, 1}, PlotWidget::Line, "curve", true);
    plot.clear();
    const QImage image = render(plot);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(image.pixel(x, y), qRgb(255, 255, 255));

    // Iso view went with the series: a new one fills both directions.
    plot.plot({0, 10}, {0, 1}, PlotWidget::Points);
    QCOMPARE(render(plot).pixelColor(320, 80), hue(240));
}

// A thousand dots on one pixel look like one: drawn again, their rims would darken.
void TestPlotWidget::dotsOnOnePixelAreDrawnOnce()
{
    PlotWidget one;
    PlotWidget many;
    one.resize(300, 300);
    many.resize(300, 300);
    one.plot({0, 1}, {0, 1}, PlotWidget::Points);
    QVector<double> x(1000, 0);
    QVector<double> y(1000, 0);
    x.append(1);
    y.append(1);
    many.plot(x, y, PlotWidget::Points);
    QCOMPARE(render(many), render(one));
}

// Noisy samples along a curve, in time order as the mapping window shows them, visit their
// pixels many times: each segment between two pixels is drawn once, with the polyline's
// caps at the ends.
void TestPlotWidget::denseLineAsQtDrawsIt()
{
    QRandomGenerator random(3);
    QVector<double> x;
    QVector<double> y;
    for (int i = 0; i < 20000; ++i) {
        const double t = 80 - 60.0 * i / 20000;
        x.append(t * (1 + 0.01 * (random.generateDouble() - 0.5)));
        y.append(std::exp(900 / (t + 95)) * (1 + 0.01 * (random.generateDouble() - 0.5)));
    }
    PolylinePlot literal;
    PlotWidget plot;
    for (PlotWidget *widget : {static_cast<PlotWidget *>(&literal), &plot}) {
        widget->resize(400, 300);
        widget->plot(x, y, PlotWidget::Line);
    }
    const QImage expected = render(literal);
    const QImage image = render(plot);
    // Where a segment repeats, Qt sums its rim's coverage again and the rim darkens; the
    // plot draws it once. So the rims may differ, but every pixel fully covered in one
    // picture carries the line in the other.
    const auto isFull = [](const QColor &colour) { return colour == hue(240); };
    // The background and the grid are grey: the line's colour is blue.
    const auto isBlank = [](const QColor &colour) { return colour.blue() == colour.red(); };
    int fullyCovered = 0;
    int missing = 0;
    for (int row = 0; row < image.height(); ++row) {
        for (int column = 0; column < image.width(); ++column) {
            const QColor a = expected.pixelColor(column, row);
            const QColor b = image.pixelColor(column, row);
            fullyCovered += isFull(a);
            missing += (isFull(a) && isBlank(b)) || (isFull(b) && isBlank(a));
        }
    }
    QVERIFY(fullyCovered > 500);
    QCOMPARE(missing, 0);
}

QTEST_MAIN(TestPlotWidget)
#include "tst_plotwidget.moc"
