#include "timegaprule.h"
#include "timeplotwidget.h"

#include <QImage>
#include <QtTest>

namespace
{

const QDateTime start(QDate(2024, 5, 6), QTime(10, 0));

// Samples every spacingMs from 0 to 10 s, then from 10 s + gapMs to 40 s.
QVector<QDateTime> twoStretches(int spacingMs, int gapMs)
{
    QVector<QDateTime> timestamps;
    for (int ms = 0; ms <= 10000; ms += spacingMs)
        timestamps.append(start.addMSecs(ms));
    for (int ms = 10000 + gapMs; ms <= 40000; ms += spacingMs)
        timestamps.append(start.addMSecs(ms));
    return timestamps;
}

QVector<QDateTime> fromIntervals(const QVector<int> &intervalsMs)
{
    QVector<QDateTime> timestamps{start};
    for (int interval : intervalsMs)
        timestamps.append(timestamps.last().addMSecs(interval));
    return timestamps;
}

bool isCurveColour(QRgb pixel)
{
    return qBlue(pixel) - qRed(pixel) > 60;
}

bool isDark(QRgb pixel)
{
    return qRed(pixel) < 100 && qGreen(pixel) < 100 && qBlue(pixel) < 100;
}

} // namespace

class TestTimeGapRule : public QObject
{
    Q_OBJECT

private slots:
    void gap_data();
    void gap();
    void median_data();
    void median();
    void medianFollowsAReplacedRecording();
    void curveBreaksAtAGap_data();
    void curveBreaksAtAGap();
    void thinnedOutRecordingStaysWhole();
};

void TestTimeGapRule::gap_data()
{
    QTest::addColumn<qint64>("intervalMs");
    QTest::addColumn<qint64>("medianMs");
    QTest::addColumn<bool>("gap");

    QTest::newRow("ten medians exactly is no gap") << qint64(10000) << qint64(1000) << false;
    QTest::newRow("over ten medians and over 5 s") << qint64(10001) << qint64(1000) << true;
    QTest::newRow("over ten medians, 5 s exactly") << qint64(5000) << qint64(100) << false;
    QTest::newRow("over ten medians, just over 5 s") << qint64(5001) << qint64(100) << true;
    QTest::newRow("minutes, well within ten medians") << qint64(600000) << qint64(120000) << false;
    QTest::newRow("no median yet: over 5 s") << qint64(6000) << qint64(0) << true;
    QTest::newRow("an hour's median: within ten medians")
        << qint64(3600000) << qint64(3600000) << false;
}

void TestTimeGapRule::gap()
{
    QFETCH(qint64, intervalMs);
    QFETCH(qint64, medianMs);
    QFETCH(bool, gap);
    QCOMPARE(isTimeGap(intervalMs, medianMs), gap);
}

void TestTimeGapRule::median_data()
{
    QTest::addColumn<QVector<QDateTime>>("timestamps");
    QTest::addColumn<qint64>("medianMs");

    QTest::newRow("no samples") << QVector<QDateTime>() << qint64(0);
    QTest::newRow("one sample") << QVector<QDateTime>{start} << qint64(0);
    QTest::newRow("one interval") << fromIntervals({700}) << qint64(700);
    QTest::newRow("odd count, a long pause does not count")
        << fromIntervals({500, 480, 600000}) << qint64(500);
    QTest::newRow("even count: between the middle two")
        << fromIntervals({400, 500, 600, 700}) << qint64(550);
    QVector<int> mostly(3000, 500);
    for (int i = 0; i < 40; ++i)
        mostly[i * 70] = 3600000;
    QTest::newRow("a long recording with hour-long pauses") << fromIntervals(mostly) << qint64(500);
}

void TestTimeGapRule::median()
{
    QFETCH(QVector<QDateTime>, timestamps);
    QFETCH(qint64, medianMs);
    QCOMPARE(medianSampleInterval(timestamps), medianMs);
}

void TestTimeGapRule::medianFollowsAReplacedRecording()
{
    // The plot keeps the median between paints; a recording cleared and filled again
    // (an import) at another rate must not be judged by the old one.
    QVector<QDateTime> timestamps = twoStretches(1000, 0);
    TimeGapRule rule;
    rule.update(&timestamps);
    QCOMPARE(rule.medianIntervalMs(), qint64(1000));
    timestamps = twoStretches(100, 0);
    timestamps.prepend(start.addSecs(-1));
    rule.update(&timestamps);
    QCOMPARE(rule.medianIntervalMs(), qint64(100));
    QVERIFY(rule.isGap(0, 5001));
}

void TestTimeGapRule::curveBreaksAtAGap_data()
{
    QTest::addColumn<int>("spacingMs");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<bool>("broken");

    QTest::newRow("20 s after samples every second") << 1000 << 20000 << true;
    QTest::newRow("6 s after samples every second: within ten medians") << 1000 << 6000 << false;
    QTest::newRow("4 s after samples every 0.2 s: not over 5 s") << 200 << 4000 << false;
    QTest::newRow("6 s after samples every 0.2 s") << 200 << 6000 << true;
}

void TestTimeGapRule::curveBreaksAtAGap()
{
    QFETCH(int, spacingMs);
    QFETCH(int, gapMs);
    QFETCH(bool, broken);

    // 475 x 200 px over 40 s: 10 px per second from column 75. The gap runs from
    // column 175 to 175 + gapMs / 100.
    QVector<QDateTime> timestamps = twoStretches(spacingMs, gapMs);
    QVector<double> values(timestamps.size(), 5.0);
    QVector<uint16_t> states(timestamps.size(), 0x0001);
    TimePlotWidget plot;
    plot.resize(475, 200);
    QVERIFY(plot.setVisibleTimeInterval(start, start.addSecs(40)));
    plot.setData(&timestamps, {"T"}, {&values}, &states, {1});
    const int gapMiddle = 175 + gapMs / 200;
    QMouseEvent move(QEvent::MouseMove, QPointF(gapMiddle, 120), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&plot, &move);

    QImage image(plot.size(), QImage::Format_ARGB32);
    plot.render(&image);
    // The constant lies in the middle of the band, row 99 or 100.
    bool curveInGap = false;
    for (int x = 178; x <= 172 + gapMs / 100; ++x)
        curveInGap |= isCurveColour(image.pixel(x, 99)) || isCurveColour(image.pixel(x, 100));
    QCOMPARE(curveInGap, !broken);
    QVERIFY(isCurveColour(image.pixel(120, 99)) || isCurveColour(image.pixel(120, 100)));
    QVERIFY(isCurveColour(image.pixel(450, 99)) || isCurveColour(image.pixel(450, 100)));

    // Hovering: the state text ends above the pointer and the value "5.00" below it,
    // both left of it (the pointer is right of the middle) or right of it.
    int dark = 0;
    for (int y = 30; y < 135; ++y) {
        for (int x = 76; x < image.width(); ++x) {
            if (x != gapMiddle)
                dark += isDark(image.pixel(x, y));
        }
    }
    QCOMPARE(dark == 0, broken);
}

void TestTimeGapRule::thinnedOutRecordingStaysWhole()
{
    // 30000 samples 2 s apart in one window, 63 to a column: no two are more than ten
    // medians apart, however many a column takes.
    QVector<QDateTime> timestamps;
    for (int i = 0; i < 30000; ++i)
        timestamps.append(start.addSecs(2 * i));
    QVector<double> values(timestamps.size(), 5.0);
    TimePlotWidget plot;
    plot.resize(475, 200);
    QVERIFY(plot.setVisibleTimeInterval(start, timestamps.last()));
    plot.setData(&timestamps, {"T"}, {&values}, nullptr, {1});
    QImage image(plot.size(), QImage::Format_ARGB32);
    plot.render(&image);
    for (int x : {80, 200, 300, 470})
        QVERIFY(isCurveColour(image.pixel(x, 99)) || isCurveColour(image.pixel(x, 100)));
}

QTEST_MAIN(TestTimeGapRule)
#include "tst_timegaprule.moc"
