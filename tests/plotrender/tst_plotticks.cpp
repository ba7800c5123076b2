#include "plotticks.h"

#include <QtTest>

#include <cmath>
#include <limits>

class TestPlotTicks : public QObject
{
    Q_OBJECT

private slots:
    void valueTicks_data();
    void valueTicks();
    void formatTickValue_data();
    void formatTickValue();
    void timeTickStep_data();
    void timeTickStep();
    void timeTicks_data();
    void timeTicks();
};

void TestPlotTicks::valueTicks_data()
{
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<int>("intervals");
    QTest::addColumn<QVector<double>>("expected");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("empty span") << 3.0 << 3.0 << 5 << QVector<double>{};
    QTest::newRow("reversed span") << 4.0 << 3.0 << 5 << QVector<double>{};
    QTest::newRow("NaN range of an all-NaN curve") << nan << nan << 5 << QVector<double>{};
    QTest::newRow("step 1") << 0.0 << 5.0 << 5 << QVector<double>{0, 1, 2, 3, 4, 5};
    QTest::newRow("step 2") << 0.0 << 10.0 << 5 << QVector<double>{0, 2, 4, 6, 8, 10};
    QTest::newRow("step 5") << 0.0 << 25.0 << 5 << QVector<double>{0, 5, 10, 15, 20, 25};
    QTest::newRow("step 2 below 5")
        << 0.0 << 24.0 << 5 << QVector<double>{0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24};
    QTest::newRow("step 50, first tick at or above low")
        << 1020.0 << 1270.0 << 5 << QVector<double>{1050, 1100, 1150, 1200, 1250};
    QTest::newRow("step 0.01") << 0.0 << 0.05 << 5
                               << QVector<double>{0, 0.01, 0.02, 0.03, 0.04, 0.05};
    QTest::newRow("negative range")
        << -10.0 << -4.0 << 5 << QVector<double>{-10, -9, -8, -7, -6, -5, -4};
    QTest::newRow("ten intervals")
        << 0.0 << 1.0 << 10 << QVector<double>{0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1};
    // -0.3 / 0.1 and 0.7 / 0.1 round down, so the rows start one step early; the
    // accumulated steps end just above high, so 0.3 and 1.3 are not reached.
    QTest::newRow("snaps to 0") << -0.3 << 0.3 << 5 << QVector<double>{-0.2, -0.1, 0, 0.1, 0.2};
    QTest::newRow("snaps to 1") << 0.7 << 1.3 << 5 << QVector<double>{0.7, 0.8, 0.9, 1, 1.1, 1.2};
}

void TestPlotTicks::valueTicks()
{
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(int, intervals);
    QFETCH(QVector<double>, expected);

    const QVector<double> ticks = ::valueTicks(low, high, intervals);
    QCOMPARE(ticks.size(), expected.size());
    for (int i = 0; i < ticks.size(); ++i) {
        // 0 and 1 are snapped exactly; the others may carry rounding of the steps.
        if (expected[i] == 0 || expected[i] == 1)
            QCOMPARE(ticks[i], expected[i]);
        else
            QVERIFY2(std::fabs(ticks[i] - expected[i]) < 1e-9 * std::fabs(expected[i]),
                     qPrintable(QString("tick %1: %2").arg(i).arg(ticks[i], 0, 'g', 17)));
    }
}

void TestPlotTicks::formatTickValue_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("label");

    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("five digits") << 12345.0 << "12345";
    QTest::newRow("fraction") << 2.5 << "2.5";
    QTest::newRow("six digits") << 123456.0 << "123.456e3";
    QTest::newRow("one half") << 0.5 << "500e-3";
    QTest::newRow("one thousandth") << 0.001 << "1e-3";
    QTest::newRow("negative micro") << -0.0001234 << "-123.4e-6";
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << "NaN";
    QTest::newRow("negative fraction") << -2.5 << "-2.5";
    QTest::newRow("negative five digits") << -12345.0 << "-12345";
    QTest::newRow("negative six digits") << -123456.0 << "-123.456e3";
    QTest::newRow("one") << 1.0 << "1";
    QTest::newRow("just below 1") << 0.999 << "999e-3";
    QTest::newRow("just above 1") << 1.001 << "1.001";
    QTest::newRow("just below 100000") << 99999.5 << "99999.5";
    QTest::newRow("100000") << 100000.0 << "100e3";
    QTest::newRow("just above 100000") << 100001.0 << "100.001e3";
    QTest::newRow("eight significant digits") << 1.23456789 << "1.2345679";
    QTest::newRow("millions") << 1234567.8 << "1.2345678e6";
    QTest::newRow("rounding half away from zero") << -0.00000125 << "-1.25e-6";
}

void TestPlotTicks::formatTickValue()
{
    QFETCH(double, value);
    QFETCH(QString, label);
    QCOMPARE(::formatTickValue(value), label);
}

void TestPlotTicks::timeTickStep_data()
{
    QTest::addColumn<qint64>("spanMs");
    QTest::addColumn<qint64>("stepMs");

    // The longest span of each step, and one millisecond more.
    const qint64 table[][2] = {
        {29999, 1000},       {119999, 5000},        {299999, 10000},        {1199999, 30000},
        {2399999, 60000},    {7199999, 300000},     {14399999, 600000},     {43199999, 1800000},
        {86399999, 3600000}, {345599999, 21600000}, {2419199999, 86400000},
    };
    const int rows = int(sizeof(table) / sizeof(table[0]));
    for (int i = 0; i < rows; ++i) {
        const qint64 nextStep = i + 1 < rows ? table[i + 1][1] : 604800000;
        QTest::addRow("%lld ms", table[i][0]) << table[i][0] << table[i][1];
        QTest::addRow("%lld ms", table[i][0] + 1) << table[i][0] + 1 << nextStep;
    }
}

void TestPlotTicks::timeTickStep()
{
    QFETCH(qint64, spanMs);
    QFETCH(qint64, stepMs);

    const QDateTime left = QDateTime::fromMSecsSinceEpoch(1714989600123);
    qint64 step = -1;
    const QVector<QDateTime> ticks = ::timeTicks(left, left.addMSecs(spanMs), step);
    QCOMPARE(step, stepMs);
    QVERIFY(!ticks.isEmpty() || spanMs < stepMs);
    for (const QDateTime &tick : ticks) {
        QCOMPARE(tick.toMSecsSinceEpoch() % stepMs, qint64(0));
        QVERIFY(left < tick && tick < left.addMSecs(spanMs));
    }
}

void TestPlotTicks::timeTicks_data()
{
    QTest::addColumn<QDateTime>("left");
    QTest::addColumn<QDateTime>("right");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("labels");

    // Europe/Berlin is two hours ahead of UTC in summer, one in winter.
    const QDateTime summerNoonUtc(QDate(2024, 5, 6), QTime(12, 0), Qt::UTC);
    QTest::newRow("left on a step multiple is no tick")
        << summerNoonUtc.toLocalTime() << summerNoonUtc.addSecs(5).toLocalTime() << "HH:mm:ss"
        << QStringList{"14:00:01", "14:00:02", "14:00:03", "14:00:04"};
    QTest::newRow("right is never a tick")
        << summerNoonUtc.addMSecs(-1).toLocalTime() << summerNoonUtc.addSecs(2).toLocalTime()
        << "HH:mm:ss" << QStringList{"14:00:00", "14:00:01"};
    QTest::newRow("6 h steps are UTC multiples")
        << QDateTime(QDate(2024, 5, 6), QTime(0, 0)) << QDateTime(QDate(2024, 5, 7), QTime(0, 0))
        << "HH:mm" << QStringList{"02:00", "08:00", "14:00", "20:00"};
    QTest::newRow("days start at UTC midnight")
        << QDateTime(QDate(2024, 1, 1), QTime(0, 0)) << QDateTime(QDate(2024, 1, 6), QTime(0, 0))
        << "yyyy-MM-dd HH:mm"
        << QStringList{"2024-01-01 01:00", "2024-01-02 01:00", "2024-01-03 01:00",
                       "2024-01-04 01:00", "2024-01-05 01:00"};
    QTest::newRow("weeks count from the epoch, a Thursday")
        << QDateTime(QDate(2024, 1, 1), QTime(12, 0)) << QDateTime(QDate(2024, 2, 1), QTime(12, 0))
        << "ddd yyyy-MM-dd HH:mm"
        << QStringList{"Thu 2024-01-04 01:00", "Thu 2024-01-11 01:00", "Thu 2024-01-18 01:00",
                       "Thu 2024-01-25 01:00", "Thu 2024-02-01 01:00"};
    const QDateTime any(QDate(2024, 5, 6), QTime(10, 0));
    QTest::newRow("equal times") << any << any << "HH:mm" << QStringList{};
    QTest::newRow("reversed times") << any.addSecs(60) << any << "HH:mm" << QStringList{};
}

void TestPlotTicks::timeTicks()
{
    QFETCH(QDateTime, left);
    QFETCH(QDateTime, right);
    QFETCH(QString, format);
    QFETCH(QStringList, labels);

    qint64 step = -1;
    QStringList actual;
    for (const QDateTime &tick : ::timeTicks(left, right, step))
        actual.append(tick.toString(format));
    QCOMPARE(actual, labels);
}

QTEST_GUILESS_MAIN(TestPlotTicks)
#include "tst_plotticks.moc"
