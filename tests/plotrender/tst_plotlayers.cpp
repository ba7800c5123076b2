#include "dashedlinestamp.h"
#include "dotlayer.h"
#include "layerpicture.h"
#include "steeplinelayer.h"
#include "testseed.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <functional>

// The plots' own rasterizers against Qt drawing the same lines and dots.
class TestPlotLayers : public QObject
{
    Q_OBJECT

private slots:
    void linesAsQtDrawsThem_data();
    void linesAsQtDrawsThem();
    void reusedLayerDrawsAsANewOne();
    void segmentsOnOnePixelAddUpToFull();
    void gridLinesAsQtDrawsThem_data();
    void gridLinesAsQtDrawsThem();
    void linesBetweenWholePixelsAsTheirEdges();
    void randomLinesAsQtDrawsThem_data();
    void randomLinesAsQtDrawsThem();
    void dotsAsQtDrawsThem_data();
    void dotsAsQtDrawsThem();
};

namespace
{

const QColor curveColour(30, 144, 255);

// Paints on white at 80 x 60 with antialiasing, the painter moved by offset.
QImage painted(const QPoint &offset, const std::function<void(QPainter &)> &paint, int ratio = 1)
{
    return paintedOnWhite(QSize(80, 60), ratio, offset, paint);
}

} // namespace

void TestPlotLayers::linesAsQtDrawsThem_data()
{
    QTest::addColumn<QVector<QLineF>>("lines");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<int>("largestDifference");
    // Single lines: the coverage is the same up to rounding.
    QTest::newRow("vertical span on a column") << QVector<QLineF>{{20, 5, 20, 40}} << QPoint() << 6;
    QTest::newRow("span with fractional ends")
        << QVector<QLineF>{{20, 5.3, 20, 40.7}} << QPoint() << 6;
    QTest::newRow("steep join between columns")
        << QVector<QLineF>{{20, 5, 21, 40}} << QPoint() << 6;
    QTest::newRow("flat line") << QVector<QLineF>{{5, 20, 60, 23}} << QPoint() << 6;
    QTest::newRow("through and beyond every edge")
        << QVector<QLineF>{{-30, -20, 110, 90}} << QPoint() << 6;
    QTest::newRow("far outside") << QVector<QLineF>{{-500, 30, -400, 31}} << QPoint() << 0;
    QTest::newRow("painter moved by whole pixels")
        << QVector<QLineF>{{20, 5, 23, 40}, {40, 50, 70, 10}} << QPoint(3, -4) << 6;
    // Where lines share partly covered pixels, coverage is summed instead of composed:
    // at most a quarter of the colour's distance from white (two halves: 1 against 3/4).
    QTest::newRow("crossing lines")
        << QVector<QLineF>{{10, 10, 50, 50}, {10, 50, 50, 10}} << QPoint() << 64;
}

void TestPlotLayers::linesAsQtDrawsThem()
{
    QFETCH(QVector<QLineF>, lines);
    QFETCH(QPoint, offset);
    QFETCH(int, largestDifference);
    const QPen pen(curveColour, 2, Qt::SolidLine, Qt::FlatCap);
    // At ratio 2 (a high-DPI screen) the layer draws at device pixels, as Qt does.
    for (int ratio = 1; ratio <= 2; ++ratio) {
        const QImage byQt = painted(
            offset,
            [&](QPainter &painter) {
                painter.setPen(pen);
                painter.drawLines(lines);
            },
            ratio);
        SteepLineLayer layer;
        const QRect clip = QRect(0, 0, 80, 60).translated(-offset);
        // Twice, as the layer keeps its buffers between paints and must leave them clean.
        for (int paint = 0; paint < 2; ++paint) {
            const QImage byLayer = painted(
                offset, [&](QPainter &painter) { layer.drawLines(painter, lines, pen, clip); },
                ratio);
            const PictureDifference difference = pictureDifference(byQt, byLayer);
            QVERIFY2(difference.largest <= largestDifference,
                     qPrintable(QString("ratio %1: %2").arg(ratio).arg(difference.largest)));
            QVERIFY2(difference.mean < 0.5, qPrintable(QString::number(difference.mean)));
        }
    }
}

void TestPlotLayers::reusedLayerDrawsAsANewOne()
{
    // The layer keeps its picture between calls and clears only the rows an earlier call
    // coloured; calls of other sizes and places must not show what came before.
    const QVector<QVector<QLineF>> calls = {
        {{10, 5, 12, 55}, {12, 55, 60, 50}},
        {{30, 30, 31, 33}, {60, 5, 60, 8}},
        {{5, 40, 55, 41}},
        {{70, 5, 70, 52}, {30, 10, 31, 12}},
        {{2, 30, 3, 31}},
    };
    const QPen pen(curveColour, 2, Qt::SolidLine, Qt::FlatCap);
    const QRect clip(0, 0, 80, 60);
    SteepLineLayer reused;
    for (int call = 0; call < calls.size(); ++call) {
        SteepLineLayer fresh;
        const QImage expected = painted(
            QPoint(), [&](QPainter &painter) { fresh.drawLines(painter, calls[call], pen, clip); });
        const QImage drawn = painted(QPoint(), [&](QPainter &painter) {
            reused.drawLines(painter, calls[call], pen, clip);
        });
        QVERIFY2(drawn == expected, qPrintable(QString("call %1").arg(call)));
    }
}

void TestPlotLayers::segmentsOnOnePixelAddUpToFull()
{
    // A dense line meets itself in hundreds of segments on one pixel (Qt, laying them one
    // over the other, drifts in hue there): every pixel one of them touches is the
    // curve's colour, whatever the coverage adds up to.
    const QPen pen(curveColour, 2, Qt::SolidLine, Qt::FlatCap);
    const QRect clip(0, 0, 80, 60);
    const QVector<QLineF> once = {{20, 5, 21, 40}, {40.5, 10.3, 47, 50.2}};
    QVector<QLineF> often;
    for (int copy = 0; copy < 1000; ++copy)
        often += once;
    SteepLineLayer layer;
    const QImage single =
        painted(QPoint(), [&](QPainter &painter) { layer.drawLines(painter, once, pen, clip); });
    const QImage dense =
        painted(QPoint(), [&](QPainter &painter) { layer.drawLines(painter, often, pen, clip); });
    int touched = 0;
    for (int y = 0; y < single.height(); ++y) {
        for (int x = 0; x < single.width(); ++x) {
            if (single.pixel(x, y) == qRgb(255, 255, 255))
                continue;
            ++touched;
            QCOMPARE(dense.pixel(x, y), curveColour.rgb());
        }
    }
    QVERIFY(touched > 100);
}

void TestPlotLayers::gridLinesAsQtDrawsThem_data()
{
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("ratio");
    QTest::newRow("in place") << QPoint() << 1.0 << 1;
    QTest::newRow("painter moved by whole pixels") << QPoint(3, 4) << 1.0 << 1;
    QTest::newRow("lines starting above the image: drawn by Qt") << QPoint(3, -4) << 1.0 << 1;
    QTest::newRow("scaled painter: drawn by Qt") << QPoint() << 1.5 << 1;
    QTest::newRow("pixel ratio 2") << QPoint(3, 4) << 1.0 << 2;
    QTest::newRow("pixel ratio 2, scaled painter: drawn by Qt") << QPoint() << 1.5 << 2;
}

void TestPlotLayers::gridLinesAsQtDrawsThem()
{
    QFETCH(QPoint, offset);
    QFETCH(double, scale);
    QFETCH(int, ratio);
    const QPen grid(QColor(191, 191, 191), 1, Qt::DashLine);
    const QPen other(Qt::black, 1, Qt::DashLine);
    const QImage byQt = painted(
        offset,
        [&](QPainter &painter) {
            painter.scale(scale, scale);
            painter.setPen(grid);
            painter.drawLine(0, 17, 80, 17);
            painter.drawLine(0, 40, 80, 40);
            painter.drawLine(23, 0, 23, 60);
            painter.drawLine(61, 60, 61, 0);
            painter.drawLine(70, 55, 5, 55);
            painter.setPen(other);
            painter.drawLine(0, 50, 80, 50);
        },
        ratio);
    DashedLineStamp stamp;
    // Twice: the second paint draws from the stamps kept by the first.
    for (int paint = 0; paint < 2; ++paint) {
        const QImage stamped = painted(
            offset,
            [&](QPainter &painter) {
                painter.scale(scale, scale);
                painter.setPen(grid);
                stamp.drawLine(painter, QPoint(0, 17), QPoint(80, 17));
                stamp.drawLine(painter, QPoint(0, 40), QPoint(80, 40));
                stamp.drawLine(painter, QPoint(23, 0), QPoint(23, 60));
                stamp.drawLine(painter, QPoint(61, 60), QPoint(61, 0));
                stamp.drawLine(painter, QPoint(70, 55), QPoint(5, 55));
                painter.setPen(other);
                stamp.drawLine(painter, QPoint(0, 50), QPoint(80, 50));
            },
            ratio);
        const PictureDifference difference = pictureDifference(byQt, stamped);
        QVERIFY2(difference.largest <= 1, qPrintable(QString::number(difference.largest)));
    }
}

void TestPlotLayers::linesBetweenWholePixelsAsTheirEdges()
{
    // Short lines between whole pixels are added from one stamp per step; moved off the
    // pixel grid by a trifle, the same lines are added edge by edge. Some reach the
    // border, where the edges are clipped.
    QRandomGenerator random(3);
    QVector<QLineF> lines;
    QVector<QLineF> offGrid;
    for (int i = 0; i < 400; ++i) {
        const QPoint a(random.bounded(-5, 85), random.bounded(-5, 65));
        const int reach = i % 4 == 0 ? 25 : 15;
        const QPoint b =
            a + QPoint(random.bounded(-reach, reach + 1), random.bounded(-reach, reach + 1));
        lines.append(QLineF(a, b));
        offGrid.append(QLineF(a, b).translated(1e-7, 0));
    }
    const QPen pen(curveColour, 2, Qt::SolidLine, Qt::FlatCap);
    const QRect clip(0, 0, 80, 60);
    SteepLineLayer stamped;
    SteepLineLayer edgeByEdge;
    const QImage byStamps =
        painted(QPoint(), [&](QPainter &painter) { stamped.drawLines(painter, lines, pen, clip); });
    const QImage byEdges = painted(
        QPoint(), [&](QPainter &painter) { edgeByEdge.drawLines(painter, offGrid, pen, clip); });
    const PictureDifference difference = pictureDifference(byStamps, byEdges);
    QVERIFY2(difference.largest <= 1, qPrintable(QString::number(difference.largest)));
}

void TestPlotLayers::randomLinesAsQtDrawsThem_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("ratio");
    QTest::newRow("80 x 60") << QSize(80, 60) << 1;
    QTest::newRow("333 x 177") << QSize(333, 177) << 1;
    QTest::newRow("1600 x 900") << QSize(1600, 900) << 1;
    QTest::newRow("210 x 150 at ratio 2") << QSize(210, 150) << 2;
    QTest::newRow("1600 x 900 at ratio 2") << QSize(1600, 900) << 2;
}

void TestPlotLayers::randomLinesAsQtDrawsThem()
{
    // Lines of every kind the layer tells apart (vertical, between whole pixels, long and
    // steep, slanted, reaching past the picture's edges), each in a cell of its own so that
    // no two share a pixel. Qt's rasterizer samples coverage where the layer computes the
    // area: on slanted edges the two differ by up to 8 / 255 (the fixed rows above, 6).
    // Further from the exact area, Qt lengthens lines shorter than a pixel, leaves out a
    // row whose edge an end passes by a hair (a slanted line from row 10.004 leaves row 10
    // empty), adds coverage from beyond the device to its border pixels, and strokes pens
    // of one device pixel as thin lines: so the lines are a pixel long at least, their
    // ends on eighths of a pixel, the border pixels are not compared (the lines crossing
    // the border are kept), and 1 px pens at ratio 1 are held to a mean difference only.
    QFETCH(QSize, size);
    QFETCH(int, ratio);
    QRandomGenerator random(testSeed());
    const int cell = 40;
    // Half the gap between two cells' lines, more than a 3 px pen reaches.
    const int margin = 4;
    for (int width = 1; width <= 3; ++width) {
        QVector<QLineF> lines;
        QVector<QLine> pixelLines;
        for (int top = 0; top < size.height(); top += cell) {
            for (int left = 0; left < size.width(); left += cell) {
                const auto place = [&](int from, int limit) {
                    const double low = from == 0 ? -10 : from + margin;
                    const double high = from + cell >= limit ? limit + 10 : from + cell - margin;
                    return std::round((low + random.generateDouble() * (high - low)) * 8) / 8;
                };
                QPointF a(place(left, size.width()), place(top, size.height()));
                QPointF b(place(left, size.width()), place(top, size.height()));
                switch (random.bounded(4)) {
                case 0:
                    b.setX(a.x());
                    break;
                case 1:
                    // Whole pixels, given as such to every other cell.
                    a = a.toPoint();
                    b = b.toPoint();
                    if (QLineF(a, b).length() >= 1 && random.bounded(2) == 0) {
                        pixelLines.append(QLine(a.toPoint(), b.toPoint()));
                        continue;
                    }
                    break;
                case 2:
                    b.setX(a.x() + random.bounded(-8, 9) / 8.0);
                    break;
                }
                if (QLineF(a, b).length() >= 1)
                    lines.append(QLineF(a, b));
            }
        }
        const QPoint offset(random.bounded(-3, 4), random.bounded(-3, 4));
        const QRect clip = QRect(QPoint(), size).translated(-offset);
        const QPen pen(curveColour, width, Qt::SolidLine, Qt::FlatCap);
        const QImage byQt = paintedOnWhite(size, ratio, offset, [&](QPainter &painter) {
            painter.setPen(pen);
            painter.drawLines(lines);
            painter.drawLines(pixelLines);
        });
        SteepLineLayer layer;
        const QImage byLayer = paintedOnWhite(size, ratio, offset, [&](QPainter &painter) {
            layer.drawLines(painter, lines, pen, clip, pixelLines);
        });
        // Qt's pixels on the device's border take coverage from beyond it.
        const QRect inner = byQt.rect().adjusted(1, 1, -1, -1);
        const PictureDifference difference =
            pictureDifference(byQt.copy(inner), byLayer.copy(inner));
        const bool thin = width * ratio == 1;
        QVERIFY2(difference.largest <= (thin ? 255 : 8) && difference.mean < (thin ? 1 : 0.5),
                 qPrintable(QString("pen %1 px: largest %2, mean %3")
                                .arg(width)
                                .arg(difference.largest)
                                .arg(difference.mean)));
    }
}

void TestPlotLayers::dotsAsQtDrawsThem_data()
{
    QTest::addColumn<QPolygon>("dots");
    QTest::addColumn<int>("largestDifference");
    // Qt fills overlapping dots as one shape; here they are laid one over the other,
    // which differs where two rims share a pixel, by up to a quarter as for lines.
    QTest::newRow("apart") << QPolygon(QVector<QPoint>{QPoint(10, 10), QPoint(40, 30)}) << 2;
    QTest::newRow("overlapping") << QPolygon(QVector<QPoint>{QPoint(10, 10), QPoint(13, 12),
                                                             QPoint(16, 10)})
                                 << 64;
    QTest::newRow("cut by the edges")
        << QPolygon(QVector<QPoint>{QPoint(1, 2), QPoint(78, 58), QPoint(-3, 30)}) << 2;
}

void TestPlotLayers::dotsAsQtDrawsThem()
{
    QFETCH(QPolygon, dots);
    QFETCH(int, largestDifference);
    const QPen pen(curveColour, 10, Qt::SolidLine, Qt::RoundCap);
    for (int ratio = 1; ratio <= 2; ++ratio) {
        const QImage byQt = painted(
            QPoint(),
            [&](QPainter &painter) {
                painter.setPen(pen);
                painter.drawPoints(dots);
            },
            ratio);
        DotLayer layer;
        for (int paint = 0; paint < 2; ++paint) {
            const QImage byLayer = painted(
                QPoint(),
                [&](QPainter &painter) {
                    layer.drawPoints(painter, dots, pen, QRect(0, 0, 80, 60));
                },
                ratio);
            const PictureDifference difference = pictureDifference(byQt, byLayer);
            QVERIFY2(difference.largest <= largestDifference,
                     qPrintable(QString("ratio %1: %2").arg(ratio).arg(difference.largest)));
            QVERIFY2(difference.mean < 0.5, qPrintable(QString::number(difference.mean)));
        }
    }
}

QTEST_MAIN(TestPlotLayers)
#include "tst_plotlayers.moc"
