#include "timeplotwidget.h"

#include <QImage>
#include <QSignalSpy>
#include <QtTest>

#include <limits>

// The plot is 475 x 200 px with a 40 s window, so its time axis (from column 75) runs
// at 10 px per second: sample i, taken i seconds after the window's start, lies in
// column 75 + 10 i. Time grid lines (every 5 s) lie in columns 125, 175, ... 425.
class TestTimePlotWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void faultShading_data();
    void faultShading();
    void selectionColour_data();
    void selectionColour();
    void nanSplitsCurve_data();
    void nanSplitsCurve();
    void hoverTextOnlyForFaults_data();
    void hoverTextOnlyForFaults();
    void clickWithoutMovementEmitsNothing();
    void dragRightToLeftEmitsAscending();
    void selectionStaysWithItsTimesWhileScrolling();
    void invalidIntervalIsRefused_data();
    void invalidIntervalIsRefused();
    void worstCaseReachesEveryColumnsExtremes();

private:
    void bind(const QVector<uint16_t> &states, const QVector<double> &values = {});
    QImage render();
    QPair<QDateTime, QDateTime> drag(int fromX, int toX);

    const QDateTime start = QDateTime(QDate(2024, 5, 6), QTime(10, 0));
    const QColor white = QColor(255, 255, 255);
    const QColor faultColour = QColor(255, 228, 184);
    const QColor selectionColour_ = QColor(254, 213, 138);
    QScopedPointer<TimePlotWidget> plot;
    QVector<QDateTime> timestamps;
    QVector<uint16_t> systemStates;
    QVector<double> values;
};

namespace
{

const int sampleCount = 41;
const double missing = std::numeric_limits<double>::quiet_NaN();

QVector<uint16_t> statesWith(int from, int to, uint16_t state)
{
    QVector<uint16_t> states(sampleCount, 0);
    for (int i = from; i <= to; ++i)
        states[i] = state;
    return states;
}

bool isCurveColour(QRgb pixel)
{
    return qBlue(pixel) - qRed(pixel) > 60;
}

} // namespace

void TestTimePlotWidget::init()
{
    plot.reset(new TimePlotWidget);
    plot->resize(475, 200);
    timestamps.clear();
    for (int i = 0; i < sampleCount; ++i)
        timestamps.append(start.addSecs(i));
    QVERIFY(plot->setVisibleTimeInterval(start, start.addSecs(40)));
}

void TestTimePlotWidget::bind(const QVector<uint16_t> &states, const QVector<double> &values)
{
    systemStates = states;
    this->values = values;
    if (values.isEmpty())
        plot->setData(&timestamps, {}, {}, &systemStates, {});
    else
        plot->setData(&timestamps, {"T"}, {&this->values}, &systemStates, {1});
}

QImage TestTimePlotWidget::render()
{
    QImage image(plot->size(), QImage::Format_ARGB32);
    plot->render(&image);
    return image;
}

// A left-button drag along row 50; returns the emitted selection.
QPair<QDateTime, QDateTime> TestTimePlotWidget::drag(int fromX, int toX)
{
    QSignalSpy spy(plot.data(), &TimePlotWidget::selectionChanged);
    QTest::mousePress(plot.data(), Qt::LeftButton, {}, QPoint(fromX, 50));
    QMouseEvent move(QEvent::MouseMove, QPointF(toX, 50), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(plot.data(), &move);
    QTest::mouseRelease(plot.data(), Qt::LeftButton, {}, QPoint(toX, 50));
    if (spy.count() != 1)
        return {};
    return {spy[0][0].toDateTime(), spy[0][1].toDateTime()};
}

void TestTimePlotWidget::faultShading_data()
{
    QTest::addColumn<QVector<uint16_t>>("states");
    QTest::addColumn<QVector<int>>("shaded");
    QTest::addColumn<QVector<int>>("clear");

    QTest::newRow("from the first faulty sample to the next good one")
        << statesWith(11, 18, 0x0001) << QVector<int>{185, 200, 264} << QVector<int>{184, 265};
    QTest::newRow("0x0200 alone is no fault")
        << statesWith(11, 18, 0x0200) << QVector<int>{} << QVector<int>{185, 200, 264};
    QTest::newRow("0x0201 is a fault")
        << statesWith(11, 18, 0x0201) << QVector<int>{185, 200, 264} << QVector<int>{184, 265};
    QTest::newRow("from the first visible sample")
        << statesWith(0, 3, 0x0040) << QVector<int>{75, 100, 114} << QVector<int>{74, 116};
    QTest::newRow("still open at the end, to the right edge")
        << statesWith(36, 40, 0x0002) << QVector<int>{435, 450, 474} << QVector<int>{434};
}

void TestTimePlotWidget::faultShading()
{
    QFETCH(QVector<uint16_t>, states);
    QFETCH(QVector<int>, shaded);
    QFETCH(QVector<int>, clear);

    bind(states);
    const QImage image = render();
    for (int x : shaded)
        QCOMPARE(image.pixelColor(x, 10), faultColour);
    for (int x : clear)
        QCOMPARE(image.pixelColor(x, 10), white);
}

void TestTimePlotWidget::selectionColour_data()
{
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("to");

    QTest::newRow("in order") << start.addSecs(6) << start.addSecs(11);
    QTest::newRow("reversed") << start.addSecs(11) << start.addSecs(6);
}

void TestTimePlotWidget::selectionColour()
{
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, to);

    bind(QVector<uint16_t>(sampleCount, 0));
    plot->setSelection(from, to);
    const QImage image = render();
    for (int x : {135, 160, 184})
        QCOMPARE(image.pixelColor(x, 10), selectionColour_);
    for (int x : {134, 185})
        QCOMPARE(image.pixelColor(x, 10), white);
}

void TestTimePlotWidget::nanSplitsCurve_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<bool>("drawn");

    QVector<double> gap(sampleCount, 5.0);
    gap[15] = gap[16] = gap[17] = missing;
    QTest::newRow("NaN splits the curve") << gap << true;
    QTest::newRow("all NaN draws no points and no value grid")
        << QVector<double>(sampleCount, missing) << false;
}

void TestTimePlotWidget::nanSplitsCurve()
{
    QFETCH(QVector<double>, values);
    QFETCH(bool, drawn);

    bind(QVector<uint16_t>(sampleCount, 0), values);
    const QImage image = render();
    int curvePixels = 0;
    int gridPixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (isCurveColour(pixel)) {
                ++curvePixels;
                // Samples 14 and 18 end the two parts, at columns 215 and 255.
                QVERIFY2(x <= 216 || x >= 254, qPrintable(QString("x %1 y %2").arg(x).arg(y)));
            }
            // Clear of the time grid and its labels, only value grid lines cross here.
            if (x >= 185 && x <= 205 && pixel != qRgb(255, 255, 255))
                ++gridPixels;
        }
    }
    QCOMPARE(curvePixels > 0, drawn);
    QCOMPARE(gridPixels > 0, drawn);
    if (drawn) {
        // The constant 5 with a minimum range of 1 lies in the middle of the band.
        QVERIFY(isCurveColour(image.pixel(100, 99)));
        QVERIFY(isCurveColour(image.pixel(300, 100)));
    }
}

void TestTimePlotWidget::hoverTextOnlyForFaults_data()
{
    QTest::addColumn<uint16_t>("state");
    QTest::addColumn<bool>("text");

    QTest::newRow("0x0201 shows the text of bit 0") << uint16_t(0x0201) << true;
    QTest::newRow("0x0200 shows nothing") << uint16_t(0x0200) << false;
    QTest::newRow("0 shows nothing") << uint16_t(0) << false;
}

void TestTimePlotWidget::hoverTextOnlyForFaults()
{
    QFETCH(uint16_t, state);
    QFETCH(bool, text);

    bind(QVector<uint16_t>(sampleCount, state));
    QMouseEvent move(QEvent::MouseMove, QPointF(300, 150), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(plot.data(), &move);
    const QImage image = render();
    // Right of the middle the text ends just above the pointer, left of it.
    int dark = 0;
    for (int y = 100; y < 150; ++y) {
        for (int x = 100; x < 298; ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.red() < 100 && pixel.green() < 100 && pixel.blue() < 100)
                ++dark;
        }
    }
    QCOMPARE(dark > 0, text);
}

void TestTimePlotWidget::clickWithoutMovementEmitsNothing()
{
    bind(QVector<uint16_t>(sampleCount, 0));
    QSignalSpy spy(plot.data(), &TimePlotWidget::selectionChanged);
    QTest::mousePress(plot.data(), Qt::LeftButton, {}, QPoint(200, 50));
    QTest::mouseRelease(plot.data(), Qt::LeftButton, {}, QPoint(200, 50));
    QCOMPARE(spy.count(), 0);
}

void TestTimePlotWidget::dragRightToLeftEmitsAscending()
{
    bind(QVector<uint16_t>(sampleCount, 0));
    const auto selection = drag(300, 150);
    QCOMPARE(selection.first, start.addMSecs(7500));
    QCOMPARE(selection.second, start.addMSecs(22500));
    QDateTime left;
    QDateTime right;
    plot->selection(left, right);
    QCOMPARE(left, start.addMSecs(7500));
    QCOMPARE(right, start.addMSecs(22500));
}

void TestTimePlotWidget::selectionStaysWithItsTimesWhileScrolling()
{
    bind(QVector<uint16_t>(sampleCount, 0));
    drag(150, 300);
    QImage image = render();
    QCOMPARE(image.pixelColor(200, 10), selectionColour_);
    QCOMPARE(image.pixelColor(100, 10), white);

    // Ten seconds later the selection (7.5 s .. 22.5 s) lies 100 px further left.
    QVERIFY(plot->setVisibleTimeInterval(start.addSecs(10), start.addSecs(50)));
    image = render();
    QCOMPARE(image.pixelColor(100, 10), selectionColour_);
    QCOMPARE(image.pixelColor(198, 10), selectionColour_);
    QCOMPARE(image.pixelColor(260, 10), white);
    QDateTime left;
    QDateTime right;
    plot->selection(left, right);
    QCOMPARE(left, start.addMSecs(7500));
    QCOMPARE(right, start.addMSecs(22500));
}

void TestTimePlotWidget::invalidIntervalIsRefused_data()
{
    QTest::addColumn<QDateTime>("left");
    QTest::addColumn<QDateTime>("right");

    QTest::newRow("invalid left") << QDateTime() << start;
    QTest::newRow("invalid right") << start << QDateTime();
    QTest::newRow("empty") << start << start;
    QTest::newRow("reversed") << start.addSecs(10) << start;
}

void TestTimePlotWidget::invalidIntervalIsRefused()
{
    QFETCH(QDateTime, left);
    QFETCH(QDateTime, right);

    bind(QVector<uint16_t>(sampleCount, 0));
    QTest::ignoreMessage(QtWarningMsg, "TimeplotWidget: invalid time interval");
    QVERIFY(!plot->setVisibleTimeInterval(left, right));
    // The previous window stays: a drag over the whole axis selects it.
    const auto window = drag(75, 475);
    QCOMPARE(window.first, start);
    QCOMPARE(window.second, start.addSecs(40));
}

// Ten samples a column, alternating between the band's extremes: however the curve is
// reduced, every column must still reach from one extreme to the other.
void TestTimePlotWidget::worstCaseReachesEveryColumnsExtremes()
{
    timestamps.clear();
    values.clear();
    // 4000 samples: a paint visits all of them (a larger window would visit every
    // second one, all of one phase).
    for (int i = 0; i < 4000; ++i) {
        timestamps.append(start.addMSecs(i * 10));
        values.append(i % 2);
    }
    systemStates = QVector<uint16_t>(timestamps.size(), 0);
    plot->setData(&timestamps, {"T"}, {&values}, &systemStates, {1});
    const QImage image = render();
    // Display range -0.1 .. 1.1 over rows 200 .. 0: 1 at row 16, 0 at row 183; the
    // pen covers the columns x - 1 and x of a sample in column x.
    for (int x = 76; x < image.width(); ++x) {
        int top = image.height();
        int bottom = -1;
        for (int y = 0; y < image.height(); ++y) {
            if (isCurveColour(image.pixel(x, y))) {
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
        QVERIFY2(top <= 16 && bottom >= 182,
                 qPrintable(QString("column %1: rows %2 to %3").arg(x).arg(top).arg(bottom)));
    }
}

QTEST_MAIN(TestTimePlotWidget)
#include "tst_timeplotwidget.moc"
