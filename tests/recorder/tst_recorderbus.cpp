// The recorder without a window on a line of several sensors: quva-sim serves several
// addresses on one pseudo-terminal, and each sensor goes into a file of its own.

#include "measurementdata.h"
#include "modbusframe.h"
#include "reconnectpolicy.h"
#include "ptypair.h"
#include "simprocess.h"
#include "testfiles.h"

#include <QtTest>

#include <algorithm>
#include <csignal>
#include <memory>

class TestRecorderBus : public QObject
{
    Q_OBJECT

private slots:
    void threeSensorsThreeFiles_data();
    void threeSensorsThreeFiles();
    void missingSensorAndRefusedFile();
    void silentSensorWhileOthersGoOn();
    void twoSensorsOneSerial();
    void lineReplacedWithOtherSensors();
    void noSensorAnswers();
};

namespace
{

struct Recorded {
    QVector<uint32_t> frameNr;
    QVector<double> T;
};

Recorded recorded(const QString &path)
{
    MeasurementData store;
    store.importCsv(path);
    return {store.frameNr, store.T};
}

// The number of the latest frame the simulator made for the sensor whose frames count
// from first on.
uint32_t latestFrame(const SimProcess &sim, uint32_t first)
{
    uint32_t latest = first;
    for (const SimProcess::Frame &frame : sim.frames()) {
        if (frame.frameNr > first && frame.frameNr < first + 100000)
            latest = std::max(latest, frame.frameNr);
    }
    return latest;
}

// Runs the recorder until SIGINT; the output and errors so far on request.
struct Recorder {
    QProcess process;
    QString output;
    QString errors;

    explicit Recorder(const QStringList &arguments, const QString &program = QUVA_EXPLORER_PATH)
    {
        process.start(program, arguments);
    }
    const QString &errorText()
    {
        errors += process.readAllStandardError();
        return errors;
    }
    bool stop()
    {
        ::kill(pid_t(process.processId()), SIGINT);
        const bool ended = process.waitForFinished(30000);
        output += process.readAllStandardOutput();
        errorText();
        return ended && process.exitStatus() == QProcess::NormalExit;
    }
};

} // namespace

// quva-recorder records as quva-explorer --record does.
void TestRecorderBus::threeSensorsThreeFiles_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("quva-explorer") << QString(QUVA_EXPLORER_PATH);
    QTest::newRow("quva-recorder") << QString(QUVA_RECORDER_PATH);
}

void TestRecorderBus::threeSensorsThreeFiles()
{
    QFETCH(QString, program);
    SimProcess sim({"--address", "1,2,5", "--rate", "2", "--seed", "3"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    const QStringList serials = {"00-12-AB-CD", "00-12-AB-CE", "00-12-AB-CF"};
    for (const QString &serial : serials)
        QFile::remove("run-" + serial + ".csv");

    Recorder recorder(
        {"--record", "run-{serial}.csv", "--port", sim.portName(), "--address", "1,2,5"}, program);
    QVERIFY(QTest::qWaitFor(
        [&] {
            for (const QString &serial : serials) {
                if (recorded("run-" + serial + ".csv").frameNr.size() < 4)
                    return false;
            }
            return true;
        },
        60000));
    QVERIFY(recorder.stop());
    QVERIFY2(recorder.process.exitCode() == 0, qPrintable(recorder.errors));

    // Each file holds its own sensor's frames (the simulator numbers the sensor at
    // address a from a * 100000 on, the first from 1), rising, with the values it made.
    QHash<uint32_t, SimProcess::Frame> made;
    for (const SimProcess::Frame &frame : sim.frames())
        made.insert(frame.frameNr, frame);
    const QVector<uint32_t> firstFrame = {0, 200000, 500000};
    for (int sensor = 0; sensor < 3; ++sensor) {
        const QString path = QDir::current().absoluteFilePath("run-" + serials[sensor] + ".csv");
        const Recorded data = recorded(path);
        for (int i = 0; i < data.frameNr.size(); ++i) {
            const uint32_t frameNr = data.frameNr[i];
            QVERIFY2(frameNr > firstFrame[sensor] && frameNr < firstFrame[sensor] + 100000,
                     qPrintable(QString("%1 in %2").arg(frameNr).arg(path)));
            QVERIFY(i == 0 || frameNr > data.frameNr[i - 1]);
            QVERIFY(made.contains(frameNr));
            QCOMPARE(QString::number(data.T[i], 'f', 2), QString::number(made[frameNr].T, 'f', 2));
        }
        QVERIFY2(recorder.output.contains(QString("Address %1 (sensor %2): recorded %3 samples "
                                                  "to %4")
                                              .arg(QVector<int>{1, 2, 5}[sensor])
                                              .arg(serials[sensor])
                                              .arg(data.frameNr.size())
                                              .arg(path)),
                 qPrintable(recorder.output));
    }
}

// Address 7 has no sensor and address 2's file name is taken by a file of the user's:
// address 1 records all along, 7 is probed again on its own until it is given up.
void TestRecorderBus::missingSensorAndRefusedFile()
{
    SimProcess sim({"--address", "1,2", "--rate", "2"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    QFile::remove("bus-00-12-AB-CD.csv");
    const QByteArray usersFile = "not a recording\n";
    QVERIFY(writeFile("bus-00-12-AB-CE.csv", usersFile));

    Recorder recorder({"--record", "bus-{serial}.csv", "--port", sim.portName(), "--address",
                       "7,1,2", "--give-up-after", "10"});
    // The first probe of 7 and a retry, each heard by nobody.
    QVERIFY(QTest::qWaitFor([&] { return sim.counter("ignoredOtherAddress") >= 2; }, 60000));
    QVERIFY2(recorder.errorText().contains("Address 7: no answer from a sensor; retrying on its "
                                           "own"),
             qPrintable(recorder.errors));
    QVERIFY(
        QTest::qWaitFor([&] { return recorder.errorText().contains("giving up on it"); }, 60000));
    const int before = recorded("bus-00-12-AB-CD.csv").frameNr.size();
    QVERIFY(before > 0);
    QVERIFY(QTest::qWaitFor(
        [&] { return recorded("bus-00-12-AB-CD.csv").frameNr.size() >= before + 3; }, 30000));
    QVERIFY(recorder.stop());
    QVERIFY2(recorder.process.exitCode() == 0, qPrintable(recorder.errors));

    QVERIFY2(recorder.errors.contains("Error: no answer from the sensor at address 7 since "),
             qPrintable(recorder.errors));
    QVERIFY2(recorder.errors.contains("bus-00-12-AB-CE.csv exists and is not a recording of this "
                                      "program; choose another name; not recording address 2"),
             qPrintable(recorder.errors));
    QCOMPARE(readFile("bus-00-12-AB-CE.csv"), usersFile);
    QVERIFY2(recorder.output.contains("Address 7, given up: nothing recorded") &&
                 recorder.output.contains("Address 2 (sensor 00-12-AB-CE), file refused: nothing "
                                          "recorded"),
             qPrintable(recorder.output));
}

// Address 2 stops answering while the port stays up. Its time-outs are short, so the
// others are still read every period: with one measurement a second and a read every
// 500 ms, each of their files keeps at least half of what was measured meanwhile (with
// the link's 3 s time-out it would keep less than a third). 2 is lost after its run of
// time-outs, probed again on its own, and its file goes on when it answers again.
void TestRecorderBus::silentSensorWhileOthersGoOn()
{
    SimProcess sim({"--address", "1,2,5", "--rate", "1", "--silence-on-signal", "2"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    const QStringList files = {"quiet-1.csv", "quiet-2.csv", "quiet-5.csv"};
    const QVector<uint32_t> firstFrame = {0, 200000, 500000};
    for (const QString &name : files)
        QFile::remove(name);
    const auto holds = [](const QString &name, int samples) {
        return QTest::qWaitFor([&] { return recorded(name).frameNr.size() >= samples; }, 60000);
    };

    Recorder recorder(
        {"--record", "quiet-{address}.csv", "--port", sim.portName(), "--address", "1,2,5"});
    for (const QString &name : files)
        QVERIFY(holds(name, 2));
    ::kill(pid_t(sim.processId()), SIGUSR1);
    QVERIFY(
        QTest::qWaitFor([&] { return sim.errorOutput().contains("address 2 silenced"); }, 30000));
    const qint64 ignoredBefore = sim.counter("ignoredOtherAddress");
    QVector<uint32_t> silentFrom;
    for (uint32_t first : firstFrame)
        silentFrom.append(latestFrame(sim, first));

    // Its run of time-outs, then two probes on its own.
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     return recorder.errorText().contains("Address 2: no answer since ") &&
                            sim.counter("ignoredOtherAddress") >=
                                ignoredBefore + ReconnectPolicy::timeoutsInARow + 2;
                 },
                 120000),
             qPrintable(recorder.errorText()));
    QVector<uint32_t> silentTo;
    for (uint32_t first : firstFrame)
        silentTo.append(latestFrame(sim, first));
    ::kill(pid_t(sim.processId()), SIGUSR2);
    const int heldBefore = recorded(files[1]).frameNr.size();
    QVERIFY2(holds(files[1], heldBefore + 2), qPrintable(recorder.errorText()));
    QVERIFY(recorder.stop());
    QVERIFY2(recorder.process.exitCode() == 0, qPrintable(recorder.errors));

    for (int sensor : {0, 2}) {
        const Recorded data = recorded(files[sensor]);
        const int made = int(silentTo[sensor] - silentFrom[sensor]);
        const int kept =
            int(std::count_if(data.frameNr.begin(), data.frameNr.end(), [&](uint32_t nr) {
                return nr > silentFrom[sensor] && nr <= silentTo[sensor];
            }));
        QVERIFY2(made >= ReconnectPolicy::timeoutsInARow / 2 && 2 * kept >= made,
                 qPrintable(QString("%1: %2 of %3 frames").arg(files[sensor]).arg(kept).arg(made)));
    }
    const Recorded silent = recorded(files[1]);
    QVERIFY(std::is_sorted(silent.frameNr.begin(), silent.frameNr.end()));
    QVERIFY(silent.frameNr.last() > silentTo[1]);
    QVERIFY2(recorder.errors.contains("Address 2: outage from "), qPrintable(recorder.errors));
}

// Two sensors with the same serial number would record into one file: the second is
// refused and the first records.
void TestRecorderBus::twoSensorsOneSerial()
{
    SimProcess sim({"--address", "1,2", "--rate", "2", "--serial-step", "0"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    const QString path = QDir::current().absoluteFilePath("twin-00-12-AB-CD.csv");
    QFile::remove(path);
    Recorder recorder(
        {"--record", "twin-{serial}.csv", "--port", sim.portName(), "--address", "1,2"});
    QVERIFY(QTest::qWaitFor([&] { return recorded(path).frameNr.size() >= 3; }, 60000));
    QVERIFY(recorder.stop());
    QVERIFY2(recorder.process.exitCode() == 0, qPrintable(recorder.errors));
    QVERIFY2(recorder.errors.contains(QString("Error: addresses 1 and 2 would both record into "
                                              "%1; not recording address 2")
                                          .arg(path)),
             qPrintable(recorder.errors));
    for (uint32_t frameNr : recorded(path).frameNr)
        QVERIFY(frameNr < 100000);
    QVERIFY2(recorder.output.contains("Address 2 (sensor 00-12-AB-CD), file refused: nothing "
                                      "recorded"),
             qPrintable(recorder.output));
}

// The port goes away and comes back under the same name with two other sensors at the
// same addresses: the port is reopened, and the new sensors get files of their own.
void TestRecorderBus::lineReplacedWithOtherSensors()
{
    const QString link = QDir::current().absoluteFilePath("bus-port");
    const QStringList before = {"swap-00-AA-00-01.csv", "swap-00-AA-00-02.csv"};
    const QStringList after = {"swap-00-BB-00-01.csv", "swap-00-BB-00-02.csv"};
    for (const QString &name : before + after)
        QFile::remove(name);
    const auto allHold = [](const QStringList &names, int samples) {
        return QTest::qWaitFor(
            [&] {
                for (const QString &name : names) {
                    if (recorded(name).frameNr.size() < samples)
                        return false;
                }
                return true;
            },
            60000);
    };

    auto first = std::make_unique<SimProcess>(
        QStringList{"--address", "1,2", "--rate", "2", "--serial", "00AA0001", "--link", link});
    QVERIFY2(first->start(), qPrintable(first->errorOutput()));
    Recorder recorder({"--record", "swap-{serial}.csv", "--port", link, "--address", "1,2"});
    QVERIFY(allHold(before, 2));
    QVERIFY(first->stop());
    first.reset();
    QVERIFY(QTest::qWaitFor([&] { return recorder.errorText().contains("reopening the port"); },
                            30000));
    QVector<int> counts;
    for (const QString &name : before)
        counts.append(recorded(name).frameNr.size());

    SimProcess second({"--address", "1,2", "--rate", "2", "--serial", "00BB0001", "--link", link});
    QVERIFY2(second.start(), qPrintable(second.errorOutput()));
    QVERIFY2(allHold(after, 2), qPrintable(recorder.errorText()));
    QVERIFY(recorder.stop());
    QVERIFY2(recorder.process.exitCode() == 0, qPrintable(recorder.errors));
    for (int sensor = 0; sensor < 2; ++sensor)
        QCOMPARE(recorded(before[sensor]).frameNr.size(), counts[sensor]);
    QVERIFY2(recorder.output.count(": another sensor answers; recorded ") == 2,
             qPrintable(recorder.output));
}

// Nobody on the line: each address is probed once, each probe times out, the run ends with
// exit code 1 and the files made for it are gone again.
void TestRecorderBus::noSensorAnswers()
{
    PtyPair pty;
    Recorder recorder(
        {"--record", "empty-{address}.csv", "--port", pty.slavePath(), "--address", "3,4"});
    QCOMPARE(pty.readFrame(), buildReadRequest(3, 0, 46));
    QCOMPARE(pty.readFrame(), buildReadRequest(4, 0, 46));
    QVERIFY(recorder.process.waitForFinished(30000));
    QCOMPARE(recorder.process.exitCode(), 1);
    QVERIFY2(recorder.errorText().contains(
                 QString("Error: no answer from a sensor at addresses 3, 4 on %1\n")
                     .arg(pty.slavePath())),
             qPrintable(recorder.errors));
    QVERIFY(!QFile::exists("empty-3.csv") && !QFile::exists("empty-4.csv"));
}

QTEST_MAIN(TestRecorderBus)
#include "tst_recorderbus.moc"
