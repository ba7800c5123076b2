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

QTEST_GUILESS_MAIN(TestConsumerFaults)
#include "tst_consumerfaults.moc"
