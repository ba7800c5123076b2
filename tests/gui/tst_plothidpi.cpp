// The time plot on a screen of device pixel ratio 2: everything drawn at twice the
// pixels, and the cursor labels inside the widget, also at its right edge.

#include "customization.h"
#include "measurementdata.h"
#include "timeplotform.h"
#include "timeplotwidget.h"
#include "windowdriver.h"

#include <QClipboard>
#include <QPushButton>
#include <QtTest>

class TestPlotHiDpi : public QObject
{
    Q_OBJECT

private slots:
    void drawsAtTwiceThePixels();
};

void TestPlotHiDpi::drawsAtTwiceThePixels()
{
    viscosityMapping = false;
    MeasurementData store;
    const QDateTime start(QDate(2024, 5, 6), QTime(10, 0));
    for (int i = 0; i < 120; ++i)
        store.addSample(start.addMSecs(500 * i), uint32_t(i), i > 60 && i < 80 ? 1 : 0,
                        20 + i * 0.01, 850, 3, 2.55, 3);
    TimePlotForm form;
    form.resize(900, 600);
    form.setMeasurementData(&store);
    form.setIntervalTimeIndex(1);
    form.setVisableGraphs(15);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto *plot = widget<TimePlotWidget>(form, "timePlot");
    QCOMPARE(plot->devicePixelRatioF(), 2.0);

    // A at the right edge, B near the left one.
    QTest::mouseClick(plot, Qt::LeftButton, Qt::AltModifier, QPoint(plot->width() - 2, 100));
    QTest::mouseClick(plot, Qt::LeftButton, Qt::AltModifier, QPoint(90, 100));
    QVERIFY(plot->cursorA().isValid() && plot->cursorB().isValid());

    const QImage image = plot->grab().toImage();
    QCOMPARE(image.size(), plot->size() * 2);
    const QColor labelFill(255, 255, 240);
    QRect boxes;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == labelFill)
                boxes |= QRect(x, y, 1, 1);
    QVERIFY(!boxes.isEmpty());
    QVERIFY2(image.rect().adjusted(1, 1, -1, -1).contains(boxes),
             qPrintable(QString("label boxes %1,%2 %3x%4 in %5x%6")
                            .arg(boxes.x())
                            .arg(boxes.y())
                            .arg(boxes.width())
                            .arg(boxes.height())
                            .arg(image.width())
                            .arg(image.height())));
    // Two labels one above the other: the font is drawn at twice its pixels.
    QVERIFY(boxes.height() >= 2 * 2 * plot->fontMetrics().height());

    // The copied picture has the screen's pixels.
    QTest::mouseClick(widget<QPushButton>(form, "pushButton_copyPicture"), Qt::LeftButton);
    const QImage copied = QApplication::clipboard()->image();
    QCOMPARE(copied.width(), 2 * plot->width());
    QVERIFY(copied.height() > 2 * plot->height());
}

int main(int argc, char *argv[])
{
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication application(argc, argv);
    TestPlotHiDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_plothidpi.moc"
