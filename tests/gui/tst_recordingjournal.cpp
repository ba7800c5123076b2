// Recordings reach the disk as they are taken: the journal beside the window, and
// the recorder without a window.

#include "csvline.h"
#include "customization.h"
#include "dialoganswerer.h"
#include "mainwindow.h"
#include "measurementdata.h"
#include "ptypair.h"
#include "recordingfile.h"
#include "recordingjournal.h"
#include "serialportlist.h"
#include "simprocess.h"
#include "testchild.h"
#include "windowdriver.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <sys/stat.h>

namespace
{

const char journalName[] = "recording-journal.csv";

bool sameValue(double stored, double expected, double rounding)
{
    if (std::isnan(expected))
        return std::isnan(stored);
    return std::abs(stored - expected) <= rounding / 2 + 1e-9;
}

// Every sample of store equals the simulator's frame to the file's rounding.
void compareWithFrames(const MeasurementData &store, const SimProcess &sim)
{
    for (int i = 0; i < store.frameNr.size(); ++i) {
        const SimProcess::Frame frame = sim.frame(store.frameNr[i]);
        QCOMPARE(frame.frameNr, store.frameNr[i]);
        QCOMPARE(store.systemState[i], frame.systemState);
        QVERIFY(sameValue(store.nu[i], frame.nu, 0.01));
        QVERIFY(sameValue(store.eta[i], frame.eta, 0.01));
        QVERIFY(sameValue(store.rho[i], frame.rho, 0.1));
        QVERIFY(sameValue(store.T[i], frame.T, 0.01));
        QVERIFY(sameValue(store.nuUc[i], frame.nuUc, 0.01));
    }
}

// The frame numbers of the samples a recording file holds.
QVector<uint32_t> storedFrames(const QString &path)
{
    MeasurementData store;
    store.importCsv(path);
    return store.frameNr;
}

int dataLines(const QString &path)
{
    return storedFrames(path).size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// The first 22 bytes of a picture.
const QByteArray someBinary("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\x02\x03", 22);
const QByteArray recordedLine = "2026-03-04T05:06:07.800;1;10.00;8.00;800.0;20.00;0x0000;11.00\n";

} // namespace

class TestRecordingJournal : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void recordingChild();
    void restoresAfterAKill();
    void noKeepsTheJournalAside();
    void clearImportAndExport();
    void restoreTakesWholeLinesOnly_data();
    void restoreTakesWholeLinesOnly();
    void journalCanBeSwitchedOff();
    void settingAside();
    void cutFirstLineGivesAWholeHead();
    void unwritableJournalIsReported();
    void recorderWithoutWindow();
    void recorderRefusesBadPorts();
    void recordingFileDecision_data();
    void recordingFileDecision();
    void recorderLeavesOtherFilesAlone_data();
    void recorderLeavesOtherFilesAlone();
};

void TestRecordingJournal::init()
{
    for (const QString &name : QDir().entryList({"*.csv", "gui_settings.ini"}, QDir::Files))
        QFile::remove(name);
    QDir().rmdir(journalName); // left by a failed run of unwritableJournalIsReported
    measurementData->clear();
    viscosityMapping = false;
    deviceFirmwareDate = QDateTime();
    deviceSerialNumber = 0;
}

// Run as a child process by restoresAfterAKill: records until it is killed and
// prints each stored sample as "sample <frame> <msecs since epoch>".
void TestRecordingJournal::recordingChild()
{
    const QString port = qEnvironmentVariable("QUVA_RECORD_PORT");
    if (port.isEmpty())
        QSKIP("only run as the child of restoresAfterAKill");
    setUserGivenPorts({port});
    MainWindow window;
    QVERIFY(connectThroughPanel(window, port));
    int printed = 0;
    for (;;) {
        QTest::qWait(50);
        for (; printed < measurementData->frameNr.size(); ++printed) {
            std::printf("sample %u %lld\n", measurementData->frameNr[printed],
                        measurementData->timestamps[printed].toMSecsSinceEpoch());
            std::fflush(stdout);
        }
    }
}

void TestRecordingJournal::restoresAfterAKill()
{
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));

    QProcess child;
    QVERIFY(startTestChild(child, "recordingChild", {"QUVA_RECORD_PORT=" + sim.portName()}));

    // Killed once a dozen samples are stored and the journal on disk has caught up with
    // them; what the file held then is what a kill must not lose.
    QMap<uint32_t, qint64> recorded;
    QVector<uint32_t> onDisk;
    QVERIFY(QTest::qWaitFor(
        [&] {
            while (child.canReadLine()) {
                const QList<QByteArray> fields = child.readLine().trimmed().split(' ');
                if (fields.size() == 3 && fields[0] == "sample")
                    recorded.insert(fields[1].toUInt(), fields[2].toLongLong());
            }
            if (recorded.size() < 12)
                return false;
            onDisk = storedFrames(journalName);
            const QList<uint32_t> frames = recorded.keys();
            return std::all_of(frames.cbegin(), frames.cend(),
                               [&](uint32_t frame) { return onDisk.contains(frame); });
        },
        60000));
    const qint64 killedAt = QDateTime::currentMSecsSinceEpoch();
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    // The next start offers the recording; Yes brings back every sample that had reached
    // the file before the kill.
    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Yes);
    MainWindow window;
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes[0].title, QString("Recording"));
    QVERIFY2(answerer.seenBoxes[0].text.startsWith("A recording of "),
             qPrintable(answerer.seenBoxes[0].text));
    QVERIFY(answerer.seenBoxes[0].text.endsWith(" was not exported. Restore it?"));

    const MeasurementData &store = *measurementData;
    QVERIFY(onDisk.size() >= 12);
    for (uint32_t frame : qAsConst(onDisk))
        QVERIFY2(store.frameNr.contains(frame), qPrintable(QString("frame %1 lost").arg(frame)));
    int lost = 0;
    qint64 newestLostAge = -1;
    for (auto sample = recorded.cbegin(); sample != recorded.cend(); ++sample) {
        if (!store.frameNr.contains(sample.key())) {
            ++lost;
            newestLostAge = qMax(newestLostAge, killedAt - sample.value());
        }
    }
    qInfo("journal after SIGKILL: %d samples recorded, %d restored, %d lost%s",
          int(recorded.size()), int(store.frameNr.size()), lost,
          lost ? qPrintable(QString(", the oldest %1 ms before the kill").arg(newestLostAge)) : "");
    QVERIFY(store.frameNr.size() >= onDisk.size());
    compareWithFrames(store, sim);
    QVERIFY(answerer.seenBoxes[0].text.startsWith(
        QString("A recording of %1 samples (").arg(store.frameNr.size())));
}

void TestRecordingJournal::noKeepsTheJournalAside()
{
    {
        MeasurementData old;
        const QDateTime first(QDate(2026, 3, 4), QTime(5, 6, 7, 800));
        old.addSample(first, 1, 0, 20, 800, 10, 8, 11);
        old.addSample(first.addSecs(90), 2, 0, 21, 801, 11, 9, 12);
        QVERIFY(old.exportCsv(journalName));
    }
    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::No);
    {
        MainWindow window;
        QVERIFY(answerer.waitUntilAnswered());
        QCOMPARE(answerer.seenBoxes[0].text,
                 QString("A recording of 2 samples (2026-03-04 05:06:07 to 2026-03-04 05:07:37) "
                         "was not exported. Restore it?"));
        QVERIFY(measurementData->frameNr.isEmpty());
        QCOMPARE(dataLines("recording-journal-2026-03-04T05-06-07.csv"), 2);
        // A fresh journal is opened once the question is answered.
        QVERIFY(QTest::qWaitFor([] { return QFile::exists(journalName); }, 30000));
        QCOMPARE(dataLines(journalName), 0);
    }
    // Nothing new was recorded: quitting leaves no journal, and no question next time.
    QVERIFY(!QFile::exists(journalName));
    QVERIFY(QFile::exists("recording-journal-2026-03-04T05-06-07.csv"));
}

void TestRecordingJournal::clearImportAndExport()
{
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    QTemporaryDir folder;
    {
        MainWindow window;
        QVERIFY(connectThroughPanel(window, sim.portName()));
        QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 3; }, 30000));
        QVERIFY(QTest::qWaitFor([] { return dataLines(journalName) >= 3; }, 30000));

        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Yes);
        widget<QPushButton>(window, "pushButton_clear")->click();
        QVERIFY(answerer.waitUntilAnswered());
        widget<QPushButton>(window, "pushButton_disconnect")->click();
        // Disconnect closes the port at once: the store is final, and the journal comes to
        // hold what it holds, none of the samples before the clear.
        QTRY_COMPARE_WITH_TIMEOUT(storedFrames(journalName), measurementData->frameNr, 30000);

        // A successful import replaces the store and starts an empty journal.
        MeasurementData other;
        other.addSample(QDateTime::currentDateTime(), 5, 0, 20, 800, 10, 8, 11);
        QVERIFY(other.exportCsv(folder.filePath("other.csv")));
        answerer.answerFileDialog(folder.filePath("other.csv"));
        widget<QPushButton>(window, "pushButton_import")->click();
        QVERIFY(answerer.waitUntilAnswered());
        QCOMPARE(measurementData->frameNr, QVector<uint32_t>{5});
        QCOMPARE(dataLines(journalName), 0);

        // New samples after the import are journalled again, and the imported one is not:
        // the journal starts with the first new sample.
        QVERIFY(connectThroughPanel(window, sim.portName()));
        QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 3; }, 30000));
        widget<QPushButton>(window, "pushButton_disconnect")->click();
        QTRY_COMPARE_WITH_TIMEOUT(storedFrames(journalName), measurementData->frameNr.mid(1),
                                  30000);

        // Everything exported: quitting removes the journal.
        answerer.answerFileDialog(folder.filePath("all.csv"));
        widget<QPushButton>(window, "pushButton_export")->click();
        QVERIFY(answerer.waitUntilAnswered());
    }
    QVERIFY(!QFile::exists(journalName));
}

void TestRecordingJournal::restoreTakesWholeLinesOnly_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<QByteArray>("cutLine");
    // Regression: the journal's head got a line that was not a comment, and the next
    // start asked nothing and restored nothing.
    QTest::newRow("line breaks in the company name") << "Tarn\nwell\r\x0b" << QByteArray();
    // Regression: a line cut by a full disk came back as 4612 where the sensor sent 4612.8.
    QTest::newRow("cut last line") << "Tarnwell" << QByteArray("2026-03-04T05:08:00.000;9;4612");
}

void TestRecordingJournal::restoreTakesWholeLinesOnly()
{
    QFETCH(QString, company);
    QFETCH(QByteArray, cutLine);
    companyName = company;
    const auto restoreName = qScopeGuard([] { companyName = "Tarnwell"; });
    {
        RecordingJournal journal;
        QVERIFY(journal.open(QDir::current().absoluteFilePath(journalName)));
        const QDateTime first(QDate(2026, 3, 4), QTime(5, 6, 7));
        for (uint32_t frame = 1; frame <= 3; ++frame)
            journal.append(LiveSample{first.addSecs(frame), frame, 4612.8, 8, 800, 20, 0, 11});
    }
    QFile file(journalName);
    QVERIFY(file.open(QIODevice::Append));
    file.write(cutLine);
    file.close();

    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Yes);
    MainWindow window;
    QVERIFY(answerer.waitUntilAnswered());
    QVERIFY2(answerer.seenBoxes[0].text.startsWith("A recording of 3 samples"),
             qPrintable(answerer.seenBoxes[0].text));
    QCOMPARE(measurementData->frameNr, (QVector<uint32_t>{1, 2, 3}));
    QCOMPARE(measurementData->nu, QVector<double>(3, 4612.8));
}

void TestRecordingJournal::journalCanBeSwitchedOff()
{
    {
        QSettings settings("./gui_settings.ini", QSettings::IniFormat);
        settings.setValue("recordingJournal", false);
    }
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    QVERIFY(connectThroughPanel(window, sim.portName()));
    QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 3; }, 30000));
    QVERIFY(!QFile::exists(journalName));
}

void TestRecordingJournal::unwritableJournalIsReported()
{
    // A folder where the journal should be: it cannot be opened as a file. The status
    // bar says so until a journal writes again; good replies do not hide it (they once
    // cleared the error label that showed it, 120 ms after Connect).
    QVERIFY(QDir().mkdir(journalName));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("recording journal: cannot open"));
    MainWindow window;
    auto *indicator = widget<QLabel>(window, "journalIndicator");
    QVERIFY(QTest::qWaitFor([&] { return !indicator->isHidden(); }, 30000));
    QVERIFY2(indicator->toolTip().startsWith("Recording journal error: cannot open"),
             qPrintable(indicator->toolTip()));

    // Recording goes on in memory.
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    QVERIFY(connectThroughPanel(window, sim.portName()));
    QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 2; }, 30000));
    QVERIFY(!indicator->isHidden());

    // With the folder gone, clearing opens a journal that writes.
    QDir().rmdir(journalName);
    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Yes);
    widget<QPushButton>(window, "pushButton_clear")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QVERIFY(indicator->isHidden());
    QVERIFY(QTest::qWaitFor([] { return dataLines(journalName) >= 1; }, 30000));
}

void TestRecordingJournal::settingAside()
{
    const QString path = QDir::current().absoluteFilePath(journalName);
    const QDateTime first(QDate(2026, 3, 4), QTime(5, 6, 7, 800));
    const QString stem = QDir::current().absoluteFilePath("recording-journal-2026-03-04T05-06-07");
    QVERIFY(writeFile(stem + ".csv", "a recording set aside before\n"));
    const QString aside = RecordingJournal::asideName(path, first);
    QCOMPARE(aside, stem + "-2.csv");

    RecordingJournal journal;
    QSignalSpy errors(&journal, &RecordingJournal::fileError);
    QVERIFY(journal.start(path));
    journal.append(LiveSample{first, 1, 10, 8, 800, 20, 0, 11});
    QCOMPARE(journal.setAside(aside), aside);
    QCOMPARE(readFile(aside), csvHead(applicationName, companyName) + recordedLine);
    QVERIFY(journal.isOpen());
    QCOMPARE(readFile(path), csvHead(applicationName, companyName));

    // A recording that cannot be moved stays where it is, and the journal goes on there.
    journal.append(LiveSample{first, 1, 10, 8, 800, 20, 0, 11});
    QCOMPARE(journal.setAside("no-such-folder/aside.csv"), path);
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.first().first().toString(),
             "cannot rename " + path + " to no-such-folder/aside.csv");
    QVERIFY(journal.isOpen());
    QCOMPARE(dataLines(path), 1);
}

void TestRecordingJournal::cutFirstLineGivesAWholeHead()
{
    // A file that holds no complete line gets the head from its first byte; the head was
    // once written after the cut bytes, leaving a run of zero bytes before it.
    QVERIFY(writeFile(journalName, "2026-03-04T05:06"));
    RecordingJournal journal;
    QVERIFY(journal.open(journalName));
    journal.close();
    QCOMPARE(readFile(journalName), csvHead(applicationName, companyName));
}

void TestRecordingJournal::recorderWithoutWindow()
{
    // Faulty 0.6 s of every second: of two polls half a second apart, one meets the fault.
    SimProcess sim({"--rate", "10", "--fault-every", "1", "--fault-for", "0.6"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));

    QProcess recorder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("QT_QPA_PLATFORM");
    environment.remove("DISPLAY");
    recorder.setProcessEnvironment(environment);
    recorder.start(QUVA_EXPLORER_PATH, {"--record", "unattended.csv", "--port", sim.portName()});
    QVERIFY(recorder.waitForStarted());
    QVERIFY(QTest::qWaitFor(
        [&] {
            return recorder.readAllStandardOutput().count("frame ") > 0 ||
                   dataLines("unattended.csv") >= 5;
        },
        30000));
    // Waits for a sample taken during an injected fault, however slowly the machine runs.
    QVERIFY(QTest::qWaitFor(
        [&] {
            MeasurementData sofar;
            sofar.importCsv("unattended.csv");
            return sofar.frameNr.size() >= 5 && sofar.systemState.contains(1);
        },
        60000));

    // Ctrl-C ends it with a complete file and a closing line.
    ::kill(pid_t(recorder.processId()), SIGINT);
    QVERIFY(recorder.waitForFinished(30000));
    QCOMPARE(recorder.exitStatus(), QProcess::NormalExit);
    QCOMPARE(recorder.exitCode(), 0);
    const QString output = recorder.readAllStandardOutput();
    QRegularExpression closing("Recorded (\\d+) samples to .*unattended.csv, (\\d+) Modbus errors");
    const QRegularExpressionMatch match = closing.match(output);
    QVERIFY2(match.hasMatch(), qPrintable(output));

    MeasurementData store;
    QVERIFY(store.importCsv("unattended.csv"));
    QCOMPARE(store.frameNr.size(), match.captured(1).toInt());
    compareWithFrames(store, sim);
    QVERIFY(store.systemState.contains(1));
    QCOMPARE(QSet<uint32_t>(store.frameNr.cbegin(), store.frameNr.cend()).size(),
             store.frameNr.size());
}

void TestRecordingJournal::recorderRefusesBadPorts()
{
    QProcess recorder;
    recorder.start(QUVA_EXPLORER_PATH, {"--record", "none.csv", "--port", "/dev/no-such-port"});
    QVERIFY(recorder.waitForFinished(30000));
    QVERIFY(recorder.exitCode() != 0);
    QVERIFY(recorder.readAllStandardError().contains(
        "Error: cannot open the serial port /dev/no-such-port"));
    QVERIFY(!QFile::exists("none.csv"));

    PtyPair silent;
    recorder.start(QUVA_EXPLORER_PATH, {"--record", "none.csv", "--port", silent.slavePath()});
    QVERIFY(recorder.waitForFinished(30000));
    QVERIFY(recorder.exitCode() != 0);
    QVERIFY(
        recorder.readAllStandardError().contains("Error: no answer from a sensor at address 1"));
    QVERIFY(!QFile::exists("none.csv"));
}

void TestRecordingJournal::recordingFileDecision_data()
{
    QTest::addColumn<QByteArray>("content"); // "<missing>", "<folder>" and "<fifo>" are no file
    QTest::addColumn<int>("action");

    const QByteArray head = csvHead("QUVA-Explorer", "Tarnwell");
    QTest::newRow("no such file") << QByteArray("<missing>") << int(RecordingFileDecision::Create);
    QTest::newRow("empty file") << QByteArray() << int(RecordingFileDecision::Continue);
    QTest::newRow("recording") << head + recordedLine << int(RecordingFileDecision::Continue);
    QTest::newRow("other customization, CRLF, cut last line")
        << QByteArray(csvHead("Lab Tool", "Other Ltd") + recordedLine).replace("\n", "\r\n") +
               "2026-03-04T05:06:08"
        << int(RecordingFileDecision::Continue);
    QTest::newRow("text") << QByteArray("hello\nworld without newline")
                          << int(RecordingFileDecision::Refuse);
    QTest::newRow("binary") << someBinary << int(RecordingFileDecision::Refuse);
    QTest::newRow("header with more columns")
        << QByteArray(head).replace("(cSt)\n", "(cSt);note\n") + recordedLine
        << int(RecordingFileDecision::Refuse);
    QTest::newRow("folder") << QByteArray("<folder>") << int(RecordingFileDecision::Refuse);
    QTest::newRow("named pipe") << QByteArray("<fifo>") << int(RecordingFileDecision::Refuse);
}

void TestRecordingJournal::recordingFileDecision()
{
    QFETCH(QByteArray, content);
    QFETCH(int, action);
    QTemporaryDir folder;
    const QString path = folder.filePath("target.csv");
    if (content == "<folder>")
        QVERIFY(QDir().mkdir(path));
    else if (content == "<fifo>")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    else if (content != "<missing>")
        QVERIFY(writeFile(path, content));

    const RecordingFileDecision decision = decideRecordingFile(path);
    QCOMPARE(int(decision.action), action);
    if (action == RecordingFileDecision::Refuse)
        QCOMPARE(decision.error, "Error: " + path +
                                     " exists and is not a recording of this program; choose "
                                     "another name");
    if (content != "<missing>" && content != "<folder>" && content != "<fifo>")
        QCOMPARE(readFile(path), content);
}

void TestRecordingJournal::recorderLeavesOtherFilesAlone_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("after");

    // Regression: cut to "hello\n" and replaced by head lines, before the port was opened.
    QTest::newRow("text") << QByteArray("hello\nworld without newline") << 2
                          << QByteArray("hello\nworld without newline");
    QTest::newRow("binary") << someBinary << 2 << someBinary;
    // A recording is continued: only its cut-off last line goes.
    const QByteArray recording = csvHead("QUVA-Explorer", "Tarnwell") + recordedLine;
    QTest::newRow("recording") << recording + "2026-03-04T05:06:08.8" << 1 << recording;
}

void TestRecordingJournal::recorderLeavesOtherFilesAlone()
{
    QFETCH(QByteArray, content);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, after);
    const QString path = QDir::current().absoluteFilePath("precious.csv");
    QVERIFY(writeFile(path, content));
    QProcess recorder;
    recorder.start(QUVA_EXPLORER_PATH, {"--record", "precious.csv", "--port", "/dev/no-such-port"});
    QVERIFY(recorder.waitForFinished(10000));
    QCOMPARE(recorder.exitCode(), exitCode);
    const QString errors = recorder.readAllStandardError();
    if (exitCode == 2)
        QCOMPARE(errors, "Error: " + path +
                             " exists and is not a recording of this program; choose another "
                             "name\n");
    else
        QVERIFY2(errors.contains("Error: cannot open the serial port"), qPrintable(errors));
    QCOMPARE(readFile(path), after);
}

QTEST_MAIN(TestRecordingJournal)
#include "tst_recordingjournal.moc"
