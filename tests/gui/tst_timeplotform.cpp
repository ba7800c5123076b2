#include "customization.h"
#include "measurementdata.h"
#include "timeplotform.h"
#include "timeplotwidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

class TestTimePlotForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void emptyStoreEndsAtTheRefresh();
    void shortRecordingCannotScroll();
    void tenSecondsOverAnHour();
    void scrollingLeftStopsFollowing();
    void wheelOverThePlotScrolls();
    void visableGraphs_data();
    void visableGraphs();
    void replacedRecordingIsRedrawn();

private:
    void record(int count, qint64 intervalMs);
    QPair<QDateTime, QDateTime> visibleWindow();

    const QDateTime start = QDateTime(QDate(2024, 5, 6), QTime(10, 0));
    MeasurementData store;
    QScopedPointer<TimePlotForm> form;
    TimePlotWidget *plot = nullptr;
    QComboBox *comboBox = nullptr;
    QScrollBar *scrollBar = nullptr;
};

void TestTimePlotForm::init()
{
    viscosityMapping = false;
    store.clear();
    form.reset(new TimePlotForm);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.data()));
    plot = form->findChild<TimePlotWidget *>("timePlot");
    comboBox = form->findChild<QComboBox *>("comboBox_time");
    scrollBar = form->findChild<QScrollBar *>("horizontalScrollBar_time");
    QVERIFY(plot && comboBox && scrollBar);
    QCOMPARE(comboBox->count(), 8);
    QCOMPARE(comboBox->itemText(7), QString("2 months"));
}

void TestTimePlotForm::cleanup()
{
    form.reset();
}

void TestTimePlotForm::record(int count, qint64 intervalMs)
{
    for (int i = 0; i < count; ++i)
        QVERIFY(
            store.addSample(start.addMSecs(i * intervalMs), uint32_t(i), 0, 20, 800, 3, 2.4, 3));
}

// A drag across the whole time axis selects exactly the visible window; the form
// passes the plot's selection on.
QPair<QDateTime, QDateTime> TestTimePlotForm::visibleWindow()
{
    QSignalSpy spy(form.data(), &TimePlotForm::selectionChanged);
    QTest::mousePress(plot, Qt::LeftButton, {}, QPoint(75, 20));
    QMouseEvent move(QEvent::MouseMove, QPointF(plot->width(), 20), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(plot, &move);
    QTest::mouseRelease(plot, Qt::LeftButton, {}, QPoint(plot->width(), 20));
    if (spy.count() != 1)
        return {};
    QDateTime left;
    QDateTime right;
    form->selection(left, right);
    if (left != spy[0][0].toDateTime() || right != spy[0][1].toDateTime())
        return {};
    return {left, right};
}

void TestTimePlotForm::emptyStoreEndsAtTheRefresh()
{
    const QDateTime before = QDateTime::currentDateTime();
    form->setMeasurementData(&store);
    form->setIntervalTimeIndex(1);
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(form->intervalTimeIndex(), 1);
    QCOMPARE(scrollBar->minimum(), 600);
    QCOMPARE(scrollBar->maximum(), 600);
    QCOMPARE(scrollBar->value(), 600);
    const auto window = visibleWindow();
    QVERIFY(before <= window.second && window.second <= after);
    QCOMPARE(window.first.msecsTo(window.second), qint64(60000));
}

void TestTimePlotForm::shortRecordingCannotScroll()
{
    record(61, 500);
    form->setMeasurementData(&store);
    form->setIntervalTimeIndex(1);

    QCOMPARE(scrollBar->minimum(), 300);
    QCOMPARE(scrollBar->maximum(), 300);
    QCOMPARE(scrollBar->value(), 300);
    const auto window = visibleWindow();
    QCOMPARE(window.second, store.timestamps.last());
    QCOMPARE(window.first, store.timestamps.last().addSecs(-60));
}

void TestTimePlotForm::tenSecondsOverAnHour()
{
    record(3601, 1000);
    form->setMeasurementData(&store);
    form->setIntervalTimeIndex(3);
    comboBox->setFocus();
    QTest::keyClick(comboBox, Qt::Key_Home);
    QCOMPARE(form->intervalTimeIndex(), 0);

    QCOMPARE(scrollBar->minimum(), 100);
    QCOMPARE(scrollBar->maximum(), 36000);
    QCOMPARE(scrollBar->pageStep(), 100);
    QCOMPARE(scrollBar->singleStep(), 1);
    QCOMPARE(scrollBar->value(), 36000);
    const auto window = visibleWindow();
    QCOMPARE(window.second, start.addSecs(3600));
    QCOMPARE(window.first, start.addSecs(3590));
}

void TestTimePlotForm::scrollingLeftStopsFollowing()
{
    record(3601, 1000);
    form->setMeasurementData(&store);
    form->setIntervalTimeIndex(0);
    form->setIntervalTimeIndex(1);
    QCOMPARE(scrollBar->value(), 36000);

    // A click into the groove left of the handle moves one page (one interval) back.
    QTest::mouseClick(scrollBar, Qt::LeftButton, {}, QPoint(30, scrollBar->height() / 2));
    QCOMPARE(scrollBar->value(), 36000 - 600);
    const auto frozen = visibleWindow();
    QCOMPARE(frozen.second, start.addSecs(3540));

    QVERIFY(store.addSample(start.addSecs(3601), 3601, 0, 20, 800, 3, 2.4, 3));
    form->refresh();
    QCOMPARE(scrollBar->maximum(), 36010);
    QCOMPARE(scrollBar->value(), 36000 - 600);
    QCOMPARE(visibleWindow(), frozen);

    scrollBar->setFocus();
    QTest::keyClick(scrollBar, Qt::Key_End);
    QCOMPARE(scrollBar->value(), 36010);
    QVERIFY(store.addSample(start.addSecs(3602), 3602, 0, 20, 800, 3, 2.4, 3));
    form->refresh();
    QCOMPARE(scrollBar->value(), 36020);
    QCOMPARE(visibleWindow().second, start.addSecs(3602));
}

void TestTimePlotForm::wheelOverThePlotScrolls()
{
    record(3601, 1000);
    form->setMeasurementData(&store);
    form->setIntervalTimeIndex(1);
    form->setIntervalTimeIndex(0);
    const QPoint centre = plot->rect().center();
    QWheelEvent wheel(centre, plot->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(plot, &wheel);
    QVERIFY(scrollBar->value() < 36000);

    // The window no longer follows new samples.
    const auto moved = visibleWindow();
    QCOMPARE(moved.second, start.addMSecs(scrollBar->value() * 100));
    QVERIFY(store.addSample(start.addSecs(3601), 3601, 0, 20, 800, 3, 2.4, 3));
    form->refresh();
    QCOMPARE(visibleWindow(), moved);
}

void TestTimePlotForm::visableGraphs_data()
{
    QTest::addColumn<bool>("withStore");
    QTest::addColumn<bool>("mapping");
    QTest::addColumn<unsigned int>("flags");
    QTest::addColumn<unsigned int>("result");

    QTest::newRow("all, mapping off: nuUc stays off") << true << false << 31u << 15u;
    QTest::newRow("all, mapping on") << true << true << 31u << 31u;
    QTest::newRow("without a store the flags are kept") << false << false << 31u << 31u;
    QTest::newRow("density and temperature") << true << false << 3u << 3u;
    QTest::newRow("none") << true << false << 0u << 0u;
}

void TestTimePlotForm::visableGraphs()
{
    QFETCH(bool, withStore);
    QFETCH(bool, mapping);
    QFETCH(unsigned int, flags);
    QFETCH(unsigned int, result);

    viscosityMapping = mapping;
    form.reset(new TimePlotForm);
    if (withStore)
        form->setMeasurementData(&store);
    form->setVisableGraphs(flags);
    QCOMPARE(form->visableGraphs(), result);

    QCheckBox *nuUc = form->findChild<QCheckBox *>("checkBox_show_nu_uc");
    QCOMPARE(nuUc->isHidden(), !mapping);
    QCOMPARE(nuUc->isChecked(), mapping && (flags & 16));
    QCOMPARE(form->findChild<QCheckBox *>("checkBox_show_nu")->isChecked(), bool(flags & 4));
    QCOMPARE(form->findChild<QCheckBox *>("checkBox_show_eta")->isChecked(), bool(flags & 8));
    QCOMPARE(form->findChild<QCheckBox *>("checkBox_show_rho")->isChecked(), bool(flags & 2));
    QCOMPARE(form->findChild<QCheckBox *>("checkBox_show_T")->isChecked(), bool(flags & 1));

    if (withStore) {
        // A click on a check box redraws with the new set.
        QCheckBox *temperature = form->findChild<QCheckBox *>("checkBox_show_T");
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.data()));
        QTest::mouseClick(temperature, Qt::LeftButton, {}, QPoint(5, temperature->height() / 2));
        QCOMPARE(form->visableGraphs(), result ^ 1u);
    }
}

// Regression: a recording replaced by one with the same times (an import of an edited
// file) kept its old curve on screen.
void TestTimePlotForm::replacedRecordingIsRedrawn()
{
    form->setMeasurementData(&store);
    form->setVisableGraphs(1);
    const auto fill = [&](bool alternating) {
        for (int i = 0; i < 100; ++i)
            QVERIFY(store.addSample(start.addMSecs(i * 100), uint32_t(i), 0,
                                    alternating && i % 2 ? 30 : 20, 800, 3, 2.4, 3));
        form->refresh();
    };
    // Rows of curve colour in a column at 60 % of the time axis.
    const auto curveRows = [&] {
        const QImage image = plot->grab().toImage();
        const int x = 75 + (image.width() - 75) * 6 / 10;
        int rows = 0;
        for (int y = 0; y < image.height(); ++y)
            rows += qBlue(image.pixel(x, y)) - qRed(image.pixel(x, y)) > 60;
        return rows;
    };
    fill(false);
    QVERIFY(curveRows() <= 4);
    store.clear();
    fill(true);
    QVERIFY(curveRows() > 20);
}

QTEST_MAIN(TestTimePlotForm)
#include "tst_timeplotform.moc"
