// Writes cut short: the program killed outright at random moments of an export or of the
// recording journal, and the journal, the window and the recorder on a file system that
// fills up.

#include "csvline.h"
#include "customization.h"
#include "dialoganswerer.h"
#include "mainwindow.h"
#include "measurementdata.h"
#include "recordingjournal.h"
#include "serialportlist.h"
#include "simprocess.h"
#include "smallfilesystem.h"
#include "testchild.h"
#include "testfiles.h"
#include "testseed.h"
#include "windowdriver.h"

#include <QLabel>
#include <QPushButton>

#include <QScopeGuard>
#include <QtTest>

#include <cmath>
#include <csignal>

namespace
{

const QByteArray oldContent = "the file of an earlier export\n";
// Enough for an export to take a while: the kills fall before, during and after it.
int exportSamples(const QString &target)
{
    return target.endsWith(".csv") ? 200000 : 20000;
}
const QDateTime start(QDate(2024, 3, 5), QTime(8, 0));

void fill(MeasurementData &store, int count)
{
    for (int i = 0; i < count; ++i)
        store.addSample(start.addMSecs(500LL * i), uint32_t(i + 1), uint16_t(i % 3),
                        20 + i % 100 * 0.01, 849.25, 12.5 + i % 7, 10.5, std::nan(""));
}

// A zip archive that ends in its end-of-central-directory record is complete.
bool isCompleteXlsx(const QByteArray &bytes)
{
    return bytes.startsWith("PK\x03\x04") && bytes.size() > 1000 &&
           bytes.mid(bytes.size() - 22, 4) == QByteArray("PK\x05\x06");
}

// Starts this program as a child running one of the child functions, with the given
// environment; waits for its "ready" line.
bool startChild(QProcess &child, const char *function, const QStringList &environment)
{
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Qt Test's own lines come first.
    return startTestChild(child, function, environment) &&
           QTest::qWaitFor(
               [&] {
                   while (child.canReadLine()) {
                       if (child.readLine().startsWith("ready"))
                           return true;
                   }
                   return false;
               },
               120000);
}

void killChild(QProcess &child)
{
    ::kill(pid_t(child.processId()), SIGKILL);
    child.waitForFinished();
}

// 50 kills for each export format and 100 for the journal, unless QUVA_KILL_COUNT says.
int killCount(int normally)
{
    const int count = qEnvironmentVariableIntValue("QUVA_KILL_COUNT");
    return count > 0 ? count : normally;
}

} // namespace

class TestInterruptedWrites : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exportChild();
    void journalChild();
    void killDuringExport_data();
    void killDuringExport();
    void killDuringJournalWrites();
    void journalOnFullDisk();
    void shortWriteIsCutBackToWholeLines();
    void recorderOnFullDisk();
    void recorderLeavesNoEmptyFile();
    void windowShowsAJournalThatStopped();
};

void TestInterruptedWrites::initTestCase()
{
    applicationName = "QUVA-Explorer";
    companyName = "Tarnwell";
    // Printed first: the kills fall at random moments.
    testSeed();
}

// Child of killDuringExport: exports the same samples onto the same file over and over.
void TestInterruptedWrites::exportChild()
{
    const QString target = qEnvironmentVariable("QUVA_EXPORT_TARGET");
    if (target.isEmpty())
        QSKIP("only run as the child of killDuringExport");
    MeasurementData store;
    fill(store, exportSamples(target));
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        const bool done =
            target.endsWith(".csv") ? store.exportCsv(target) : store.exportXlsx(target);
        QVERIFY(done);
    }
}

// Child of killDuringJournalWrites: appends a sample every millisecond or so, and prints
// "written <frame>" for each sample once its line is in the file, as the child reads it.
void TestInterruptedWrites::journalChild()
{
    const QString path = qEnvironmentVariable("QUVA_JOURNAL");
    if (path.isEmpty())
        QSKIP("only run as the child of killDuringJournalWrites");
    RecordingJournal journal;
    QVERIFY(journal.open(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.seek(QFileInfo(path).size()));
    std::printf("ready\n");
    std::fflush(stdout);
    uint32_t written = 0;
    for (uint32_t frame = 1;; ++frame) {
        journal.append(LiveSample{start.addMSecs(100LL * frame), frame, 12 + frame % 11 * 0.01, 10,
                                  850, 20.0 + frame % 9, uint16_t(frame % 5), 1});
        // Each complete line after the head is the next sample.
        for (const char byte : file.readAll()) {
            if (byte == '\n')
                std::printf("written %u\n", ++written);
        }
        std::fflush(stdout);
        QThread::usleep(1000);
    }
}

void TestInterruptedWrites::killDuringExport_data()
{
    addExportFormatRows();
}

void TestInterruptedWrites::killDuringExport()
{
    // The target holds an earlier export when each child starts; the child is killed at
    // a random moment of its exports, which replace the file again and again.
    QFETCH(QString, format);
    const QString folder = QDir::current().absoluteFilePath("export-" + format);
    QDir(folder).removeRecursively();
    QVERIFY(QDir().mkpath(folder));
    const QString target = folder + "/data." + format;

    MeasurementData store;
    fill(store, exportSamples(target));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(format == "csv" ? store.exportCsv(target) : store.exportXlsx(target));
    const qint64 exportMs = qMax<qint64>(timer.elapsed(), 50);
    const QByteArray complete = readFile(target);
    QRandomGenerator random = seededRandom();

    // A copy an earlier, interrupted run left would keep this one from being made.
    QFile::remove(QDir::current().absoluteFilePath("replaced.xlsx"));
    int keptOld = 0;
    int replaced = 0;
    int leftovers = 0;
    const int kills = killCount(50);
    for (int run = 0; run < kills; ++run) {
        QFile::remove(target);
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(oldContent);
        old.close();

        QProcess child;
        QVERIFY(startChild(child, "exportChild", {"QUVA_EXPORT_TARGET=" + target}));
        if (run == kills - 1) {
            // However slow a busy machine makes the child, one kill falls after an export.
            QVERIFY(QTest::qWaitFor([&] { return readFile(target) != oldContent; }, 300000));
        } else {
            QTest::qWait(int(random.bounded(int(2 * exportMs))));
        }
        killChild(child);

        const QByteArray now = readFile(target);
        if (now == oldContent)
            ++keptOld;
        else if (format == "csv" ? now == complete : isCompleteXlsx(now)) {
            if (replaced++ == 0 && format == "xlsx")
                QVERIFY(QFile::copy(target, QDir::current().absoluteFilePath("replaced.xlsx")));
        } else
            QFAIL(qPrintable(QString("run %1: %2 is neither the old file nor a complete export "
                                     "(%3 bytes)")
                                 .arg(run)
                                 .arg(target)
                                 .arg(now.size())));
        // What a kill leaves beside the target: the export's unfinished temporary file.
        const QStringList others = QDir(folder)
                                       .entryList(QDir::Files | QDir::Hidden)
                                       .filter(QRegularExpression("^(?!data\\." + format + "$)"));
        leftovers += others.size();
        for (const QString &name : others)
            QFile::remove(folder + "/" + name);
    }
    qInfo() << format << "export killed" << kills << "times: old file" << keptOld
            << "complete new file" << replaced << "temporary files left" << leftovers
            << "one export takes" << exportMs << "ms";
    QCOMPARE(keptOld + replaced, kills);
    QVERIFY(replaced > 0);
    if (format == "xlsx") {
        // A workbook that replaced the old file opens with every row: two title lines, an
        // empty row and the header above the samples.
        QProcess python;
        python.start(QUVA_PYTHON,
                     {"-c",
                      "import openpyxl, sys; print(openpyxl.load_workbook(sys.argv[1], "
                      "read_only=True).worksheets[0].max_row)",
                      "replaced.xlsx"});
        QVERIFY(python.waitForFinished(60000));
        QCOMPARE(python.readAllStandardOutput().trimmed().toInt(), exportSamples(target) + 4);
        QFile::remove("replaced.xlsx");
    }
}

void TestInterruptedWrites::killDuringJournalWrites()
{
    // Killed at a random moment, the journal gives back on the next start every sample
    // that had reached the file before the kill, all of them exact.
    const QString path = QDir::current().absoluteFilePath("killed-journal.csv");
    int restored = 0;
    int written = 0;
    const int kills = killCount(100);
    QRandomGenerator random = seededRandom();
    for (int run = 0; run < kills; ++run) {
        QFile::remove(path);
        QProcess child;
        QVERIFY(startChild(child, "journalChild", {"QUVA_JOURNAL=" + path}));
        uint32_t lastWritten = 0;
        const auto readWritten = [&] {
            while (child.canReadLine()) {
                const QList<QByteArray> fields = child.readLine().trimmed().split(' ');
                if (fields.size() == 2 && fields[0] == "written")
                    lastWritten = qMax(lastWritten, fields[1].toUInt());
            }
        };
        // The kill falls once the child has a random number of samples in the file, so the
        // moments spread over its writes however fast the machine runs it.
        const uint32_t killAfter = 20 + random.bounded(400u);
        QVERIFY(QTest::qWaitFor(
            [&] {
                readWritten();
                return lastWritten >= killAfter;
            },
            60000));
        killChild(child);
        readWritten();

        // Reopening, as the next start does, drops a line the kill cut off.
        {
            RecordingJournal reopened;
            QVERIFY(reopened.open(path));
        }
        MeasurementData store;
        QVERIFY2(store.importCsv(path), qPrintable(QString("run %1").arg(run)));
        for (int i = 0; i < store.frameNr.size(); ++i) {
            const uint32_t frame = uint32_t(i + 1);
            QCOMPARE(store.frameNr[i], frame);
            QCOMPARE(store.timestamps[i], start.addMSecs(100LL * frame));
            QCOMPARE(store.systemState[i], uint16_t(frame % 5));
            QCOMPARE(store.T[i], double(20 + frame % 9));
            QCOMPARE(store.nu[i], 12 + frame % 11 * 0.01);
        }
        QVERIFY2(uint32_t(store.frameNr.size()) >= lastWritten,
                 qPrintable(QString("run %1: frame %2 was in the file before the kill, %3 "
                                    "restored")
                                .arg(run)
                                .arg(lastWritten)
                                .arg(store.frameNr.size())));
        restored += store.frameNr.size();
        written += int(lastWritten);
    }
    qInfo() << "journal killed" << kills << "times:" << restored << "samples restored," << written
            << "of them seen in the file before the kill";
    QVERIFY(written > 0);
}

void TestInterruptedWrites::journalOnFullDisk()
{
    // The journal lies on a 64 KiB file system: the first failed write is reported once,
    // and what reached the file is complete lines that the next start restores.
    SmallFileSystem disk("full-journal", 64 * 1024);
    if (!disk.isMounted())
        QSKIP(SmallFileSystem::skipReason);

    const QString path = disk.filePath("recording-journal.csv");
    RecordingJournal journal;
    QSignalSpy failures(&journal, &RecordingJournal::writeFailed);
    QVERIFY(journal.open(path));
    uint32_t frame = 0;
    while (failures.isEmpty() && frame < 100000) {
        ++frame;
        journal.append(LiveSample{start.addMSecs(500LL * frame), frame, 12, 10, 850, 20, 0, 1});
        if (frame % 100 == 0)
            QTest::qWait(5);
    }
    QVERIFY(QTest::qWaitFor([&] { return !failures.isEmpty(); }, 30000));
    for (int i = 0; i < 100; ++i) {
        ++frame;
        journal.append(LiveSample{start.addMSecs(500LL * frame), frame, 12, 10, 850, 20, 0, 1});
    }
    journal.close();
    // The writer has ended: every report it made is posted, and is delivered now.
    QCoreApplication::sendPostedEvents();
    QCOMPARE(failures.size(), 1);
    QVERIFY2(failures[0][0].toString().contains("No space left on device"),
             qPrintable(failures[0][0].toString()));

    RecordingJournal reopened;
    QVERIFY(reopened.open(path));
    reopened.close();
    MeasurementData store;
    QVERIFY(store.importCsv(path));
    QVERIFY(store.frameNr.size() > 500);
    for (int i = 0; i < store.frameNr.size(); ++i)
        QCOMPARE(store.frameNr[i], uint32_t(i + 1));
    qInfo() << "full disk after" << store.frameNr.size() << "of" << frame << "samples";
}

void TestInterruptedWrites::recorderOnFullDisk()
{
    // The recorder without a window goes on with a recording on a file system of one
    // page that is all but full: it stops with the error and an exit code, and the file
    // holds the earlier lines and complete new ones.
    SmallFileSystem disk("full-recording", 4096);
    if (!disk.isMounted())
        QSKIP(SmallFileSystem::skipReason);

    const QString path = disk.filePath("recording.csv");
    int earlier = 0;
    {
        RecordingJournal journal;
        QVERIFY(journal.open(path));
        for (qint64 size = QFileInfo(path).size(); size < 4096 - 150;) {
            ++earlier;
            journal.append(
                LiveSample{start.addSecs(earlier), uint32_t(earlier), 12, 10, 850, 20, 0, 1});
            // One line at a time, so that none is appended past the mark.
            QVERIFY(QTest::qWaitFor([&] { return QFileInfo(path).size() > size; }, 30000));
            size = QFileInfo(path).size();
        }
    }

    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    QProcess recorder;
    recorder.start(QUVA_EXPLORER_PATH, {"--record", path, "--port", sim.portName()});
    QVERIFY(recorder.waitForFinished(120000));
    QCOMPARE(recorder.exitStatus(), QProcess::NormalExit);
    QCOMPARE(recorder.exitCode(), 1);
    const QString errors = recorder.readAllStandardError();
    QVERIFY2(errors.contains("Error: cannot write " + path + ": No space left on device"),
             qPrintable(errors));

    // Read as it was left: whole lines only, and the closing line counts what is there.
    QVERIFY(readFile(path).endsWith('\n'));
    MeasurementData store;
    QVERIFY(store.importCsv(path));
    QVERIFY(store.frameNr.size() > earlier);
    for (int i = 0; i < earlier; ++i)
        QCOMPARE(store.frameNr[i], uint32_t(i + 1));
    const QString output = recorder.readAllStandardOutput();
    QVERIFY2(
        output.contains(QString("Recorded %1 samples to ").arg(store.frameNr.size() - earlier)),
        qPrintable(output));
    qInfo() << "recorder stopped on a full disk after" << store.frameNr.size() - earlier
            << "new samples";
}

void TestInterruptedWrites::shortWriteIsCutBackToWholeLines()
{
    // Regression: the page boundary fell inside the last field, and "...;0x0000;2769" stayed
    // in the file, read back as 2769 where the sensor served 2769.80.
    SmallFileSystem disk("short-write", 4096);
    if (!disk.isMounted())
        QSKIP(SmallFileSystem::skipReason);
    const QString path = disk.filePath("recording-journal.csv");
    char line[maxCsvLineLength];
    const int lineLength =
        int(formatCsvLine(line, LiveSample{start, 7, 12, 10, 850, 20, 0, 2769.8}) - line);
    QVERIFY(QByteArray(line, lineLength).endsWith(";0x0000;2769.80\n"));
    // Room for the line up to "2769" and no more.
    QByteArray before = csvHead(applicationName, companyName);
    before += '#' + QByteArray(4096 - (lineLength - 4) - before.size() - 2, '-') + '\n';
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(before), qint64(before.size()));
    }

    RecordingJournal journal;
    QSignalSpy failures(&journal, &RecordingJournal::writeFailed);
    QVERIFY(journal.open(path));
    journal.append(LiveSample{start, 7, 12, 10, 850, 20, 0, 2769.8});
    QVERIFY(failures.wait(10000));
    journal.close();
    QCOMPARE(journal.samplesWritten(), 0);
    QCOMPARE(readFile(path), before);
}

void TestInterruptedWrites::recorderLeavesNoEmptyFile()
{
    // Regression: on a completely full disk the recorder failed and left a 0-byte file.
    SmallFileSystem disk("no-room", 4096);
    if (!disk.isMounted())
        QSKIP(SmallFileSystem::skipReason);
    QVERIFY(disk.fill("filler"));
    const QString path = disk.filePath("recording.csv");
    QProcess recorder;
    recorder.start(QUVA_EXPLORER_PATH, {"--record", path, "--port", "/dev/no-such-port"});
    QVERIFY(recorder.waitForFinished(30000));
    QCOMPARE(recorder.exitCode(), 2);
    const QString errors = recorder.readAllStandardError();
    QVERIFY2(errors.contains("Error: cannot open " + path + ": No space left on device"),
             qPrintable(errors));
    QVERIFY(!QFile::exists(path));
}

void TestInterruptedWrites::windowShowsAJournalThatStopped()
{
    // Regression: a journal that stopped on a full disk was shown in the error label,
    // which the next good reply cleared, and recording went on with nothing on screen.
    SmallFileSystem disk("window-disk", 4096);
    if (!disk.isMounted())
        QSKIP(SmallFileSystem::skipReason);
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(disk.path()));
    const auto back = qScopeGuard([&] { QDir::setCurrent(previous); });
    // A journal without samples whose page has room for about two lines.
    QByteArray padding = csvHead(applicationName, companyName);
    padding += '#' + QByteArray(4096 - 140 - padding.size() - 2, '-') + '\n';
    {
        QFile journal("recording-journal.csv");
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write(padding);
    }

    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    measurementData->clear();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("recording journal: cannot write"));
    MainWindow window;
    auto *indicator = widget<QLabel>(window, "journalIndicator");
    QVERIFY(indicator->isHidden());
    QVERIFY(connectThroughPanel(window, sim.portName()));
    QVERIFY(QTest::qWaitFor([&] { return !indicator->isHidden(); }, 20000));
    QVERIFY2(indicator->toolTip().contains("No space left on device"),
             qPrintable(indicator->toolTip()));
    const int samples = measurementData->frameNr.size();
    QVERIFY(QTest::qWaitFor([&] { return measurementData->frameNr.size() >= samples + 2; }, 30000));
    QVERIFY(!indicator->isHidden());
    QVERIFY(readFile("recording-journal.csv").endsWith('\n'));

    // Samples not exported cannot be kept on the full disk: a clear clears nothing then.
    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Yes);
    answerer.answerMessageBox(QMessageBox::Ok);
    widget<QPushButton>(window, "pushButton_disconnect")->click();
    const QVector<uint32_t> recorded = measurementData->frameNr;
    widget<QPushButton>(window, "pushButton_clear")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QVERIFY2(answerer.seenBoxes.last().text.startsWith("Nothing was cleared: "),
             qPrintable(answerer.seenBoxes.last().text));
    QCOMPARE(measurementData->frameNr, recorded);

    // Once exported elsewhere, clearing starts the journal afresh, and it writes again.
    QTemporaryDir elsewhere;
    answerer.answerFileDialog(elsewhere.filePath("recording.csv"));
    widget<QPushButton>(window, "pushButton_export")->click();
    QVERIFY(answerer.waitUntilAnswered());
    answerer.answerMessageBox(QMessageBox::Yes);
    widget<QPushButton>(window, "pushButton_clear")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.last().text, QString("Are you sure?"));
    QVERIFY(QTest::qWaitFor([&] { return indicator->isHidden(); }, 30000));
}

QTEST_MAIN(TestInterruptedWrites)
#include "tst_interruptedwrites.moc"
