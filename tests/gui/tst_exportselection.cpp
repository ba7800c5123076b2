// "Export selection…" on the Live Data tab: only the samples of the dragged selection,
// in the files of the full export.

#include "currentdatatab.h"
#include "customization.h"
#include "dialoganswerer.h"
#include "measurementdata.h"
#include "plotdriver.h"
#include "selectionstatistics.h"
#include "testfiles.h"
#include "timeplotform.h"
#include "timeplotwidget.h"
#include "windowdriver.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class TestExportSelection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void withoutSelectionSaysWhatToDo();
    void writesOnlyTheSelectedSamples();
};

namespace
{

QList<QByteArray> lines(const QString &fileName)
{
    QFile file(fileName);
    file.open(QIODevice::ReadOnly);
    return file.readAll().split('\n');
}

} // namespace

void TestExportSelection::init()
{
    removeSettingsFile();
    QSettings("./gui_settings.ini", QSettings::IniFormat).setValue("recordingJournal", false);
    measurementData->clear();
    const QDateTime start(QDate(2024, 5, 6), QTime(10, 0));
    for (int i = 0; i < 120; ++i)
        measurementData->addSample(start.addMSecs(500 * i), uint32_t(1000 + i), i % 7 ? 0 : 0x0201,
                                   20 + i * 0.01, 850, 3 + i * 0.001, 2.55, 3.1);
}

void TestExportSelection::withoutSelectionSaysWhatToDo()
{
    CurrentDataTab tab;
    tab.show();
    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Ok);
    QTest::mouseClick(widget<QPushButton>(tab, "pushButton_exportSelection"), Qt::LeftButton);
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.first().title, QString("Export selection"));
    QVERIFY(answerer.seenBoxes.first().text.contains("Drag over the plot"));
    QVERIFY(answerer.seenFileDialogTitles.isEmpty());
}

void TestExportSelection::writesOnlyTheSelectedSamples()
{
    CurrentDataTab tab;
    tab.resize(900, 500);
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    tab.plotNow();
    auto *plot = widget<TimePlotWidget>(tab, "timePlot");
    const int plotWidth = plot->width() - 75;
    dragOver(plot, QPoint(75 + plotWidth * 3 / 10, 50), QPoint(75 + plotWidth * 7 / 10, 50));
    QDateTime left;
    QDateTime right;
    widget<TimePlotForm>(tab, "timePlot")->selection(left, right);
    const QPair<int, int> rows = rowsBetween(measurementData->timestamps, left, right);
    QVERIFY(rows.first > 0 && rows.second < measurementData->timestamps.size());

    QTemporaryDir folder;
    QVERIFY(measurementData->exportCsv(folder.filePath("all.csv")));
    const QList<QByteArray> all = lines(folder.filePath("all.csv"));

    // A name without suffix gets the chosen filter's, CSV.
    DialogAnswerer answerer;
    answerer.answerFileDialog(folder.filePath("part"));
    QTest::mouseClick(widget<QPushButton>(tab, "pushButton_exportSelection"), Qt::LeftButton);
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenFileDialogTitles.last(), QString("Export selection"));
    const QList<QByteArray> part = lines(folder.filePath("part.csv"));
    const int headLines = 5;
    QCOMPARE(part.mid(0, headLines), all.mid(0, headLines));
    QCOMPARE(part.mid(headLines),
             all.mid(headLines + rows.first, rows.second - rows.first) + QList<QByteArray>{""});

    // The suffix .xlsx asks for a workbook.
    answerer.answerFileDialog(folder.filePath("part.xlsx"));
    QTest::mouseClick(widget<QPushButton>(tab, "pushButton_exportSelection"), Qt::LeftButton);
    QVERIFY(answerer.waitUntilAnswered());
    QProcess reader;
    reader.start(QUVA_PYTHON, {"-c",
                               "import openpyxl,sys\n"
                               "sheet = openpyxl.load_workbook(sys.argv[1]).active\n"
                               "print(sheet['A1'].value)\n"
                               "for row in sheet.iter_rows(min_row=5, values_only=True):\n"
                               "    print(row[1])",
                               folder.filePath("part.xlsx")});
    QVERIFY(reader.waitForFinished(60000));
    QStringList expected{(applicationName + " Data Export File").trimmed()};
    for (int row = rows.first; row < rows.second; ++row)
        expected.append(QString::number(measurementData->frameNr[row]));
    QCOMPARE(QString(reader.readAllStandardOutput()).trimmed().split('\n'), expected);
    QVERIFY(answerer.seenBoxes.isEmpty());
}

QTEST_MAIN(TestExportSelection)
#include "tst_exportselection.moc"
