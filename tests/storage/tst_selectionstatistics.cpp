#include "selectionstatistics.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace
{

const double missing = std::numeric_limits<double>::quiet_NaN();

bool same(double actual, double expected)
{
    if (std::isnan(expected))
        return std::isnan(actual);
    return std::abs(actual - expected) <= 1e-9 * std::max(1.0, std::abs(expected));
}

} // namespace

class TestSelectionStatistics : public QObject
{
    Q_OBJECT

private slots:
    void statistics_data();
    void statistics();
    void columnsAndRows();
};

void TestSelectionStatistics::statistics_data()
{
    QTest::addColumn<QVector<QDateTime>>("times");
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QVector<uint16_t>>("states");
    // count, mean, minimum, maximum, standard deviation, slope per minute, faults
    QTest::addColumn<QVector<double>>("expected");

    const QDateTime start(QDate(2024, 5, 6), QTime(10, 0));
    const auto minutes = [&](std::initializer_list<double> list) {
        QVector<QDateTime> times;
        for (double m : list)
            times.append(start.addMSecs(qint64(m * 60000)));
        return times;
    };
    const QVector<uint16_t> noFaults(4, 0);

    QTest::newRow("a rising line")
        << minutes({0, 1, 2, 3}) << QVector<double>{1, 2, 3, 4} << noFaults
        << QVector<double>{4, 2.5, 1, 4, std::sqrt(5.0 / 3), 1, 0};
    QTest::newRow("uneven times weigh the slope")
        << minutes({0, 0.5, 1, 3}) << QVector<double>{0, 0, 0, 6} << noFaults
        << QVector<double>{4, 1.5, 0, 6, 3, 11.25 / 5.1875, 0};
    QTest::newRow("NaN is left out")
        << minutes({0, 1, 2, 3}) << QVector<double>{1, missing, 3, missing} << noFaults
        << QVector<double>{2, 2, 1, 3, std::sqrt(2.0), 1, 0};
    QTest::newRow("faults among the values, bit 9 alone is none")
        << minutes({0, 1, 2, 3}) << QVector<double>{5, 5, 5, missing}
        << QVector<uint16_t>{0x0001, 0x0200, 0x0201, 0x0004}
        << QVector<double>{3, 5, 5, 5, 0, 0, 2};
    QTest::newRow("one value: no spread, no slope")
        << minutes({0, 1}) << QVector<double>{7, missing} << QVector<uint16_t>{0, 0}
        << QVector<double>{1, 7, 7, 7, missing, missing, 0};
    QTest::newRow("no value at all")
        << minutes({0, 1}) << QVector<double>{missing, missing} << QVector<uint16_t>{1, 1}
        << QVector<double>{0, missing, missing, missing, missing, missing, 0};
    QTest::newRow("one moment: spread but no slope")
        << minutes({1, 1}) << QVector<double>{1, 3} << QVector<uint16_t>{0, 0}
        << QVector<double>{2, 2, 1, 3, std::sqrt(2.0), missing, 0};
    QTest::newRow("a large offset keeps the spread exact")
        << minutes({0, 1, 2}) << QVector<double>{1e9, 1e9 + 1, 1e9 + 2}
        << QVector<uint16_t>{0, 0, 0} << QVector<double>{3, 1e9 + 1, 1e9, 1e9 + 2, 1, 1, 0};
    // 01:59 and 03:01 local time on the day summer time starts are two minutes apart.
    const QDate springForward(2024, 3, 31);
    QTest::newRow("slope in real minutes across the clock change")
        << QVector<QDateTime>{QDateTime(springForward, QTime(1, 59)),
                              QDateTime(springForward, QTime(3, 1))}
        << QVector<double>{0, 2} << QVector<uint16_t>{0, 0}
        << QVector<double>{2, 1, 0, 2, std::sqrt(2.0), 1, 0};
}

void TestSelectionStatistics::statistics()
{
    QFETCH(QVector<QDateTime>, times);
    QFETCH(QVector<double>, values);
    QFETCH(QVector<uint16_t>, states);
    QFETCH(QVector<double>, expected);

    const QVector<SelectionStatistics> results =
        selectionStatistics(times, {&values}, states, 0, times.size());
    QCOMPARE(results.size(), 1);
    const SelectionStatistics &s = results.first();
    QCOMPARE(s.count, int(expected[0]));
    QVERIFY2(same(s.mean, expected[1]), qPrintable(QString::number(s.mean, 'g', 17)));
    QVERIFY2(same(s.minimum, expected[2]), qPrintable(QString::number(s.minimum)));
    QVERIFY2(same(s.maximum, expected[3]), qPrintable(QString::number(s.maximum)));
    QVERIFY2(same(s.standardDeviation, expected[4]),
             qPrintable(QString::number(s.standardDeviation, 'g', 17)));
    QVERIFY2(same(s.slopePerMinute, expected[5]),
             qPrintable(QString::number(s.slopePerMinute, 'g', 17)));
    QCOMPARE(s.faultCount, int(expected[6]));
}

// Each column gets its own result in order, only the given rows count, and the rows of
// a time range include both of its ends.
void TestSelectionStatistics::columnsAndRows()
{
    const QDateTime start(QDate(2024, 5, 6), QTime(10, 0));
    QVector<QDateTime> times;
    for (int i = 0; i < 6; ++i)
        times.append(start.addSecs(60 * i));
    const QVector<double> rising{0, 1, 2, 3, 4, 5};
    const QVector<double> falling{50, 40, 30, 20, 10, 0};
    const QVector<uint16_t> states(6, 0);

    const QPair<int, int> rows = rowsBetween(times, times[1], times[3]);
    QCOMPARE(rows, qMakePair(1, 4));
    QCOMPARE(rowsBetween(times, start.addSecs(-10), start.addSecs(-5)), qMakePair(0, 0));
    QCOMPARE(rowsBetween(times, start.addSecs(301), start.addSecs(900)), qMakePair(6, 6));

    const QVector<SelectionStatistics> results =
        selectionStatistics(times, {&rising, &falling}, states, rows.first, rows.second);
    QCOMPARE(results.size(), 2);
    QCOMPARE(results[0].count, 3);
    QCOMPARE(results[0].mean, 2.0);
    QCOMPARE(results[1].mean, 30.0);
    QVERIFY(same(results[1].slopePerMinute, -10));
    QCOMPARE(selectionStatistics(times, {&rising}, states, 4, 4).first().count, 0);
}

QTEST_GUILESS_MAIN(TestSelectionStatistics)
#include "tst_selectionstatistics.moc"
