// Looking closer at a recording on the time plot form: zoom, pan and Home, the cursors,
// the table of values and statistics, faults inside a selection, and the saved pictures,
// all driven through the real widgets.

#include "customization.h"
#include "dialoganswerer.h"
#include "measurementdata.h"
#include "plotdriver.h"
#include "plotwidget.h"
#include "timeplotform.h"
#include "timeplotwidget.h"
#include "windowdriver.h"

#include <QClipboard>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

class TestPlotZoomCursors : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void zoomPanAndHome();
    void panGesturesKeepTheSelection();
    void cursorsAndTheirValues();
    void cursorClicksKeepTheSelection();
    void statisticsFollowTheSelection();
    void faultsStayVisibleInsideTheSelection();
    void savePictures();

private:
    // One sample a second for ten minutes; T rises by 0.1 a sample; samples 300 to 359
    // report a fault.
    void record(int from, int to);
    qint64 spanMs() const { return plot->visibleLeft().msecsTo(plot->visibleRight()); }
    QDateTime timeAt(int x) const;
    int columnOf(const QDateTime &time) const;
    QString cell(int row, const QString &header) const;

    const QDateTime start = QDateTime(QDate(2024, 5, 6), QTime(10, 0));
    MeasurementData store;
    QScopedPointer<TimePlotForm> form;
    TimePlotWidget *plot = nullptr;
    QTableWidget *table = nullptr;
};

void TestPlotZoomCursors::init()
{
    viscosityMapping = false;
    store.clear();
    record(0, 600);
    form.reset(new TimePlotForm);
    form->resize(1000, 600);
    form->setMeasurementData(&store);
    form->setIntervalTimeIndex(1);
    form->setVisableGraphs(15);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.data()));
    plot = widget<TimePlotWidget>(*form, "timePlot");
    table = widget<QTableWidget>(*form, "tableWidget_inspect");
}

void TestPlotZoomCursors::cleanup()
{
    form.reset();
}

void TestPlotZoomCursors::record(int from, int to)
{
    for (int i = from; i < to; ++i)
        QVERIFY(store.addSample(start.addSecs(i), uint32_t(i), i >= 300 && i < 360 ? 0x0001 : 0,
                                i * 0.1, 800 + i % 2, 3, 2.4, 3));
}

QDateTime TestPlotZoomCursors::timeAt(int x) const
{
    const qint64 left = plot->visibleLeft().toMSecsSinceEpoch();
    return QDateTime::fromMSecsSinceEpoch(
        qint64(left + double(spanMs()) * (x - 75) / (plot->width() - 75)));
}

int TestPlotZoomCursors::columnOf(const QDateTime &time) const
{
    return int(75 + (plot->width() - 75) * double(plot->visibleLeft().msecsTo(time)) / spanMs());
}

QString TestPlotZoomCursors::cell(int row, const QString &header) const
{
    for (int column = 0; column < table->columnCount(); ++column) {
        if (table->horizontalHeaderItem(column)->text().startsWith(header))
            return table->isColumnHidden(column) || !table->item(row, column)
                       ? QString("hidden")
                       : table->item(row, column)->text();
    }
    return QString("no column");
}

void TestPlotZoomCursors::zoomPanAndHome()
{
    QCOMPARE(spanMs(), qint64(60000));
    dragOver(plot, QPoint(300, 50), QPoint(500, 50));
    QDateTime selectedLeft;
    QDateTime selectedRight;
    form->selection(selectedLeft, selectedRight);
    QVERIFY(selectedLeft.isValid() && selectedLeft < selectedRight);
    QSignalSpy selections(form.data(), &TimePlotForm::selectionChanged);

    // Ctrl+wheel zooms about the pointer; the plain wheel still scrolls.
    const qint64 msPerPixel = 60000 / (plot->width() - 75) + 1;
    const QDateTime underPointer = timeAt(400);
    turnWheel(plot, QPoint(400, 100), 120, Qt::ControlModifier);
    QCOMPARE(spanMs(), qint64(48000));
    QVERIFY(qAbs(timeAt(400).msecsTo(underPointer)) <= msPerPixel);
    const QDateTime zoomedRight = plot->visibleRight();
    turnWheel(plot, QPoint(400, 100), -120);
    QCOMPARE(spanMs(), qint64(48000));
    QVERIFY(plot->visibleRight() != zoomedRight);

    // A zoomed window stays put while samples arrive.
    const QDateTime right = plot->visibleRight();
    record(600, 610);
    form->refresh();
    QCOMPARE(plot->visibleRight(), right);

    QTest::keyClick(plot, Qt::Key_Plus);
    QCOMPARE(spanMs(), qint64(24000));
    QTest::keyClick(plot, Qt::Key_Minus);
    QCOMPARE(spanMs(), qint64(48000));
    QTest::keyClick(plot, Qt::Key_Left);
    QCOMPARE(plot->visibleRight(), right.addMSecs(-4800));
    QTest::keyClick(plot, Qt::Key_Right);
    QCOMPARE(plot->visibleRight(), right);

    // At least 1 s, at most the whole recording, and a zoom at a limit does nothing.
    for (int i = 0; i < 40; ++i)
        turnWheel(plot, QPoint(400, 100), 120, Qt::ControlModifier);
    QCOMPARE(spanMs(), qint64(1000));
    for (int i = 0; i < 40; ++i)
        turnWheel(plot, QPoint(400, 100), -120, Qt::ControlModifier);
    QCOMPARE(spanMs(), store.timestamps.first().msecsTo(store.timestamps.last()));
    QCOMPARE(plot->visibleRight(), store.timestamps.last());

    // Home: the chosen minute again, following new samples.
    QTest::keyClick(plot, Qt::Key_Home);
    QCOMPARE(spanMs(), qint64(60000));
    record(610, 620);
    form->refresh();
    QVERIFY(plot->visibleRight().msecsTo(store.timestamps.last()) < 100);
    turnWheel(plot, QPoint(400, 100), 120, Qt::ControlModifier);
    QTest::mouseClick(widget<QPushButton>(*form, "pushButton_home"), Qt::LeftButton);
    QCOMPARE(spanMs(), qint64(60000));

    QCOMPARE(selections.count(), 0);
    QDateTime left;
    QDateTime rightNow;
    form->selection(left, rightNow);
    QCOMPARE(left, selectedLeft);
    QCOMPARE(rightNow, selectedRight);
}

void TestPlotZoomCursors::panGesturesKeepTheSelection()
{
    QSignalSpy selections(form.data(), &TimePlotForm::selectionChanged);
    form->setIntervalTimeIndex(0);
    const QDateTime right = plot->visibleRight();
    const double msPerPixel = double(spanMs()) / (plot->width() - 75);

    // Dragging the plot to the right shows earlier times; the middle button pans too.
    dragOver(plot, QPoint(400, 60), QPoint(500, 60), Qt::LeftButton, Qt::ShiftModifier);
    QVERIFY(qAbs(plot->visibleRight().msecsTo(right.addMSecs(-qint64(100 * msPerPixel)))) <=
            msPerPixel);
    dragOver(plot, QPoint(500, 60), QPoint(450, 60), Qt::MiddleButton);
    QVERIFY(qAbs(plot->visibleRight().msecsTo(right.addMSecs(-qint64(50 * msPerPixel)))) <=
            2 * msPerPixel);

    QCOMPARE(selections.count(), 0);
    QDateTime left;
    QDateTime selectedRight;
    form->selection(left, selectedRight);
    QVERIFY(!left.isValid() && !selectedRight.isValid());
}

void TestPlotZoomCursors::cursorsAndTheirValues()
{
    QSignalSpy selections(form.data(), &TimePlotForm::selectionChanged);
    QVERIFY(table->isHidden());
    QTest::mouseClick(plot, Qt::LeftButton, Qt::AltModifier, QPoint(200, 80));
    QTest::mouseClick(plot, Qt::LeftButton, Qt::AltModifier, QPoint(700, 80));

    // Each cursor stands on the sample nearest to where it was placed.
    const int a = int(store.timestamps.indexOf(plot->cursorA()));
    const int b = int(store.timestamps.indexOf(plot->cursorB()));
    QVERIFY(a >= 0 && b > a);
    QVERIFY(qAbs(timeAt(200).msecsTo(plot->cursorA())) <= 500);
    QVERIFY(qAbs(timeAt(700).msecsTo(plot->cursorB())) <= 500);

    // One row per curve shown; T is the fourth.
    QVERIFY(table->isVisible());
    QCOMPARE(table->rowCount(), 4);
    QCOMPARE(table->verticalHeaderItem(3)->text(), QString("Temperature (°C)"));
    QCOMPARE(cell(3, "A"), QString::number(a * 0.1, 'g', 6));
    QCOMPARE(cell(3, "B"), QString::number(b * 0.1, 'g', 6));
    QCOMPARE(cell(3, "B − A").toDouble(), b * 0.1 - a * 0.1);
    QVERIFY(table->horizontalHeaderItem(2)->text().contains(QString("Δt %1.000 s").arg(b - a)));
    QCOMPARE(cell(3, "Mean"), QString("hidden"));

    // Cursors keep their moment while the window moves, and are drawn there.
    const QDateTime cursorA = plot->cursorA();
    QTest::keyClick(plot, Qt::Key_Left);
    QCOMPARE(plot->cursorA(), cursorA);
    const QImage image = plot->grab().toImage();
    QCOMPARE(image.pixelColor(columnOf(cursorA), plot->height() - 3), QColor(200, 0, 0));

    // With the Cursors button down a plain click places a cursor, A again after B.
    auto *cursorsButton = widget<QPushButton>(*form, "pushButton_cursors");
    QTest::mouseClick(cursorsButton, Qt::LeftButton);
    QTest::mouseClick(plot, Qt::LeftButton, {}, QPoint(400, 80));
    QVERIFY(plot->cursorA() != cursorA);
    QTest::mouseClick(cursorsButton, Qt::LeftButton);
    QVERIFY(!plot->cursorA().isValid() && !plot->cursorB().isValid());
    QVERIFY(table->isHidden());

    QCOMPARE(selections.count(), 0);
    QDateTime left;
    QDateTime right;
    form->selection(left, right);
    QVERIFY(!left.isValid());
}

// Alt+click never reaches the program under many window managers; the Cursors button
// needs no modifier, and its clicks leave the selection alone.
void TestPlotZoomCursors::cursorClicksKeepTheSelection()
{
    dragOver(plot, QPoint(300, 50), QPoint(500, 50));
    QDateTime left;
    QDateTime right;
    form->selection(left, right);
    QVERIFY(left.isValid() && right.isValid());
    QSignalSpy selections(form.data(), &TimePlotForm::selectionChanged);

    QTest::mouseClick(widget<QPushButton>(*form, "pushButton_cursors"), Qt::LeftButton);
    QTest::mouseClick(plot, Qt::LeftButton, {}, QPoint(200, 80));
    QTest::mouseClick(plot, Qt::LeftButton, {}, QPoint(700, 80));
    QVERIFY(qAbs(timeAt(200).msecsTo(plot->cursorA())) <= 500);
    QVERIFY(qAbs(timeAt(700).msecsTo(plot->cursorB())) <= 500);
    // A drag is a click where it was pressed: A again, and no selection.
    dragOver(plot, QPoint(350, 50), QPoint(450, 50));
    QVERIFY(qAbs(timeAt(350).msecsTo(plot->cursorA())) <= 500);

    QCOMPARE(selections.count(), 0);
    QDateTime leftNow;
    QDateTime rightNow;
    form->selection(leftNow, rightNow);
    QCOMPARE(leftNow, left);
    QCOMPARE(rightNow, right);
}

void TestPlotZoomCursors::statisticsFollowTheSelection()
{
    form->setIntervalTimeIndex(2); // the whole ten minutes
    const QDateTime from = timeAt(300);
    const QDateTime to = timeAt(700);
    dragOver(plot, QPoint(300, 80), QPoint(700, 80));
    QTRY_VERIFY(table->isVisible());
    QDateTime left;
    QDateTime right;
    form->selection(left, right);
    QCOMPARE(left, from);
    QCOMPARE(right, to);

    // Samples first .. last lie inside; T = 0.1 * i rises by 6 a minute.
    const int first = int(std::ceil(start.msecsTo(left) / 1000.0));
    const int last = int(std::floor(start.msecsTo(right) / 1000.0));
    QVERIFY(first < 300 && last > 360);
    QCOMPARE(cell(3, "Samples"), QString::number(last - first + 1));
    QCOMPARE(cell(3, "Mean"), QString::number((first + last) * 0.05, 'g', 6));
    QCOMPARE(cell(3, "Minimum"), QString::number(first * 0.1, 'g', 6));
    QCOMPARE(cell(3, "Maximum"), QString::number(last * 0.1, 'g', 6));
    QCOMPARE(cell(3, "Slope").toDouble(), 6.0);
    QCOMPARE(cell(3, "Faults"), QString("60"));
    // rho is 800 and 801 in turn.
    const double n = last - first + 1;
    const double ones = (last + 1) / 2 - first / 2;
    QCOMPARE(cell(2, "Std. dev."),
             QString::number(std::sqrt(ones * (n - ones) / (n * (n - 1))), 'g', 6));
    QCOMPARE(cell(3, "A"), QString("hidden"));

    // A selection reaching past the newest sample takes in the samples that arrive.
    form->setSelection(start.addSecs(590), start.addSecs(700));
    QCOMPARE(cell(3, "Samples"), QString("10"));
    record(600, 602);
    form->refresh();
    QCOMPARE(cell(3, "Samples"), QString("12"));
    QCOMPARE(cell(3, "Maximum"), QString("60.1"));
}

void TestPlotZoomCursors::faultsStayVisibleInsideTheSelection()
{
    form->setIntervalTimeIndex(2);
    const QColor fault(255, 228, 184);
    const QColor selection(254, 213, 138);
    const QColor hatch(214, 110, 0);
    dragOver(plot, QPoint(columnOf(start.addSecs(330)), 80),
             QPoint(columnOf(start.addSecs(450)), 80));
    const QImage image = plot->grab().toImage();
    const auto count = [&](int fromSecond, int toSecond, const QColor &color) {
        int pixels = 0;
        for (int x = columnOf(start.addSecs(fromSecond)); x <= columnOf(start.addSecs(toSecond));
             ++x)
            for (int y = 0; y < image.height(); ++y)
                pixels += image.pixelColor(x, y) == color;
        return pixels;
    };
    // Fault alone: its shading, hatched. Fault and selection: the selection hatched, no
    // plain fault. Selection alone: no hatching.
    QVERIFY(count(305, 325, fault) > 100);
    QVERIFY(count(305, 325, hatch) > 100);
    QVERIFY(count(335, 355, hatch) > 100);
    QVERIFY(count(335, 355, selection) > 100);
    QCOMPARE(count(335, 355, fault), 0);
    QVERIFY(count(370, 440, selection) > 100);
    QCOMPARE(count(370, 440, hatch), 0);
}

void TestPlotZoomCursors::savePictures()
{
    QTemporaryDir folder;
    DialogAnswerer answerer;
    const QImage screen = plot->grab().toImage().convertToFormat(QImage::Format_RGB32);

    answerer.answerFileDialog(folder.filePath("plot"));
    QTest::mouseClick(widget<QPushButton>(*form, "pushButton_savePicture"), Qt::LeftButton);
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenFileDialogTitles.last(), QString("Save picture"));
    QImage png(folder.filePath("plot.png"));
    QVERIFY(!png.isNull());
    // The plot as on the screen, and a caption below it.
    QCOMPARE(png.width(), plot->width());
    QVERIFY(png.height() > plot->height());
    QCOMPARE(png.copy(0, 0, plot->width(), plot->height()).convertToFormat(QImage::Format_RGB32),
             screen);
    const QImage caption = png.copy(0, plot->height(), png.width(), png.height() - plot->height());
    bool captionText = false;
    for (int y = 0; y < caption.height(); ++y)
        for (int x = 0; x < caption.width(); ++x)
            captionText |= qGray(caption.pixel(x, y)) < 100;
    QVERIFY(captionText);

    answerer.answerFileDialog(folder.filePath("plot.svg"));
    QTest::mouseClick(widget<QPushButton>(*form, "pushButton_savePicture"), Qt::LeftButton);
    QVERIFY(answerer.waitUntilAnswered());
    QSvgRenderer svg(folder.filePath("plot.svg"));
    QVERIFY(svg.isValid());
    QCOMPARE(svg.viewBox(), QRect(QPoint(0, 0), png.size()));
    QFile svgFile(folder.filePath("plot.svg"));
    QVERIFY(svgFile.open(QIODevice::ReadOnly));
    QVERIFY(svgFile.readAll().contains("Density (kg/m³)"));

    QApplication::clipboard()->clear();
    QTest::mouseClick(widget<QPushButton>(*form, "pushButton_copyPicture"), Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
             png.convertToFormat(QImage::Format_RGB32));

    // The XY plot window: Ctrl+S and Ctrl+C.
    PlotWidget xy;
    xy.setPictureCaption("nu over T");
    xy.resize(400, 300);
    xy.plot({20, 40, 60}, {9, 5, 3}, PlotWidget::Line, "nu");
    xy.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&xy));
    answerer.answerFileDialog(folder.filePath("xy.svg"));
    QTest::keyClick(&xy, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(answerer.waitUntilAnswered());
    QSvgRenderer xySvg(folder.filePath("xy.svg"));
    QVERIFY(xySvg.isValid());
    QCOMPARE(xySvg.viewBox().width(), 400);
    QApplication::clipboard()->clear();
    xy.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&xy));
    QTest::keyClick(&xy, Qt::Key_C, Qt::ControlModifier);
    const QImage copied = QApplication::clipboard()->image();
    QCOMPARE(copied.width(), 400);
    QCOMPARE(copied.copy(0, 0, 400, 300).convertToFormat(QImage::Format_RGB32),
             xy.grab().toImage().convertToFormat(QImage::Format_RGB32));
}

QTEST_MAIN(TestPlotZoomCursors)
#include "tst_plotzoomcursors.moc"
