#include "hatchfill.h"
#include "layerpicture.h"

#include <QPainter>
#include <QtTest>

// The hatch fill against Qt filling the colour and then its Qt::BDiagPattern brush.
class TestHatchFill : public QObject
{
    Q_OBJECT

private slots:
    void sameAsPatternBrush_data();
    void sameAsPatternBrush();
};

void TestHatchFill::sameAsPatternBrush_data()
{
    QTest::addColumn<int>("ratio");
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<QVector<QRect>>("areas");

    const QVector<QRect> stretches = {QRect(3, 0, 1, 90), QRect(10, 0, 40, 90), QRect(50, 0, 7, 90),
                                      QRect(70, 5, 25, 30)};
    for (int ratio : {1, 2}) {
        QTest::addRow("ratio %d", ratio) << ratio << QPoint(0, 0) << stretches;
        QTest::addRow("ratio %d, painter moved", ratio) << ratio << QPoint(13, 6) << stretches;
    }
}

void TestHatchFill::sameAsPatternBrush()
{
    QFETCH(int, ratio);
    QFETCH(QPoint, offset);
    QFETCH(QVector<QRect>, areas);

    const QColor base(255, 228, 184);
    const QColor hatch(214, 110, 0);
    HatchFill fill;
    const QSize size(120, 100);
    const QImage filled = paintedOnWhite(
        size, ratio, offset, [&](QPainter &painter) { fill.fill(painter, areas, base, hatch); });
    const QImage byQt = paintedOnWhite(size, ratio, offset, [&](QPainter &painter) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        for (const QRect &area : areas) {
            painter.fillRect(area, base);
            painter.fillRect(area, QBrush(hatch, Qt::BDiagPattern));
        }
    });
    QCOMPARE(filled, byQt);
}

QTEST_MAIN(TestHatchFill)
#include "tst_hatchfill.moc"
