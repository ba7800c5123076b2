#include "csvline.h"
#include "customization.h"
#include "dialoganswerer.h"
#include "mainwindow.h"
#include "measurementdata.h"
#include "recordingfiles.h"
#include "recordinghead.h"
#include "testfiles.h"
#include "timeplotwidget.h"
#include "viewerwindow.h"
#include "windowdriver.h"

#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QtTest>

namespace
{

const QDateTime firstSample(QDate(2024, 3, 5), QTime(14, 0));

QList<ViewerWindow *> viewers()
{
    QList<ViewerWindow *> found;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *viewer = qobject_cast<ViewerWindow *>(widget); viewer && viewer->isVisible())
            found.append(viewer);
    }
    return found;
}

} // namespace

class TestViewerWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void headLines_data();
    void headLines();
    void importTellsProgressAndCancels();
    void opensBesideTheLiveRecording();
    void badFileIsNamedAndOpensNothing();
    void droppedFileOpens();
};

void TestViewerWindow::init()
{
    removeSettingsFile();
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    settings.setValue("recordingJournal", false);
    measurementData->clear();
}

void TestViewerWindow::cleanup()
{
    qDeleteAll(viewers());
}

void TestViewerWindow::headLines_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("title");

    QTest::newRow("the export's head")
        << csvHead("QUVA-Explorer", "Tarnwell")
        << QStringList{"QUVA-Explorer Data Export File", "Tarnwell, 2024"}
        << "plant.csv — QUVA-Explorer Data Export File";
    QTest::newRow("byte-order mark and CR LF")
        << QByteArray("\xef\xbb\xbf# Line A\r\n#\r\n#  Line B \r\n2024")
        << QStringList{"Line A", "Line B"} << "plant.csv — Line A";
    QTest::newRow("no head") << QByteArray("2024-03-05T14:00:00.000;1;1;1;1;1;0x0000;nan\n")
                             << QStringList() << "plant.csv";
    QTest::newRow("comments after data are not the head")
        << QByteArray("# Head\ndate/time\n# later\n") << QStringList{"Head"} << "plant.csv — Head";
    QTest::newRow("a line cut off at the end is left out")
        << QByteArray("# Whole\n# Cut o") << QStringList{"Whole"} << "plant.csv — Whole";
}

void TestViewerWindow::headLines()
{
    QFETCH(QByteArray, start);
    QFETCH(QStringList, lines);
    QFETCH(QString, title);
    QCOMPARE(recordingHeadLines(start), lines);
    QCOMPARE(recordingTitle("/data/plant.csv", recordingHeadLines(start)), title);
}

// The viewer's progress and Cancel ride on the import's progress: bytes rise to the
// file's size, and false stops the import before the end.
void TestViewerWindow::importTellsProgressAndCancels()
{
    QTemporaryDir folder;
    const QString file = folder.filePath("big.csv");
    QVERIFY(writeFile(file, recordingCsv(risingSamples(60000, firstSample))));
    const qint64 size = QFileInfo(file).size();
    QVERIFY(size > 2 * (1 << 20)); // more than two blocks of the import

    MeasurementData store;
    QVector<qint64> told;
    QVERIFY(store.importCsv(file, MeasurementData::UnendedLastLine::Read, [&](qint64 bytes) {
        told.append(bytes);
        return true;
    }));
    QVERIFY(told.size() >= 3);
    QVERIFY(std::is_sorted(told.begin(), told.end()));
    QCOMPARE(told.last(), size);
    QCOMPARE(store.timestamps.size(), 60000);

    QVERIFY(!store.importCsv(file, MeasurementData::UnendedLastLine::Read,
                             [](qint64) { return false; }));
    QVERIFY(store.timestamps.size() < 60000);
}

// "Open recording…" and Ctrl+O each open a viewer of a file: several at once, the whole
// recording in view, the head in title and header, while the live store keeps its own.
void TestViewerWindow::opensBesideTheLiveRecording()
{
    QTemporaryDir folder;
    const QString fileA = folder.filePath("plant-a.csv");
    const QString fileB = folder.filePath("plant-b.csv");
    const QVector<LiveSample> samples = risingSamples(7200, firstSample); // an hour
    QVERIFY(writeFile(fileA, recordingCsv(samples)));
    QVERIFY(writeFile(fileB, recordingCsv(samples.mid(0, 10))));
    const QDateTime liveTime = QDateTime::currentDateTime();
    for (int i = 0; i < 3; ++i)
        measurementData->addSample(liveTime.addSecs(i), uint32_t(i), 0, 20, 800, 3, 2.4, 3.1);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    DialogAnswerer answerer;
    answerer.answerFileDialog(fileA);
    widget<QPushButton>(window, "pushButton_openRecording")->click();
    QTRY_COMPARE(viewers().size(), 1);

    ViewerWindow *viewer = viewers().first();
    QCOMPARE(viewer->recording().timestamps.size(), samples.size());
    QCOMPARE(viewer->recording().nu.last(), samples.last().nu);
    QCOMPARE(viewer->windowTitle(), QString("plant-a.csv — QUVA-Explorer Data Export File"));
    const QString header = widget<QLabel>(*viewer, "label_header")->text();
    QVERIFY2(header.contains(QDir::toNativeSeparators(fileA)) &&
                 header.contains("Tarnwell, 2024") && header.contains("7200 samples"),
             qPrintable(header));
    auto *plot = widget<TimePlotWidget>(*viewer, "timePlot");
    QVERIFY(plot->visibleLeft() <= samples.first().timestamp);
    QVERIFY(plot->visibleRight() >= samples.last().timestamp.addMSecs(-100));

    // The live store and what the live tab shows are as they were.
    QCOMPARE(measurementData->timestamps.size(), 3);
    QCOMPARE(measurementData->nu.first(), 3.0);
    QVERIFY(widget<TimePlotWidget>(window, "timePlot")->visibleRight() >= liveTime);

    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    answerer.answerFileDialog(fileB);
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    QTRY_COMPARE(viewers().size(), 2);
    QCOMPARE(answerer.seenFileDialogTitles, QStringList({"Open recording", "Open recording"}));
    QCOMPARE(measurementData->timestamps.size(), 3);
}

// A bad line gets the import's box with the file, the line and the reason; no viewer
// opens and the live store is untouched.
void TestViewerWindow::badFileIsNamedAndOpensNothing()
{
    QTemporaryDir folder;
    const QString file = folder.filePath("bad.csv");
    QByteArray content = recordingCsv(risingSamples(3, firstSample));
    content.append("2024-03-05T15:00:00.000;9;1,5;1.00;800.0;20.00;0x0000;nan\n");
    QVERIFY(writeFile(file, content));
    measurementData->addSample(QDateTime::currentDateTime(), 1, 0, 20, 800, 3, 2.4, 3.1);

    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Ok);
    QVERIFY(!ViewerWindow::openFile(file, nullptr));
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.size(), 1);
    QCOMPARE(answerer.seenBoxes.first().title, QString("Import"));
    const QString text = answerer.seenBoxes.first().text;
    QVERIFY2(text.startsWith("Import failed, please check file format.") && text.contains(file) &&
                 text.contains("line 9") && text.contains("could not read nu"),
             qPrintable(text));
    QVERIFY(viewers().isEmpty());
    QCOMPARE(measurementData->timestamps.size(), 1);
}

void TestViewerWindow::droppedFileOpens()
{
    QTemporaryDir folder;
    const QString file = folder.filePath("dropped.csv");
    QVERIFY(writeFile(file, recordingCsv(risingSamples(20, firstSample))));
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file)});
    const QPoint centre = window.rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    QTRY_COMPARE(viewers().size(), 1);
    QCOMPARE(viewers().first()->recording().timestamps.size(), 20);
    QVERIFY(measurementData->timestamps.isEmpty());
}

QTEST_MAIN(TestViewerWindow)
#include "tst_viewerwindow.moc"
