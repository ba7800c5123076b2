// The sensor's port vanishes while the window records, and comes back under the same
// name: one error text, an idle program meanwhile, every sample kept, and recording
// going on after Connect.

#include "customization.h"
#include "mainwindow.h"
#include "cputime.h"
#include "measurementdata.h"
#include "registermap.h"
#include "serialportlist.h"
#include "simprocess.h"
#include "windowdriver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QtTest>

#include <memory>

namespace
{

// A simulator reached through a link name, recording its frames in framesLog.
std::unique_ptr<SimProcess> sensorAt(const QString &link, const QString &framesLog)
{
    return std::make_unique<SimProcess>(
        QStringList{"--rate", "10", "--link", link, "--frames-log", framesLog});
}

// The live-block words of each frame in a simulator's log.
QHash<uint32_t, QVector<uint16_t>> loggedFrames(const QString &framesLog)
{
    QHash<uint32_t, QVector<uint16_t>> frames;
    QFile file(framesLog);
    file.open(QIODevice::ReadOnly);
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        QVector<uint16_t> words;
        for (const QJsonValue &word : object.value("words").toArray())
            words.append(uint16_t(word.toInt()));
        if (!object.isEmpty())
            frames.insert(uint32_t(object.value("frame").toDouble()), words);
    }
    return frames;
}

// Samples first..last-1 of the store are frames of that log, each once, in order.
void checkRun(const QString &framesLog, int first, int last)
{
    const QHash<uint32_t, QVector<uint16_t>> frames = loggedFrames(framesLog);
    const MeasurementData &store = *measurementData;
    for (int i = first; i < last; ++i) {
        if (i > first)
            QVERIFY2(
                store.frameNr[i] > store.frameNr[i - 1],
                qPrintable(
                    QString("frame %1 after %2").arg(store.frameNr[i]).arg(store.frameNr[i - 1])));
        QVERIFY(frames.contains(store.frameNr[i]));
        const LiveSample logged = decodeLiveBlock(frames[store.frameNr[i]], deviceFirmwareDate);
        QCOMPARE(store.systemState[i], logged.systemState);
        QCOMPARE(store.T[i], logged.T);
        QCOMPARE(store.rho[i], logged.rho);
    }
}

} // namespace

class TestUnplug : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void recordingSurvivesUnplugAndReturn();
};

void TestUnplug::init()
{
    for (const QString &name :
         QDir().entryList({"*.csv", "*.log", "gui_settings.ini"}, QDir::Files))
        QFile::remove(name);
    measurementData->clear();
}

void TestUnplug::recordingSurvivesUnplugAndReturn()
{
    const QString port = QDir::current().absoluteFilePath("quva-port");
    const QString firstLog = QDir::current().absoluteFilePath("first-run.log");
    const QString secondLog = QDir::current().absoluteFilePath("second-run.log");
    setUserGivenPorts({port});

    auto sensor = sensorAt(port, firstLog);
    QVERIFY2(sensor->start(), qPrintable(sensor->errorOutput()));
    MainWindow window;
    QLabel *error = errorLabel(window);
    // What the window costs on this machine in this run while it has no sensor (port scan
    // and poll timer running): the yardstick of the budget below.
    const double idleCpu = idleCpuSeconds(2000);
    QVERIFY(connectThroughPanel(window, port));
    QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 10; }, 30000));

    // Pulled: the port goes away while requests are on the wire.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Modbus: connection lost on "));
    sensor->kill();
    QVERIFY(QTest::qWaitFor([&] { return !error->text().isEmpty(); }, 30000));
    const QVector<uint32_t> framesBefore = measurementData->frameNr;
    const QVector<QDateTime> timesBefore = measurementData->timestamps;

    // Ten seconds with the poll and the port scan running: one text, and next to no CPU.
    QStringList texts{error->text()};
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        QTest::qWait(20);
        if (error->text() != texts.last())
            texts << error->text();
    }
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    qInfo() << "samples before the port vanished:" << framesBefore.size()
            << "CPU time over the next 10 s:" << cpuUsed << "s";
    QCOMPARE(texts, QStringList{"Modbus Error: connection lost"});
    // The port scan and the poll go on; a loop spinning on the dead port would take 10 s.
    const double budget = idleCpuBudget(2.0, 5, idleCpu, 2000, 10000);
    QVERIFY2(
        cpuUsed < budget,
        qPrintable(QString("CPU time in 10 s: %1 s, idle %2 s in 2 s").arg(cpuUsed).arg(idleCpu)));
    QCOMPARE(measurementData->frameNr, framesBefore);
    QCOMPARE(measurementData->timestamps, timesBefore);

    // Back under the same name; Connect resumes the recording.
    sensor = sensorAt(port, secondLog);
    QVERIFY2(sensor->start(), qPrintable(sensor->errorOutput()));
    QVERIFY(connectThroughPanel(window, port));
    QVERIFY(QTest::qWaitFor(
        [&] { return measurementData->frameNr.size() >= framesBefore.size() + 10; }, 30000));
    QVERIFY(error->text().isEmpty());
    sensor->kill();

    // The first run's samples are all there, unchanged, each frame once; after them the
    // second run's, each once. The simulator numbers its frames from 1 again, as a
    // sensor does after a power cycle.
    const int count = measurementData->frameNr.size();
    QCOMPARE(measurementData->frameNr.mid(0, framesBefore.size()), framesBefore);
    QCOMPARE(measurementData->timestamps.mid(0, timesBefore.size()), timesBefore);
    checkRun(firstLog, 0, framesBefore.size());
    checkRun(secondLog, framesBefore.size(), count);
    QVERIFY(measurementData->timestamps[framesBefore.size()] >= timesBefore.last());

    // The journal holds the same samples, once its writer has caught up.
    const auto journalFrames = [] {
        MeasurementData journal;
        journal.importCsv("recording-journal.csv");
        return journal.frameNr;
    };
    QTRY_COMPARE_WITH_TIMEOUT(journalFrames(), measurementData->frameNr, 30000);
}

QTEST_MAIN(TestUnplug)
#include "tst_unplug.moc"
