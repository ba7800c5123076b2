// Recordings reach the disk as they are taken: the journal beside the window, and
// the recorder without a window.

#include "app/customization.h"
#include "app/mainwindow.h"
#include "dialoganswerer.h"
#include "livedata/measurementdata.h"
#include "ptypair.h"
#include "settings/serialportlist.h"
#include "simprocess.h"
#include "windowdriver.h"

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QtTest>

#include <cmath>
#include <csignal>

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

int dataLines(const QString &path)
{
    MeasurementData store;
    store.importCsv(path);
    return store.frameNr.size();
}

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
    void journalCanBeSwitchedOff();
    void unwritableJournalIsReported();
    void recorderWithoutWindow();
    void recorderRefusesBadPorts();
};

void TestRecordingJournal::init()
{
    for (const QString &name : QDir().entryList({"*.csv", "gui_settings.ini"}, QDir::Files))
        QFile::remove(name);
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
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUVA_RECORD_PORT", sim.portName());
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {"recordingChild"});
    QVERIFY(child.waitForStarted());

    QMap<uint32_t, qint64> recorded;
    QVERIFY(QTest::qWaitFor(
        [&] {
            while (child.canReadLine()) {
                const QList<QByteArray> fields = child.readLine().trimmed().split(' ');
                if (fields.size() == 3 && fields[0] == "sample")
                    recorded.insert(fields[1].toUInt(), fields[2].toLongLong());
            }
            return recorded.size() >= 12;
        },
        20000));
    const qint64 killedAt = QDateTime::currentMSecsSinceEpoch();
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    // The next start offers the recording; Yes brings back every sample that was
    // taken up to the flush interval before the kill.
    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Yes);
    MainWindow window;
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes[0].title, QString("Recording"));
    QVERIFY2(answerer.seenBoxes[0].text.startsWith("A recording of "),
             qPrintable(answerer.seenBoxes[0].text));
    QVERIFY(answerer.seenBoxes[0].text.endsWith(" was not exported. Restore it?"));

    const MeasurementData &store = *measurementData;
    int mustHave = 0;
    for (auto sample = recorded.cbegin(); sample != recorded.cend(); ++sample) {
        if (sample.value() > killedAt - 5000) {
            continue;
        }
        ++mustHave;
        QVERIFY2(store.frameNr.contains(sample.key()),
                 qPrintable(QString("frame %1 lost").arg(sample.key())));
    }
    QVERIFY(mustHave >= 1);
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
    QVERIFY(store.frameNr.size() >= recorded.size() - 1);
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
        QTest::qWait(100);
        QVERIFY(QFile::exists(journalName));
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
        QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 3; }, 8000));
        QVERIFY(QTest::qWaitFor([] { return dataLines(journalName) >= 3; }, 3000));

        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Yes);
        widget<QPushButton>(window, "pushButton_clear")->click();
        QVERIFY(answerer.waitUntilAnswered());
        widget<QPushButton>(window, "pushButton_disconnect")->click();
        QTest::qWait(1500);
        QCOMPARE(dataLines(journalName), 0);

        // A successful import replaces the store and starts an empty journal.
        MeasurementData other;
        other.addSample(QDateTime::currentDateTime(), 5, 0, 20, 800, 10, 8, 11);
        QVERIFY(other.exportCsv(folder.filePath("other.csv")));
        answerer.answerFileDialog(folder.filePath("other.csv"));
        widget<QPushButton>(window, "pushButton_import")->click();
        QVERIFY(answerer.waitUntilAnswered());
        QCOMPARE(measurementData->frameNr, QVector<uint32_t>{5});
        QTest::qWait(500);
        QCOMPARE(dataLines(journalName), 0);

        // New samples after the import are journalled again.
        QVERIFY(connectThroughPanel(window, sim.portName()));
        QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 3; }, 8000));
        widget<QPushButton>(window, "pushButton_disconnect")->click();
        QTest::qWait(1500);
        QCOMPARE(dataLines(journalName), measurementData->frameNr.size() - 1);

        // Everything exported: quitting removes the journal.
        answerer.answerFileDialog(folder.filePath("all.csv"));
        widget<QPushButton>(window, "pushButton_export")->click();
        QVERIFY(answerer.waitUntilAnswered());
    }
    QVERIFY(!QFile::exists(journalName));
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
    QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 3; }, 8000));
    QVERIFY(!QFile::exists(journalName));
}

void TestRecordingJournal::unwritableJournalIsReported()
{
    // A folder where the journal should be: it cannot be opened as a file.
    QVERIFY(QDir().mkdir(journalName));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("recording journal: cannot open"));
    MainWindow window;
    QLabel *error = nullptr;
    for (QLabel *label : window.findChildren<QLabel *>()) {
        if (label->styleSheet().contains("red"))
            error = label;
    }
    QVERIFY(error);
    QVERIFY(QTest::qWaitFor([&] { return !error->text().isEmpty(); }, 2000));
    QVERIFY2(error->text().startsWith("Recording journal error: cannot open"),
             qPrintable(error->text()));

    // Recording goes on in memory.
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    QVERIFY(connectThroughPanel(window, sim.portName()));
    QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 2; }, 8000));
    QDir().rmdir(journalName);
}

void TestRecordingJournal::recorderWithoutWindow()
{
    // A fault period that is no multiple of the 500 ms poll, so that the polls do not
    // keep missing the fault stretches.
    SimProcess sim({"--rate", "10", "--fault-every", "1.3", "--fault-for", "0.5"});
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
        10000));
    QVERIFY(QTest::qWaitFor([&] { return dataLines("unattended.csv") >= 5; }, 10000));
    QVERIFY(QTest::qWaitFor(
        [&] {
            QFile file("unattended.csv");
            return file.open(QIODevice::ReadOnly) && file.readAll().contains(";0x0001;");
        },
        20000));

    // Ctrl-C ends it with a complete file and a closing line.
    ::kill(pid_t(recorder.processId()), SIGINT);
    QVERIFY(recorder.waitForFinished(10000));
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
    QVERIFY(recorder.waitForFinished(10000));
    QVERIFY(recorder.exitCode() != 0);
    QVERIFY(recorder.readAllStandardError().contains(
        "Error: cannot open the serial port /dev/no-such-port"));
    QVERIFY(!QFile::exists("none.csv"));

    PtyPair silent;
    recorder.start(QUVA_EXPLORER_PATH, {"--record", "none.csv", "--port", silent.slavePath()});
    QVERIFY(recorder.waitForFinished(15000));
    QVERIFY(recorder.exitCode() != 0);
    QVERIFY(
        recorder.readAllStandardError().contains("Error: no answer from a sensor at address 1"));
    QVERIFY(!QFile::exists("none.csv"));
}

QTEST_MAIN(TestRecordingJournal)
#include "tst_recordingjournal.moc"
