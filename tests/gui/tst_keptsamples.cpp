// What the window says about samples is so: a file it names as keeping a recording holds
// that recording, a clear keeps what was not exported, an export never replaces the
// journal, and an import while connected says that live samples follow it. Through the
// real window against the simulated sensor.

#include "customization.h"
#include "dialoganswerer.h"
#include "elidedlabel.h"
#include "mainwindow.h"
#include "measurementdata.h"
#include "recordingcompare.h"
#include "serialportlist.h"
#include "simprocess.h"
#include "smallfilesystem.h"
#include "testfiles.h"
#include "windowdriver.h"

#include <QPushButton>
#include <QtTest>

class TestKeptSamples : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void failedImportNamesAFileThatHoldsTheRecording();
    void recordingThatCannotBeKeptStays();
    void clearKeepsWhatWasNotExported();
    void exportOntoTheJournalIsRefused();
    void importWhileConnectedSaysLiveSamplesFollow();

private:
    // Imports earlier.csv (30 samples from an hour ago), then records live samples from
    // sim until at least 5 came in, and disconnects: the store is then final.
    void importThenRecord(MainWindow &window, const SimProcess &sim);
    // Presses "Import .csv" and chooses fileName; answers to the boxes that follow are
    // queued before.
    void import(MainWindow &window, const QString &fileName,
                const QList<QMessageBox::StandardButton> &boxAnswers = {});
    // The file a message names as keeping the recording, "" when it names none.
    static QString keptFileNamed(const QString &message);

    QTemporaryDir folder;
    DialogAnswerer answerer;
};

namespace
{

const char journalName[] = "recording-journal.csv";

int dataLines(const QString &path)
{
    MeasurementData store;
    store.importCsv(path);
    return store.frameNr.size();
}

} // namespace

void TestKeptSamples::init()
{
    removeSettingsFile();
    QFile::remove(journalName);
    measurementData->clear();
    viscosityMapping = false;
    answerer.seenBoxes.clear();

    MeasurementData earlier;
    const QDateTime start = QDateTime::currentDateTime().addSecs(-3600);
    for (uint32_t frame = 1; frame <= 30; ++frame)
        earlier.addSample(start.addMSecs(500 * frame), 900000 + frame, 0, 20, 800, 10, 8, 11);
    QVERIFY(earlier.exportCsv(folder.filePath("earlier.csv")));
    QVERIFY(writeFile(folder.filePath("broken.csv"),
                      "2026-01-02T03:04:05.006;7;2.50;2.00;800.0;20.00;0x0000;nan\n"
                      "2026-01-02T03:04:06.006;8;2,5;2.00;800.0;20.00;0x0000;nan\n"));
}

void TestKeptSamples::import(MainWindow &window, const QString &fileName,
                             const QList<QMessageBox::StandardButton> &boxAnswers)
{
    answerer.answerFileDialog(fileName);
    for (QMessageBox::StandardButton answer : boxAnswers)
        answerer.answerMessageBox(answer);
    widget<QPushButton>(window, "pushButton_import")->click();
}

void TestKeptSamples::importThenRecord(MainWindow &window, const SimProcess &sim)
{
    import(window, folder.filePath("earlier.csv"));
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(measurementData->frameNr.size(), 30);
    QVERIFY(connectThroughPanel(window, sim.portName()));
    QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 35; }, 30000));
    widget<QPushButton>(window, "pushButton_disconnect")->click();
}

QString TestKeptSamples::keptFileNamed(const QString &message)
{
    const QRegularExpressionMatch match =
        QRegularExpression(" is kept in (.*\\.csv)").match(message);
    return match.hasMatch() ? match.captured(1) : QString();
}

// Regression: after an import and live samples, a failed import named the journal as
// keeping the whole recording; the journal held only the live samples.
void TestKeptSamples::failedImportNamesAFileThatHoldsTheRecording()
{
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    importThenRecord(window, sim);
    MeasurementData before;
    copySamples(*measurementData, before);

    // Yes replaces the unexported samples.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("CSV import line: 2 could not read nu"));
    import(window, folder.filePath("broken.csv"), {QMessageBox::Yes, QMessageBox::Ok});
    QVERIFY(answerer.waitUntilAnswered());
    const QString message = answerer.seenBoxes.last().text;
    QVERIFY2(
        message.contains(
            QString("The previous recording (%1 samples) is kept in ").arg(before.frameNr.size())),
        qPrintable(message));
    const QString kept = keptFileNamed(message);
    QCOMPARE(recordingDifference(before, kept), QString());
}

void TestKeptSamples::recordingThatCannotBeKeptStays()
{
    SmallFileSystem disk("kept-samples", 64 * 1024);
    if (!disk.isMounted())
        QSKIP(SmallFileSystem::skipReason);
    const QString home = QDir::currentPath();
    QVERIFY(QDir::setCurrent(disk.path()));
    const auto goHome = qScopeGuard([&] { QDir::setCurrent(home); });
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    importThenRecord(window, sim);
    const QVector<uint32_t> before = measurementData->frameNr;
    QVERIFY(disk.fill("filler"));

    // The import replaces nothing when the recording cannot be kept, and says why.
    import(window, folder.filePath("broken.csv"), {QMessageBox::Yes, QMessageBox::Ok});
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.last().title, QString("Import"));
    QVERIFY2(answerer.seenBoxes.last().text.startsWith(
                 folder.filePath("broken.csv") +
                 " was not imported: the recording could not be kept in " + disk.path()),
             qPrintable(answerer.seenBoxes.last().text));
    QCOMPARE(measurementData->frameNr, before);

    // Nor does a clear.
    answerer.answerMessageBox(QMessageBox::Yes);
    answerer.answerMessageBox(QMessageBox::Ok);
    widget<QPushButton>(window, "pushButton_clear")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.last().title, QString("Clear data"));
    QVERIFY2(answerer.seenBoxes.last().text.startsWith(
                 "Nothing was cleared: the samples could not be kept in " + disk.path()),
             qPrintable(answerer.seenBoxes.last().text));
    QCOMPARE(measurementData->frameNr, before);
    QCOMPARE(QDir(disk.path()).entryList({"recording-journal-*"}), QStringList());
}

void TestKeptSamples::clearKeepsWhatWasNotExported()
{
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    importThenRecord(window, sim);
    MeasurementData before;
    copySamples(*measurementData, before);
    const int unexported = before.frameNr.size() - 30; // imported samples count as exported

    answerer.answerMessageBox(QMessageBox::No);
    widget<QPushButton>(window, "pushButton_clear")->click();
    QVERIFY(answerer.waitUntilAnswered());
    const QString question = answerer.seenBoxes.last().text;
    QCOMPARE(answerer.seenBoxes.last().title, QString("Clear data"));
    QVERIFY2(question.startsWith(
                 QString("Are you sure?\n\n%1 samples have not been exported. They will be kept "
                         "in ")
                     .arg(unexported)),
             qPrintable(question));
    const QString kept = question.mid(question.lastIndexOf(" in ") + 4).chopped(1);
    QCOMPARE(measurementData->frameNr, before.frameNr);
    QVERIFY(!QFile::exists(kept));

    answerer.answerMessageBox(QMessageBox::Yes);
    widget<QPushButton>(window, "pushButton_clear")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QVERIFY(measurementData->frameNr.isEmpty());
    QCOMPARE(recordingDifference(before, kept), QString());

    // With nothing unexported the question is the plain one.
    answerer.answerMessageBox(QMessageBox::Yes);
    widget<QPushButton>(window, "pushButton_clear")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.last().text, QString("Are you sure?"));
}

void TestKeptSamples::exportOntoTheJournalIsRefused()
{
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    auto *indicator = widget<QLabel>(window, "journalIndicator");
    QVERIFY(connectThroughPanel(window, sim.portName()));
    QVERIFY(QTest::qWaitFor([] { return dataLines(journalName) >= 3; }, 30000));

    const QString journal = QDir::current().absoluteFilePath(journalName);
    // Named without its suffix, which the export adds: the file dialog asks nothing.
    answerer.answerFileDialog(journal.chopped(4));
    answerer.answerMessageBox(QMessageBox::Ok);
    widget<QPushButton>(window, "pushButton_export")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.last().title, QString("Export"));
    QCOMPARE(answerer.seenBoxes.last().text,
             "Export failed, error writing file.\n\n" + journal +
                 " is the recording journal, which keeps the live samples as they are taken; it "
                 "stays as it is. Please choose another name.");
    // The journal goes on in its own file.
    const int lines = dataLines(journalName);
    QVERIFY(QTest::qWaitFor([&] { return dataLines(journalName) > lines; }, 30000));
    QVERIFY(indicator->isHidden());

    // A journal file taken away under it is shown as not writing, until a clear starts a
    // new one.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("removed or replaced"));
    QVERIFY(QFile::remove(journalName));
    QVERIFY(QTest::qWaitFor([&] { return !indicator->isHidden(); }, 30000));
    QVERIFY2(indicator->toolTip().endsWith(": the file was removed or replaced"),
             qPrintable(indicator->toolTip()));
    answerer.answerMessageBox(QMessageBox::Yes);
    widget<QPushButton>(window, "pushButton_clear")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QVERIFY(QTest::qWaitFor([&] { return indicator->isHidden(); }, 30000));
    QVERIFY(QTest::qWaitFor([&] { return dataLines(journalName) >= 1; }, 30000));
}

void TestKeptSamples::importWhileConnectedSaysLiveSamplesFollow()
{
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(1366, 768);
    auto *notice = widget<ElidedLabel>(window, "label_notice");
    QVERIFY(connectThroughPanel(window, sim.portName()));
    QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 3; }, 30000));

    import(window, folder.filePath("earlier.csv"), {QMessageBox::Yes});
    QVERIFY(answerer.waitUntilAnswered());
    const QString text = notice->text();
    QVERIFY2(text.startsWith("Imported 30 samples from " + folder.filePath("earlier.csv") +
                             ". The previous recording ("),
             qPrintable(text));
    QVERIFY2(text.endsWith(". Live samples from the connected sensor continue after the "
                           "imported ones."),
             qPrintable(text));
    QCOMPARE(notice->toolTip(), text);
    // Too long for the status bar: shortened after a whole word.
    const QString shown = notice->shownText();
    QVERIFY2(shown.endsWith(QString::fromUtf8("…")) && text.startsWith(shown.chopped(1) + ' '),
             qPrintable(QString("%1 px: %2").arg(notice->width()).arg(shown)));

    QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 33; }, 30000));
    QVERIFY(measurementData->timestamps[30] > measurementData->timestamps[29].addSecs(3000));
}

QTEST_MAIN(TestKeptSamples)
#include "tst_keptsamples.moc"
