// A consumer (--subscribe) against publishers that send what no recorder sends, through a
// real mosquitto: a message decides no more than which sensor's file in the consumer's folder
// gets a line, never a path, a second writer or a forged line; values no sensor can produce,
// oversized messages and floods of serial numbers are dropped and counted with bounded files,
// threads and memory.

#include "consumerprocess.h"
#include "csvline.h"
#include "mosquittobroker.h"
#include "mqttmessage.h"

#include <QtTest>

class TestConsumerHostile : public QObject
{
    Q_OBJECT

private slots:
    void writesNothingAPublisherChooses();
    void oneFileOneWriterForOneSerial();
    void manySerialsFewFiles();
};

namespace
{

using Messages = QList<QPair<QString, QByteArray>>;

const QString serial = "00-12-AB-CD";
const QString topic = "quva/" + serial + "/sample";

LiveSample sampleOf(uint32_t frame)
{
    LiveSample sample;
    sample.timestamp = QDateTime(QDate(2026, 12, 8), QTime(10, 0).addMSecs(int(frame) * 500));
    sample.frameNr = frame;
    sample.nu = 12.35;
    sample.eta = 10.49;
    sample.rho = 849.5;
    sample.T = 40;
    sample.nuUc = std::nan("");
    return sample;
}

QByteArray csvLineOf(const LiveSample &sample)
{
    char line[maxCsvLineLength];
    return QByteArray(line, int(formatCsvLine(line, sample) - line)).trimmed();
}

// A recorder's message with one field's text replaced.
QByteArray withField(const QByteArray &message, const QByteArray &field, const QByteArray &value)
{
    const QByteArray key = '"' + field + "\":";
    const int begin = message.indexOf(key) + key.size();
    int end = begin;
    while (message.at(end) != ',' && message.at(end) != '}')
        end += message.at(end) == '"' ? message.indexOf('"', end + 1) - end + 1 : 1;
    return message.left(begin) + value + message.mid(end);
}

// Every file below folder, relative to it.
QStringList filesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(folder).relativeFilePath(it.next()));
    files.sort();
    return files;
}

} // namespace

void TestConsumerHostile::writesNothingAPublisherChooses()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    // The consumer works in plant/site/; anything it writes must be in plant/site/data/.
    ConsumerProcess consumer("plant/site");
    QDir().mkpath(consumer.filePath("data"));
    const QString outside = QDir::current().absoluteFilePath("plant/outside");
    QDir(outside).removeRecursively();
    QVERIFY2(consumer.start(broker, {"--record", "data/{serial}.csv"}), qPrintable(broker.log()));

    const QByteArray good = sampleMessage(serial, sampleOf(1));
    // A serial number that would forge a line of its own on the consumer's output.
    const QByteArray forged = "\"00-12-AB-CD\\r\\n" + csvLineOf(sampleOf(99)) + '"';
    const Messages hostile = {
        {topic, withField(good, "serial", forged)},
        {topic, withField(good, "serial", "\"../../x\"")},
        {topic, withField(good, "serial", '"' + outside.toUtf8() + "/abs\"")},
        {topic, withField(good, "serial", "\"00-12-AB-CE\"")},
        {"quva/\u202E"
         "DC-BA-21-00/sample",
         withField(good, "serial",
                   "\"\u202E"
                   "DC-BA-21-00\"")},
        {"quva/\u202E"
         "DC-BA-21-00/sample",
         withField(good, "serial",
                   "\"\u202E"
                   "DC-BA-21-00\"")},
        {topic, withField(good, "nu", "1.8e308")},
        {topic, withField(good, "nu", "12.345")},
        {topic, withField(good, "rho", "-849.5")},
        {topic, withField(good, "time", "\"9999-12-31T23:59:59.999-14:00\"")},
        {topic, withField(good, "time", "\"1999-06-30T12:00:00.000+00:00\"")},
        {topic, withField(good, "frame", "4294967296")},
        {topic, withField(good, "state", "65536")},
        {topic, "{\"serial\":\"00-12-AB-CD\"," + QByteArray(100 << 20, ' ') + "\"pad\":1}"},
    };
    // Lower case is the same sensor, written as the recorder writes it.
    const Messages accepted = {
        {topic, good},
        {"quva/00-12-ab-cd/sample",
         withField(sampleMessage(serial, sampleOf(2)), "serial", "\"00-12-ab-cd\"")},
        {topic, sampleMessage(serial, sampleOf(3))}};
    MqttTestPublisher publisher(broker);
    QVERIFY(publisher.publish(Messages{accepted[0]} + hostile + accepted.mid(1)));

    const QString file = consumer.filePath("data/" + serial + ".csv");
    const QList<QByteArray> expected = {csvLineOf(sampleOf(1)), csvLineOf(sampleOf(2)),
                                        csvLineOf(sampleOf(3))};
    QVERIFY2(QTest::qWaitFor([&] { return csvDataLines(file).size() >= 3; }, 60000),
             qPrintable(consumer.errors()));
    const qint64 peakKiB = consumer.status("VmHWM");
    qInfo("consumer's peak memory %lld KiB", peakKiB);
    QVERIFY(consumer.stop());
    QCOMPARE(consumer.exitCode(), 0);
    QCOMPARE(csvDataLines(file), expected);
    QCOMPARE(filesBelow(QDir::current().absoluteFilePath("plant")),
             QStringList{"site/data/" + serial + ".csv"});

    const QString errors = consumer.errors();
    const QString output = consumer.output();
    // One line per offending topic, with its control and format characters escaped.
    QCOMPARE(errors.count("Refused a message on "), 2);
    QVERIFY2(errors.contains("Refused a message on quva/\\u{202e}DC-BA-21-00/sample"),
             qPrintable(errors));
    QVERIFY2(errors.contains("Refused a message on " + topic +
                             ": serial \"00-12-AB-CD\\u{000d}\\u{000a}2026-12-08T10:00:49.500;99;"),
             qPrintable(errors));
    QVERIFY(!(errors + output).contains('\r'));
    QVERIFY(!(errors + output).contains(QChar(0x202E)));
    QVERIFY2(output.contains(QString("Refused %1 messages").arg(hostile.size())),
             qPrintable(output));
    QVERIFY2(output.contains("Took 3 samples of " + serial), qPrintable(output));
    // The 100 MB message is neither copied nor printed.
    QVERIFY2(errors.size() < 4096, qPrintable(errors.left(4096)));
    QVERIFY2(peakKiB > 0 && peakKiB < 400 * 1024, qPrintable(QString::number(peakKiB)));
}

void TestConsumerHostile::oneFileOneWriterForOneSerial()
{
    MosquittoBroker broker;
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    ConsumerProcess consumer("one-serial");
    QVERIFY2(consumer.start(broker, {"--record", "line3.csv", "--serial", serial}, topic),
             qPrintable(broker.log()));
    MqttTestPublisher publisher(broker);
    Messages messages;
    QList<QByteArray> expected;
    for (uint32_t frame = 1; frame <= 20; ++frame) {
        messages.append({topic, sampleMessage(serial, sampleOf(frame))});
        expected.append(csvLineOf(sampleOf(frame)));
        // Another sensor's samples on this sensor's topic, with other times.
        messages.append({topic, sampleMessage("00-12-AB-CE", sampleOf(frame + 1000))});
    }
    QVERIFY(publisher.publish(messages));
    const QString file = consumer.filePath("line3.csv");
    QVERIFY2(QTest::qWaitFor([&] { return csvDataLines(file).size() >= 20; }, 60000),
             qPrintable(consumer.errors()));
    QVERIFY(consumer.stop());
    QCOMPARE(csvDataLines(file), expected);
    QCOMPARE(filesBelow(consumer.folder()), QStringList{"line3.csv"});
    QVERIFY2(consumer.output().contains("Refused 20 messages"), qPrintable(consumer.output()));
}

void TestConsumerHostile::manySerialsFewFiles()
{
    constexpr int serials = 5000;
    constexpr int descriptors = 64;
    MosquittoBroker::Setup setup;
    setup.queueLimit = serials + 10;
    MosquittoBroker broker(setup);
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    ConsumerProcess consumer("many");
    QVERIFY2(consumer.start(broker, {"--record", "{serial}.csv"}, "quva/+/sample", descriptors),
             qPrintable(broker.log() + consumer.errors()));
    Messages flood;
    for (uint32_t number = 0; number < serials; ++number) {
        const QString other = formatSerialNumber(0x50000000 + number);
        flood.append({"quva/" + other + "/sample", sampleMessage(other, sampleOf(number + 1))});
    }
    MqttTestPublisher publisher(broker);
    QVERIFY(publisher.publish(flood));
    // A real sensor after the flood is still taken.
    QVERIFY(publisher.publish({{topic, sampleMessage(serial, sampleOf(7))}}));
    qint64 mostThreads = 0;
    int mostDescriptors = 0;
    const QString file = consumer.filePath(serial + ".csv");
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     mostThreads = std::max(mostThreads, consumer.status("Threads"));
                     mostDescriptors = std::max(mostDescriptors, consumer.openDescriptors());
                     return csvDataLines(file).size() == 1;
                 },
                 300000),
             qPrintable(consumer.errors().left(2000)));
    const qint64 peakKiB = consumer.status("VmHWM");
    qInfo("consumer's peak memory %lld KiB, at most %lld threads and %d descriptors", peakKiB,
          mostThreads, mostDescriptors);
    QVERIFY(consumer.stop());
    QCOMPARE(consumer.exitCode(), 0);
    QCOMPARE(csvDataLines(file), QList<QByteArray>{csvLineOf(sampleOf(7))});
    QCOMPARE(filesBelow(consumer.folder()).size(), serials + 1);
    QCOMPARE(consumer.output().count(QRegularExpression("Took 1 samples of [0-9A-F-]{11} ")),
             serials + 1);
    QVERIFY2(mostDescriptors <= descriptors, qPrintable(QString::number(mostDescriptors)));
    QVERIFY2(mostThreads <= 8, qPrintable(QString::number(mostThreads)));
    QVERIFY2(peakKiB < 200 * 1024, qPrintable(QString::number(peakKiB)));
}

QTEST_GUILESS_MAIN(TestConsumerHostile)
#include "tst_consumerhostile.moc"
