#include "polylinesegments.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

#include <cmath>

// The segments must draw what one wide antialiased polyline through the same points
// draws, up to antialiasing shades.
class TestPolylineSegments : public QObject
{
    Q_OBJECT

private slots:
    void drawsLikeThePolyline_data();
    void drawsLikeThePolyline();
    void coincidingPointsDrawNothing();
    void farPointsAreClipped();
};

namespace
{

const QColor curveColor(30, 144, 255);

QImage blankImage()
{
    QImage image(120, 80, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

QImage drawPolyline(const QVector<QPoint> &points)
{
    QImage image = blankImage();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(curveColor, 2, Qt::SolidLine));
    painter.drawPolyline(points.constData(), points.size());
    return image;
}

QImage drawSegments(const QVector<QPoint> &points)
{
    QVector<QLineF> segments;
    appendPolylineSegments(points.constData(), points.size(), -2, 122, segments);
    QImage image = blankImage();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(curveColor, 2, Qt::SolidLine, Qt::FlatCap));
    painter.drawLines(segments);
    return image;
}

// Coverage of the curve colour in a pixel, 0 (white) to 225 (full).
int coverage(const QImage &image, int x, int y)
{
    return 255 - qRed(image.pixel(x, y));
}

} // namespace

void TestPolylineSegments::drawsLikeThePolyline_data()
{
    QTest::addColumn<QVector<QPoint>>("points");

    QTest::newRow("horizontal line") << QVector<QPoint>{{10, 40}, {60, 40}, {100, 40}};
    QTest::newRow("staircase on the pixel grid")
        << QVector<QPoint>{{10, 40}, {11, 40}, {11, 39}, {12, 39}, {13, 38}, {14, 38},
                           {15, 37}, {15, 36}, {16, 36}, {20, 36}, {21, 37}};
    QTest::newRow("right angles") << QVector<QPoint>{{10, 10}, {50, 10}, {50, 60}, {90, 60}};
    QTest::newRow("sharp zigzag") << QVector<QPoint>{{10, 10}, {12, 70}, {14, 10},
                                                     {16, 70}, {18, 12}, {20, 68}};
    QTest::newRow("several points in one column")
        << QVector<QPoint>{{10, 40}, {20, 30}, {20, 60}, {20, 20}, {20, 45}, {30, 40}};
    QTest::newRow("column ends at its extremes")
        << QVector<QPoint>{{10, 40}, {20, 20}, {20, 60}, {30, 40}};
    QTest::newRow("only one column") << QVector<QPoint>{{50, 20}, {50, 60}, {50, 30}};
    QTest::newRow("repeated points")
        << QVector<QPoint>{{10, 40}, {10, 40}, {30, 20}, {30, 20}, {50, 60}, {50, 60}};
    QTest::newRow("two points") << QVector<QPoint>{{10, 70}, {100, 10}};

    // A dense noisy curve: about three points per column, jumping over the band.
    QVector<QPoint> noisy;
    quint32 seed = 12345;
    for (int i = 0; i < 300; ++i) {
        seed = seed * 1103515245 + 12345;
        noisy.append(QPoint(10 + i / 3, 5 + int((seed >> 16) % 70)));
    }
    QTest::newRow("dense noise") << noisy;
}

void TestPolylineSegments::drawsLikeThePolyline()
{
    QFETCH(QVector<QPoint>, points);

    const QImage literal = drawPolyline(points);
    const QImage fast = drawSegments(points);
    int largest = 0;
    qint64 literalInk = 0;
    qint64 fastInk = 0;
    for (int y = 0; y < literal.height(); ++y) {
        for (int x = 0; x < literal.width(); ++x) {
            largest = qMax(largest, std::abs(coverage(literal, x, y) - coverage(fast, x, y)));
            literalInk += coverage(literal, x, y);
            fastInk += coverage(fast, x, y);
        }
    }
    // No pixel differs by more than a quarter of full coverage, and the total ink agrees.
    QVERIFY2(largest <= 225 / 4, qPrintable(QString("largest difference %1").arg(largest)));
    QVERIFY2(std::abs(fastInk - literalInk) <= literalInk / 20,
             qPrintable(QString("ink %1 against %2").arg(fastInk).arg(literalInk)));
    QVERIFY(literalInk > 0);
}

void TestPolylineSegments::coincidingPointsDrawNothing()
{
    QVector<QLineF> segments;
    const QVector<QPoint> single{{40, 40}};
    appendPolylineSegments(single.constData(), single.size(), -2, 122, segments);
    const QVector<QPoint> same{{40, 40}, {40, 40}, {40, 40}};
    appendPolylineSegments(same.constData(), same.size(), -2, 122, segments);
    QVERIFY(segments.isEmpty());
}

void TestPolylineSegments::farPointsAreClipped()
{
    // A sample far outside the window (a gap in the recording) joins a visible one.
    const QVector<QPoint> points{{-1000000000, 70}, {60, 10}, {1000000000, 70}};
    QVector<QLineF> segments;
    appendPolylineSegments(points.constData(), points.size(), -2, 122, segments);
    QVERIFY(!segments.isEmpty());
    for (const QLineF &segment : segments) {
        QVERIFY(segment.x1() >= -2 && segment.x1() <= 122);
        QVERIFY(segment.x2() >= -2 && segment.x2() <= 122);
    }
    // Within the clip range the lines are those of the unclipped polyline.
    const QImage fast = drawSegments(points);
    QVERIFY(coverage(fast, 60, 10) > 200);
    QVERIFY(coverage(fast, 0, 10) > 200);
    QVERIFY(coverage(fast, 119, 10) > 200);
    QCOMPARE(coverage(fast, 30, 40), 0);
}

QTEST_MAIN(TestPolylineSegments)
#include "tst_polylinesegments.moc"
