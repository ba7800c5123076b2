// The recorder without a window over a night of trouble: the sensor goes away and
// comes back under the same name three times, hangs for 20 s once, and finally
// stays away until --give-up-after ends the recording.

#include "measurementdata.h"
#include "simprocess.h"

#include <QtTest>

#include <csignal>
#include <memory>
#include <vector>

class TestRecorderReconnect : public QObject
{
    Q_OBJECT

private slots:
    void carriesOnAcrossOutages();
    void refusesABadGiveUpTime();
};

namespace
{

QVector<uint32_t> recordedFrames(const QString &path)
{
    MeasurementData store;
    store.importCsv(path);
    return store.frameNr;
}

} // namespace

void TestRecorderReconnect::carriesOnAcrossOutages()
{
    const QString link = QDir::current().absoluteFilePath("sensor-port");
    const QString csv = QDir::current().absoluteFilePath("night.csv");
    QFile::remove(csv);
    std::vector<std::unique_ptr<SimProcess>> sensors;
    const auto startSensor = [&] {
        sensors.push_back(std::make_unique<SimProcess>(QStringList{"--rate", "1", "--link", link}));
        return sensors.back()->start();
    };
    QVERIFY(startSensor());

    QProcess recorder;
    recorder.start(QUVA_EXPLORER_PATH, {"--record", csv, "--port", link, "--give-up-after", "5"});
    QVERIFY(recorder.waitForStarted());
    QString output;
    QString errors;
    const auto errorOutput = [&] {
        errors += recorder.readAllStandardError();
        return errors;
    };
    const auto waitForOutput = [&](const QString &text) {
        return QTest::qWaitFor(
            [&] {
                output += recorder.readAllStandardOutput();
                return output.contains(text);
            },
            20000);
    };
    const auto waitForSamples = [&](int count) {
        return QTest::qWaitFor([&] { return recordedFrames(csv).size() >= count; }, 30000);
    };
    QVERIFY(waitForSamples(3));

    // The statistics on demand.
    ::kill(pid_t(recorder.processId()), SIGUSR1);
    QVERIFY(waitForOutput("Link: Requests sent: "));

    // Replugged three times: a new sensor takes the name, then the old one goes.
    for (int replug = 0; replug < 3; ++replug) {
        const int before = recordedFrames(csv).size();
        QVERIFY2(startSensor(), qPrintable(sensors.back()->errorOutput()));
        QVERIFY(sensors[sensors.size() - 2]->stop());
        QVERIFY2(waitForSamples(before + 3), qPrintable(errorOutput()));
    }

    // Hangs with its port open for six of the link's 3 s time-outs (about 20 s), then
    // answers again: fewer time-outs in a row than make the recorder reopen the port.
    SimProcess &last = *sensors.back();
    const int beforeHang = recordedFrames(csv).size();
    const int timeoutsBefore = int(errorOutput().count("Modbus Error: timeout"));
    ::kill(pid_t(last.processId()), SIGSTOP);
    QVERIFY(QTest::qWaitFor(
        [&] { return errorOutput().count("Modbus Error: timeout") >= timeoutsBefore + 6; },
        120000));
    ::kill(pid_t(last.processId()), SIGCONT);
    QVERIFY(waitForSamples(beforeHang + 3));

    // Gone for good: five seconds later the recorder gives up.
    QVERIFY(last.stop());
    QVERIFY(recorder.waitForFinished(30000));
    QCOMPARE(recorder.exitStatus(), QProcess::NormalExit);
    errorOutput();
    QCOMPARE(recorder.exitCode(), 3);
    QVERIFY(waitForOutput("Link: Errors: "));

    // Each outage logged with its start, end and length; the last one ends the run.
    QCOMPARE(errors.count("; reconnecting"), 4);
    const QRegularExpression outage(
        "Outage from \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} to "
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}, \\d+\\.\\d s");
    QCOMPARE(errors.count(outage), 3);
    QVERIFY2(errors.contains("(5 s); giving up"), qPrintable(errors));
    QVERIFY2(output.contains("connection lost 4"), qPrintable(output));

    // The file holds one connected stretch per sensor, each strictly increasing, and
    // every frame a sensor made between the first and the last it delivered.
    const QVector<uint32_t> frames = recordedFrames(csv);
    QVector<QVector<uint32_t>> stretches{{frames.first()}};
    for (int i = 1; i < frames.size(); ++i) {
        if (frames[i] <= frames[i - 1])
            stretches.append(QVector<uint32_t>());
        stretches.last().append(frames[i]);
    }
    QCOMPARE(stretches.size(), int(sensors.size()));
    for (int run = 0; run < stretches.size(); ++run) {
        const QVector<uint32_t> &stretch = stretches[run];
        QVector<uint32_t> made;
        for (const SimProcess::Frame &frame : sensors[run]->frames()) {
            if (frame.frameNr >= stretch.first() && frame.frameNr <= stretch.last())
                made.append(frame.frameNr);
        }
        QCOMPARE(stretch, made);
        qInfo() << "sensor" << run + 1 << "delivered frames" << stretch.first() << "to"
                << stretch.last();
    }
    qInfo().noquote() << "recorder's stderr:\n" + errors;
}

void TestRecorderReconnect::refusesABadGiveUpTime()
{
    QProcess recorder;
    recorder.start(QUVA_EXPLORER_PATH,
                   {"--record", "never.csv", "--port", "/dev/null", "--give-up-after", "soon"});
    QVERIFY(recorder.waitForFinished(30000));
    QCOMPARE(recorder.exitCode(), 2);
    QCOMPARE(QString(recorder.readAllStandardError()),
             QString("Error: --give-up-after: expected a whole number of seconds, 0 or more, "
                     "got \"soon\"\n"));
    QVERIFY(!QFile::exists("never.csv"));
}

QTEST_MAIN(TestRecorderReconnect)
#include "tst_recorderreconnect.moc"
