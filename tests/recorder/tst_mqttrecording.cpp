// Recording into a real mosquitto broker: every sample of three sensors on one line
// arrives once and equal to its line in that sensor's file, an outage of the broker is caught up
// from the file, the status ends "offline" however the recorder ends, and credentials and
// certificates are checked with one clear error each.

#include "csvline.h"
#include "mosquittobroker.h"
#include "mqttmessage.h"
#include "mqttposition.h"
#include "simprocess.h"
#include "testfiles.h"

#include <QtTest>

#include <csignal>

class TestMqttRecording : public QObject
{
    Q_OBJECT

private slots:
    void publishesEverySampleOnce();
    void catchesUpAfterBrokerOutage();
    void lastWillWhenKilled();
    void statusFollowsTheSensor();
    void resumesWhereAKilledRunLeft();
    void credentialsAndCertificates();
};

namespace
{

const QString serial = "00-12-AB-CD"; // quva-sim's default, at the first address
const QString sampleTopicName = "quva/" + serial + "/sample";
const QString statusTopicName = "quva/" + serial + "/status";
// quva-sim --address 1,2,5
const QStringList lineSerials = {"00-12-AB-CD", "00-12-AB-CE", "00-12-AB-CF"};

QList<QByteArray> dataLines(const QString &path)
{
    QList<QByteArray> lines;
    for (const QByteArray &line : readFile(path).split('\n')) {
        if (isCsvDataLine(line.constBegin(), line.constEnd()))
            lines.append(line);
    }
    return lines;
}

// The messages that the recorder publishes for the lines of a sensor's file.
QList<QByteArray> messagesOfFile(const QString &path, const QString &serial)
{
    QList<QByteArray> messages;
    for (const QByteArray &line : dataLines(path)) {
        LiveSample sample;
        if (parseCsvLine(line.constBegin(), line.constEnd(), sample) != nullptr)
            messages.append("unreadable line " + line);
        else
            messages.append(sampleMessage(serial, sample, messages.size() + 1));
    }
    return messages;
}

QString fileOf(const QString &pattern, const QString &serial)
{
    return QDir::current().absoluteFilePath(QString(pattern).replace("{serial}", serial));
}

void removeFiles(const QString &pattern)
{
    for (const QString &serial : lineSerials) {
        QFile::remove(fileOf(pattern, serial));
        QFile::remove(mqttPositionPath(fileOf(pattern, serial)));
    }
}

QList<QByteArray> withoutRepeats(const QList<QByteArray> &messages)
{
    QList<QByteArray> unique;
    QSet<QByteArray> seen;
    for (const QByteArray &message : messages) {
        if (!seen.contains(message)) {
            seen.insert(message);
            unique.append(message);
        }
    }
    return unique;
}

bool waitForLines(const QString &path, int count, int timeoutMs = 60000)
{
    return QTest::qWaitFor([&] { return dataLines(path).size() >= count; }, timeoutMs);
}

bool endRecorder(QProcess &recorder, int signalNumber = SIGTERM)
{
    ::kill(pid_t(recorder.processId()), signalNumber);
    return recorder.waitForFinished(60000);
}

QString csvPath(const QString &name)
{
    const QString path = QDir::current().absoluteFilePath(name);
    QFile::remove(path);
    QFile::remove(mqttPositionPath(path));
    return path;
}

} // namespace

void TestMqttRecording::publishesEverySampleOnce()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    MqttCapture capture(broker, "quva/#");
    QVERIFY2(capture.start(broker), qPrintable(capture.errorOutput() + broker.log()));
    SimProcess line({"--address", "1,2,5", "--rate", "2"});
    QVERIFY2(line.start(), qPrintable(line.errorOutput()));

    const QString pattern = "once-{serial}.csv";
    removeFiles(pattern);
    QProcess recorder;
    recorder.start(QUVA_EXPLORER_PATH, {"--record", pattern, "--port", line.portName(), "--address",
                                        "1,2,5", "--mqtt", broker.url()});
    for (const QString &serial : lineSerials)
        QVERIFY(waitForLines(fileOf(pattern, serial), 6));
    QVERIFY(endRecorder(recorder));
    const QString errors = recorder.readAllStandardError();
    QCOMPARE(recorder.exitCode(), 0);

    for (const QString &serial : lineSerials) {
        const QString topic = "quva/" + serial + "/";
        const QList<QByteArray> expected = messagesOfFile(fileOf(pattern, serial), serial);
        QVERIFY2(capture.waitForCount(topic + "status", 2), qPrintable(errors));
        QVERIFY2(capture.waitForCount(topic + "sample", expected.size()), qPrintable(errors));
        QCOMPARE(capture.payloads(topic + "sample"), expected);
        QCOMPARE(capture.payloads(topic + "status"), (QList<QByteArray>{"online", "offline"}));
        const QList<QByteArray> identity = capture.payloads(topic + "identity");
        QCOMPARE(identity.size(), 1);
        QVERIFY2(identity.first().startsWith("{\"serial\":\"" + serial.toUtf8() +
                                             "\",\"hardwareRevision\":"),
                 identity.first().constData());
    }
}

void TestMqttRecording::catchesUpAfterBrokerOutage()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    MqttCapture capture(broker, "quva/+/sample");
    QVERIFY2(capture.start(broker), qPrintable(capture.errorOutput() + broker.log()));
    const QString taken = "taken-{serial}.csv";
    removeFiles(taken);
    QProcess consumer;
    consumer.start(QUVA_EXPLORER_PATH, {"--subscribe", broker.url(), "--record", taken});
    QVERIFY2(QTest::qWaitFor([&] { return broker.log().contains(" 1 quva/+/sample\n"); }, 60000),
             qPrintable(broker.log() + consumer.readAllStandardError()));
    SimProcess line({"--address", "1,2,5", "--rate", "2"});
    QVERIFY2(line.start(), qPrintable(line.errorOutput()));
    const QString recorded = "outage-{serial}.csv";
    removeFiles(recorded);
    QProcess recorder;
    recorder.start(QUVA_EXPLORER_PATH, {"--record", recorded, "--port", line.portName(),
                                        "--address", "1,2,5", "--mqtt", broker.url()});
    // Every sensor's connection is up before the broker goes, so that each one loses it.
    for (const QString &lineSerial : lineSerials)
        QVERIFY(capture.waitForCount("quva/" + lineSerial + "/sample", 3));

    // Down while the first sensor's file grows by 20 samples, about 10 s.
    QVERIFY(broker.stop());
    const QString first = fileOf(recorded, serial);
    const int before = dataLines(first).size();
    QVERIFY(waitForLines(first, before + 20));
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    // The recorder catches up while it goes on recording.
    const auto caughtUp = [&] {
        for (const QString &serial : lineSerials) {
            const int lines = dataLines(fileOf(recorded, serial)).size();
            if (lines < before + 20 ||
                withoutRepeats(capture.payloads("quva/" + serial + "/sample")).size() < lines)
                return false;
        }
        return true;
    };
    QVERIFY2(QTest::qWaitFor(caughtUp, 120000), qPrintable(broker.log()));
    QVERIFY(endRecorder(recorder));
    QCOMPARE(recorder.exitCode(), 0);
    const QString errors = recorder.readAllStandardError();
    QCOMPARE(errors.count(": MQTT: connection to " + broker.url() + " lost"), 3);

    for (const QString &serial : lineSerials) {
        const QString topic = "quva/" + serial + "/sample";
        const QString file = fileOf(recorded, serial);
        const QList<QByteArray> expected = messagesOfFile(file, serial);
        QVERIFY2(
            QTest::qWaitFor(
                [&] { return withoutRepeats(capture.payloads(topic)).size() >= expected.size(); },
                60000),
            qPrintable(errors));
        // In order; a message comes twice only when it was sent again after the connection
        // broke, so it is the same message at its place.
        QCOMPARE(withoutRepeats(capture.payloads(topic)), expected);
        QVERIFY2(QTest::qWaitFor(
                     [&] { return dataLines(fileOf(taken, serial)) == dataLines(file); }, 60000),
                 qPrintable(serial));
    }
    QVERIFY(endRecorder(consumer));
    QCOMPARE(consumer.exitCode(), 0);
    for (const QString &serial : lineSerials)
        QCOMPARE(dataLines(fileOf(taken, serial)), dataLines(fileOf(recorded, serial)));
}

void TestMqttRecording::statusFollowsTheSensor()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    MqttCapture capture(broker, "quva/+/status");
    QVERIFY2(capture.start(broker), qPrintable(capture.errorOutput() + broker.log()));
    SimProcess line({"--address", "1,2,5", "--rate", "2"});
    QVERIFY2(line.start(), qPrintable(line.errorOutput()));
    const QString pattern = "status-{serial}.csv";
    removeFiles(pattern);
    QProcess recorder;
    recorder.start(QUVA_EXPLORER_PATH, {"--record", pattern, "--port", line.portName(), "--address",
                                        "1,2,5", "--mqtt", broker.url()});
    const auto statuses = [&](const QString &serial) {
        return capture.payloads("quva/" + serial + "/status");
    };
    for (const QString &serial : lineSerials)
        QVERIFY(QTest::qWaitFor([&] { return statuses(serial) == QList<QByteArray>{"online"}; },
                                60000));
    // Silent sensors: each counts as lost by the recorder's rule, then answers again.
    ::kill(pid_t(line.processId()), SIGSTOP);
    for (const QString &serial : lineSerials)
        QVERIFY2(capture.waitForCount("quva/" + serial + "/status", 2),
                 qPrintable(recorder.readAllStandardError()));
    ::kill(pid_t(line.processId()), SIGCONT);
    for (const QString &serial : lineSerials)
        QVERIFY(capture.waitForCount("quva/" + serial + "/status", 3));
    QVERIFY(endRecorder(recorder));
    QCOMPARE(recorder.exitCode(), 0);
    for (const QString &serial : lineSerials) {
        QVERIFY(capture.waitForCount("quva/" + serial + "/status", 4));
        QCOMPARE(statuses(serial), (QList<QByteArray>{"online", "no-answer", "online", "offline"}));
    }
}

void TestMqttRecording::lastWillWhenKilled()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    MqttCapture capture(broker, statusTopicName);
    QVERIFY2(capture.start(broker), qPrintable(capture.errorOutput() + broker.log()));
    SimProcess sensor;
    QVERIFY2(sensor.start(), qPrintable(sensor.errorOutput()));
    QProcess recorder;
    recorder.start(QUVA_EXPLORER_PATH, {"--record", csvPath("killed.csv"), "--port",
                                        sensor.portName(), "--mqtt", broker.url()});
    QVERIFY(capture.waitForCount(statusTopicName, 1));
    QVERIFY(endRecorder(recorder, SIGKILL));
    QVERIFY(capture.waitForCount(statusTopicName, 2));
    QCOMPARE(capture.payloads(statusTopicName), (QList<QByteArray>{"online", "offline"}));
}

// A run killed while the broker was away leaves its samples unpublished; the next run on
// the same file publishes them first, in order, and then goes on live.
void TestMqttRecording::resumesWhereAKilledRunLeft()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    QVERIFY(broker.stop()); // nobody listens at its port while the first run records
    SimProcess sensor;
    QVERIFY2(sensor.start(), qPrintable(sensor.errorOutput()));
    const QString file = csvPath("resumed.csv");
    const QStringList arguments = {"--record",        file,     "--port",
                                   sensor.portName(), "--mqtt", broker.url()};
    QProcess recorder;
    recorder.start(QUVA_EXPLORER_PATH, arguments);
    QVERIFY(waitForLines(file, 5));
    QVERIFY(QTest::qWaitFor([&] { return QFile::exists(mqttPositionPath(file)); }, 60000));
    QVERIFY(endRecorder(recorder, SIGKILL));
    const int killedAt = dataLines(file).size();

    QVERIFY2(broker.start(), qPrintable(broker.log()));
    MqttCapture capture(broker, sampleTopicName);
    QVERIFY2(capture.start(broker), qPrintable(capture.errorOutput() + broker.log()));
    recorder.start(QUVA_EXPLORER_PATH, arguments);
    const auto arrived = [&] { return withoutRepeats(capture.payloads(sampleTopicName)).size(); };
    QVERIFY(QTest::qWaitFor([&] { return arrived() >= killedAt + 3; }, 120000));
    QVERIFY(endRecorder(recorder));
    QCOMPARE(recorder.exitCode(), 0);
    const QString errors = recorder.readAllStandardError();
    QVERIFY2(errors.contains("MQTT: publishing resumed.csv from byte "), qPrintable(errors));
    const QList<QByteArray> expected = messagesOfFile(file, serial);
    QVERIFY(QTest::qWaitFor([&] { return arrived() >= expected.size(); }, 60000));
    QCOMPARE(withoutRepeats(capture.payloads(sampleTopicName)), expected);
}

void TestMqttRecording::credentialsAndCertificates()
{
    MosquittoBroker broker({"recorder", "right horse", true});
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    const QString goodLogin = broker.writePasswordFile("recorder", "right horse");
    MqttCapture capture(broker, "quva/#",
                        {"--cafile", broker.caFile(), "-u", "recorder", "-P", "right horse"});
    QVERIFY2(capture.start(broker), qPrintable(capture.errorOutput() + broker.log()));

    struct Run {
        QString name;
        QString login;
        QString caFile;
        QString error; // in the one error line; empty: publishes
    };
    const QVector<Run> runs = {
        {"good", goodLogin, broker.caFile(), {}},
        {"wrong-password", broker.writePasswordFile("recorder", "wrong"), broker.caFile(),
         "Connection Refused: not authorised"},
        {"wrong-ca", goodLogin, broker.otherCaFile(), "certificate verify failed"},
    };
    std::vector<std::unique_ptr<SimProcess>> sensors;
    std::vector<std::unique_ptr<QProcess>> recorders;
    for (const Run &run : runs) {
        sensors.push_back(std::make_unique<SimProcess>(
            QStringList{"--serial", "0000000" + QString::number(recorders.size() + 1)}));
        QVERIFY2(sensors.back()->start(), qPrintable(sensors.back()->errorOutput()));
        recorders.push_back(std::make_unique<QProcess>());
        recorders.back()->start(QUVA_EXPLORER_PATH,
                                {"--record", csvPath(run.name + ".csv"), "--port",
                                 sensors.back()->portName(), "--mqtt", broker.url(),
                                 "--mqtt-cafile", run.caFile, "--mqtt-password-file", run.login});
    }
    // The good one publishes; the wrong password is refused again and again.
    QVERIFY2(capture.waitForCount("quva/00-00-00-01/sample", 3), qPrintable(broker.log()));
    QVERIFY2(QTest::qWaitFor([&] { return broker.log().count("not authorised") >= 3; }, 60000),
             qPrintable(broker.log()));
    QString errors[3];
    QVERIFY(QTest::qWaitFor(
        [&] {
            errors[2] += recorders[2]->readAllStandardError();
            return errors[2].contains("MQTT: no connection");
        },
        60000));
    for (int i = 0; i < 3; ++i) {
        QVERIFY(endRecorder(*recorders[i]));
        errors[i] += recorders[i]->readAllStandardError();
        const QString output = recorders[i]->readAllStandardOutput();
        const QString name = runs[i].name;
        // The recording went on as always; what the broker never got waits in the file for
        // the next run, and the exit code says so.
        const int samples = dataLines(runs[i].name + ".csv").size();
        QVERIFY2(samples >= 3 && output.contains(QString("Recorded %1 samples").arg(samples)),
                 qPrintable(name + ": " + output));
        QCOMPARE(recorders[i]->exitCode(), runs[i].error.isEmpty() ? 0 : 4);
        QCOMPARE(
            output.contains(QString("MQTT: %1 samples of 00-00-00-0%2 wait in %3 for the next run")
                                .arg(samples)
                                .arg(i + 1)
                                .arg(QDir::current().absoluteFilePath(name + ".csv"))),
            !runs[i].error.isEmpty());
        QCOMPARE(errors[i].count("MQTT: no connection"), runs[i].error.isEmpty() ? 0 : 1);
        QVERIFY2(errors[i].contains(runs[i].error), qPrintable(name + ": " + errors[i]));
    }
}

QTEST_GUILESS_MAIN(TestMqttRecording)
#include "tst_mqttrecording.moc"
