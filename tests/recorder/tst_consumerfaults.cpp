// A consumer (--subscribe) through faults, against a real mosquitto: a full disk holds the
// sample that could not be written, stops taking more until space is back and then writes
// every one once; a consumer killed while it takes a backlog loses at most the few messages
// it had received and not yet written, and one started again on the same files adds no line
// a recorder sends again.

#include "consumerprocess.h"
#include "csvline.h"
#include "mosquittobroker.h"
#include "mqttconnection.h"
#include "mqttmessage.h"
#include "simprocess.h"
#include "smallfilesystem.h"
#include "testseed.h"

#include <QtTest>

#include <csignal>

class TestConsumerFaults : public QObject
{
    Q_OBJECT

private slots:
    void fullDiskLosesNothing();
    void killAfterResumeAddsNoDuplicate();
    void reportsSamplesThatNeverArrived();
    void brokerKilledWithItsStateSaved();
};

namespace
{

using Messages = QList<QPair<QString, QByteArray>>;

LiveSample sampleOf(uint32_t frame)
{
    LiveSample sample;
    sample.timestamp = QDateTime(QDate(2026, 12, 8), QTime(9, 0).addMSecs(int(frame) * 500));
    sample.frameNr = frame;
    sample.nu = 3.44;
    sample.eta = 2.87;
    sample.rho = 832.1;
    sample.T = 79.92;
    sample.nuUc = 3.4;
    return sample;
}

Messages samples(const QString &serial, uint32_t first, uint32_t last)
{
    Messages messages;
    for (uint32_t frame = first; frame <= last; ++frame)
        messages.append(
            {"quva/" + serial + "/sample", sampleMessage(serial, sampleOf(frame), frame)});
    return messages;
}

// The frame numbers of a file's lines, in file order.
QList<uint32_t> framesOf(const QString &path)
{
    QList<uint32_t> frames;
    for (const QByteArray &line : csvDataLines(path)) {
        LiveSample sample;
        if (parseCsvLine(line.constBegin(), line.constEnd(), sample) == nullptr)
            frames.append(sample.frameNr);
    }
    return frames;
}

QList<uint32_t> range(uint32_t first, uint32_t last)
{
    QList<uint32_t> frames;
    for (uint32_t frame = first; frame <= last; ++frame)
        frames.append(frame);
    return frames;
}

} // namespace

void TestConsumerFaults::fullDiskLosesNothing()
{
    SmallFileSystem disk("full-disk", 64 * 1024);
    if (!disk.isMounted())
        QSKIP(SmallFileSystem::skipReason);
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    const QString serial = "00-12-AB-CD";
    const QString file = disk.filePath(serial + ".csv");
    ConsumerProcess consumer("full-disk-consumer");
    QVERIFY2(consumer.start(broker, {"--record", disk.filePath("{serial}.csv")}),
             qPrintable(broker.log()));
    MqttTestPublisher publisher(broker);
    QVERIFY(publisher.publish(samples(serial, 1, 20)));
    QVERIFY(QTest::qWaitFor([&] { return csvDataLines(file).size() == 20; }, 60000));

    QVERIFY(disk.fill("filler"));
    QVERIFY(publisher.publish(samples(serial, 21, 120)));
    const QString held = "; taking no more samples until it can be written";
    QVERIFY2(QTest::qWaitFor([&] { return consumer.errors().contains(held); }, 60000),
             qPrintable(consumer.errors()));
    // Taken while the disk is full: the broker keeps them for the consumer's session.
    QVERIFY(publisher.publish(samples(serial, 121, 150)));
    QVERIFY(QFile::remove(disk.filePath("filler")));
    QVERIFY2(QTest::qWaitFor([&] { return csvDataLines(file).size() >= 150; }, 60000),
             qPrintable(consumer.errors()));
    QVERIFY(consumer.stop());
    QCOMPARE(consumer.exitCode(), 0);
    QCOMPARE(framesOf(file), range(1, 150));
    QCOMPARE(consumer.errors().count(held), 1);
    QVERIFY2(
        consumer.errors().contains("Error: cannot write " + file + ": No space left on device"),
        qPrintable(consumer.errors()));
    QVERIFY2(consumer.output().contains("Took 150 samples of " + serial),
             qPrintable(consumer.output()));
}

void TestConsumerFaults::killAfterResumeAddsNoDuplicate()
{
    constexpr uint32_t backlog = 600;
    // Received and not yet written: the queue, the one being written, the one the network
    // thread holds while the queue is full.
    constexpr int mostLost = MqttConnection::maxWaitingMessages + 2;
    MosquittoBroker::Setup setup;
    setup.queueLimit = 2 * int(backlog);
    MosquittoBroker broker(setup);
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    MqttTestPublisher publisher(broker);
    QRandomGenerator random = seededRandom();
    for (int trial = 1; trial <= 3; ++trial) {
        const QString serial = QString("00-12-AB-C%1").arg(trial);
        ConsumerProcess consumer("resume-" + QString::number(trial));
        const QStringList arguments = {"--record", "{serial}.csv"};
        // Subscribed once, so that the broker keeps the session's messages while it is away.
        QVERIFY2(consumer.start(broker, arguments), qPrintable(broker.log()));
        QVERIFY(consumer.stop());
        QVERIFY(publisher.publish(samples(serial, 1, backlog)));

        const int killAt = int(random.bounded(20, int(backlog) - 100));
        qInfo("trial %d: killed after %d lines", trial, killAt);
        const QString file = consumer.filePath(serial + ".csv");
        QVERIFY2(consumer.start(broker, arguments), qPrintable(broker.log()));
        QVERIFY(QTest::qWaitFor([&] { return csvDataLines(file).size() >= killAt; }, 60000));
        QVERIFY(consumer.stop(SIGKILL));

        // Started again, it takes the rest of the backlog; a recorder then sends the last
        // 200 samples again, as one does from its position after a restart.
        QVERIFY2(consumer.start(broker, arguments), qPrintable(broker.log()));
        QVERIFY(publisher.publish(samples(serial, backlog - 199, backlog + 1)));
        QVERIFY2(QTest::qWaitFor([&] { return framesOf(file).endsWith(backlog + 1); }, 60000),
                 qPrintable(consumer.errors()));
        QVERIFY(consumer.stop());
        QCOMPARE(consumer.exitCode(), 0);

        const QList<uint32_t> frames = framesOf(file);
        const QSet<uint32_t> unique(frames.begin(), frames.end());
        QCOMPARE(unique.size(), frames.size());
        const int lost = int(backlog + 1) - frames.size();
        QVERIFY2(lost <= mostLost, qPrintable(QString("%1 samples lost").arg(lost)));
    }
}

void TestConsumerFaults::reportsSamplesThatNeverArrived()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    const QString serial = "00-12-AB-CD";
    ConsumerProcess consumer("holes");
    QVERIFY2(consumer.start(broker, {"--record", "{serial}.csv"}), qPrintable(broker.log()));
    MqttTestPublisher publisher(broker);
    // seq runs on over the recorder's lines; frames may skip without a sample missing.
    QVERIFY(publisher.publish(samples(serial, 1, 10) + samples(serial, 15, 17) +
                              samples(serial, 19, 20) + samples(serial, 5, 6)));
    const QString file = consumer.filePath(serial + ".csv");
    QVERIFY(QTest::qWaitFor([&] { return framesOf(file).size() == 15; }, 60000));
    QVERIFY(consumer.stop());
    QCOMPARE(consumer.errors().count("missing"), 2);
    QVERIFY2(consumer.errors().contains(serial + ": samples 11 to 14 missing\n" + serial +
                                        ": sample 18 missing\n"),
             qPrintable(consumer.errors()));
}

void TestConsumerFaults::brokerKilledWithItsStateSaved()
{
    // As the example plant configuration has it, with a save every second instead of 300.
    MosquittoBroker::Setup setup;
    setup.autosaveSeconds = 1;
    MosquittoBroker broker(setup);
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    ConsumerProcess consumer("broker-killed");
    QVERIFY2(consumer.start(broker, {"--record", "taken-{serial}.csv"}), qPrintable(broker.log()));
    // The consumer's session is in the saved state before the crash.
    const QDateTime subscribed = QDateTime::currentDateTime();
    QVERIFY(QTest::qWaitFor(
        [&] { return QFileInfo(broker.stateFile()).lastModified() > subscribed; }, 60000));

    SimProcess line({"--address", "1,2", "--rate", "4"});
    QVERIFY2(line.start(), qPrintable(line.errorOutput()));
    const QStringList serials = {"00-12-AB-CD", "00-12-AB-CE"};
    QProcess recorder;
    recorder.setWorkingDirectory(consumer.folder());
    recorder.start(QUVA_RECORDER_PATH, {"--record", "run-{serial}.csv", "--port", line.portName(),
                                        "--address", "1,2", "--mqtt", broker.url()});
    const auto lines = [&](const QString &name) {
        return framesOf(consumer.filePath(name)).size();
    };
    QVERIFY(QTest::qWaitFor([&] { return lines("taken-" + serials[0] + ".csv") >= 5; }, 60000));

    // Down while the recorder writes 20 more samples of the first sensor.
    QVERIFY(broker.kill());
    const int before = lines("run-" + serials[0] + ".csv");
    QVERIFY(
        QTest::qWaitFor([&] { return lines("run-" + serials[0] + ".csv") >= before + 20; }, 60000));
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    const int recorded = lines("run-" + serials[0] + ".csv");
    QVERIFY2(
        QTest::qWaitFor([&] { return lines("taken-" + serials[0] + ".csv") >= recorded; }, 120000),
        qPrintable(consumer.errors()));
    ::kill(pid_t(recorder.processId()), SIGTERM);
    QVERIFY(recorder.waitForFinished(60000));
    QCOMPARE(recorder.exitCode(), 0);
    for (const QString &serial : serials) {
        const QString recordedFile = consumer.filePath("run-" + serial + ".csv");
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         return csvDataLines(consumer.filePath("taken-" + serial + ".csv")) ==
                                csvDataLines(recordedFile);
                     },
                     60000),
                 qPrintable(serial + consumer.errors()));
    }
    QVERIFY(consumer.stop());
    QVERIFY2(!consumer.errors().contains("missing"), qPrintable(consumer.errors()));
}

QTEST_GUILESS_MAIN(TestConsumerFaults)
#include "tst_consumerfaults.moc"
