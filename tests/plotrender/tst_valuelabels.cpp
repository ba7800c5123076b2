#include "valuelabels.h"

#include <QtTest>

// Labels 13 rows high: a label takes rows top..top + 12.
class TestValueLabels : public QObject
{
    Q_OBJECT

private slots:
    void nonOverlappingLabels_data();
    void nonOverlappingLabels();
};

void TestValueLabels::nonOverlappingLabels_data()
{
    QTest::addColumn<QVector<int>>("tops");
    QTest::addColumn<QVector<bool>>("drawn");

    QTest::newRow("none") << QVector<int>{} << QVector<bool>{};
    QTest::newRow("adjoining rows do not overlap")
        << QVector<int>{100, 87} << QVector<bool>{true, true};
    QTest::newRow("one shared row does") << QVector<int>{100, 88} << QVector<bool>{true, false};
    QTest::newRow("held against the last label drawn, not the last skipped")
        << QVector<int>{100, 92, 84, 76} << QVector<bool>{true, false, true, false};
    QTest::newRow("ten labels in 100 rows: every other one")
        << QVector<int>{100, 90, 80, 70, 60, 50, 40, 30, 20, 10}
        << QVector<bool>{true, false, true, false, true, false, true, false, true, false};
}

void TestValueLabels::nonOverlappingLabels()
{
    QFETCH(QVector<int>, tops);
    QFETCH(QVector<bool>, drawn);

    QCOMPARE(::nonOverlappingLabels(tops, 13), drawn);
}

QTEST_MAIN(TestValueLabels)
#include "tst_valuelabels.moc"
