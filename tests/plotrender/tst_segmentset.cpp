#include "segmentset.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <set>
#include <utility>

// Each distinct segment between consecutive pixels comes out once, either way round.
class TestSegmentSet : public QObject
{
    Q_OBJECT

private slots:
    void eachSegmentOnce_data();
    void eachSegmentOnce();
    void randomWalkAgainstASet();
};

namespace
{

using Segment = std::pair<std::pair<int, int>, std::pair<int, int>>;

Segment ordered(const QPoint &a, const QPoint &b)
{
    const auto first = std::make_pair(a.x(), a.y());
    const auto second = std::make_pair(b.x(), b.y());
    return first < second ? Segment{first, second} : Segment{second, first};
}

std::multiset<Segment> ordered(const QVector<QLine> &lines)
{
    std::multiset<Segment> segments;
    for (const QLine &line : lines)
        segments.insert(ordered(line.p1(), line.p2()));
    return segments;
}

const QRect area(0, 0, 200, 100);

void appendDistinct(SegmentSet &set, const QVector<QPoint> &points, QVector<QLine> &segments)
{
    set.appendDistinct(
        [&](int first, int count, QPoint *pixels) {
            std::copy_n(points.constData() + first, count, pixels);
        },
        points.size(), area, segments);
}

} // namespace

void TestSegmentSet::eachSegmentOnce_data()
{
    QTest::addColumn<QVector<QPoint>>("points");
    QTest::addColumn<QVector<QLine>>("expected");
    QTest::newRow("back and forth")
        << QVector<QPoint>{{10, 10}, {12, 11}, {10, 10}, {12, 11}, {10, 10}}
        << QVector<QLine>{{10, 10, 12, 11}};
    QTest::newRow("a pixel repeated makes no segment")
        << QVector<QPoint>{{5, 5}, {5, 5}, {6, 7}, {6, 7}} << QVector<QLine>{{5, 5, 6, 7}};
    QTest::newRow("long steps, both ways")
        << QVector<QPoint>{{0, 0}, {150, 90}, {0, 0}, {150, 90}, {10, 90}}
        << QVector<QLine>{{0, 0, 150, 90}, {150, 90, 10, 90}};
    QTest::newRow("steps up, down and sideways")
        << QVector<QPoint>{{50, 50}, {43, 57}, {50, 50}, {57, 43}, {50, 50}, {43, 50}, {50, 50}}
        << QVector<QLine>{{50, 50, 43, 57}, {50, 50, 57, 43}, {50, 50, 43, 50}};
    QTest::newRow("outside the area, beside it and across it")
        << QVector<QPoint>{{-20, 10}, {-5, 12}, {3, 12}, {-5, 12}, {-10, -10}, {250, 120}}
        << QVector<QLine>{{-5, 12, 3, 12}, {-10, -10, 250, 120}};
    // Regression: the order of the two ends overflowed for ends a million rows apart.
    QTest::newRow("far beyond the widget")
        << QVector<QPoint>{{5, -1000000000}, {5, 1000000000}, {5, -1000000000}}
        << QVector<QLine>{{5, -1000000000, 5, 1000000000}, {5, 1000000000, 5, -1000000000}};
    QTest::newRow("a single point") << QVector<QPoint>{{1, 1}} << QVector<QLine>{};
}

void TestSegmentSet::eachSegmentOnce()
{
    QFETCH(QVector<QPoint>, points);
    QFETCH(QVector<QLine>, expected);
    SegmentSet set;
    // Twice, as the set keeps its storage between calls and must leave it clean.
    for (int call = 0; call < 2; ++call) {
        QVector<QLine> segments;
        appendDistinct(set, points, segments);
        QVERIFY(ordered(segments) == ordered(expected));
    }
}

void TestSegmentSet::randomWalkAgainstASet()
{
    // A walk of short and long steps over the area and a little beyond.
    QRandomGenerator random(7);
    QVector<QPoint> points{{100, 50}};
    for (int i = 0; i < 20000; ++i) {
        const int reach = random.bounded(10) == 0 ? 40 : random.bounded(2) == 0 ? 16 : 8;
        const QPoint step(random.bounded(-reach, reach + 1), random.bounded(-reach, reach + 1));
        QPoint next = points.last() + step;
        next.setX(std::clamp(next.x(), -30, 230));
        next.setY(std::clamp(next.y(), -30, 130));
        points.append(next);
    }
    std::set<Segment> expected;
    for (int i = 1; i < points.size(); ++i) {
        const QPoint &a = points[i - 1];
        const QPoint &b = points[i];
        if (a != b && !(a.x() < 0 && b.x() < 0) && !(a.x() >= 200 && b.x() >= 200) &&
            !(a.y() < 0 && b.y() < 0) && !(a.y() >= 100 && b.y() >= 100))
            expected.insert(ordered(a, b));
    }
    SegmentSet set;
    for (int call = 0; call < 2; ++call) {
        QVector<QLine> segments;
        appendDistinct(set, points, segments);
        const std::multiset<Segment> found = ordered(segments);
        QCOMPARE(found.size(), expected.size());
        QVERIFY(std::set<Segment>(found.begin(), found.end()) == expected);
    }
}

QTEST_APPLESS_MAIN(TestSegmentSet)
#include "tst_segmentset.moc"
