// Publishing at plant scale: N simulated sensors (default 1000) take a sample every 500 ms
// into their recording files, and the recorder's publishing code sends each file to a
// local mosquitto. A subscriber in a second process counts what arrives: samples lost,
// duplicates, and the time from taking a sample to its arrival (median, 99th percentile).
// The publishing process's CPU time is reported per 1,000 sensors.
//
//     bench_mqtt [--sensors N] [--seconds S] [--runs R] [--processes P]
//     bench_mqtt --subscriber PORT     (the counting side, started by the benchmark)
//     bench_mqtt --publisher PORT ...  (a recorder process, started by the benchmark)

#include "benchcontext.h"

#include "mosquittobroker.h"
#include "mqttconnection.h"
#include "mqttpublisher.h"
#include "recordingjournal.h"

#include <mosquitto.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace
{

const QString prefix = "bench";

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return std::nan("");
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(fraction * double(values.size())))];
}

// The counting side: subscribes to every sample, and when stdin says "END total" and
// that many samples have arrived (or 30 s passed without a new one), prints one line:
// received unique duplicates lost latencyMedianMs latencyP99Ms rateMin rateMedian rateMax,
// the rates being the samples received in each whole second between the first and the last.
int subscriber(int port)
{
    MqttSettings settings;
    settings.url.host = "127.0.0.1";
    settings.url.port = port;
    MqttConnection connection(settings, "bench-counter");
    std::map<QString, uint32_t> nextFrame;
    std::vector<double> latencies;
    std::map<qint64, double> perSecond; // unique samples received in each second
    qint64 received = 0;
    qint64 unique = 0;
    qint64 duplicates = 0;
    qint64 expected = -1;
    QTimer quiet;
    quiet.setSingleShot(true);
    quiet.setInterval(30000);
    const auto finish = [&] {
        // The first and the last second are partly empty.
        std::vector<double> rates;
        for (auto it = perSecond.begin(); it != perSecond.end(); ++it) {
            if (it != perSecond.begin() && std::next(it) != perSecond.end())
                rates.push_back(it->second);
        }
        std::printf("%lld %lld %lld %lld %.3f %.3f %.0f %.0f %.0f\n", received, unique, duplicates,
                    expected - unique, percentile(latencies, 0.5), percentile(latencies, 0.99),
                    percentile(rates, 0), percentile(rates, 0.5), percentile(rates, 1));
        std::fflush(stdout);
        QCoreApplication::exit(0);
    };
    QObject::connect(&quiet, &QTimer::timeout, finish);
    QObject::connect(&connection, &MqttConnection::connected, [&] {
        connection.subscribe(prefix + "/+/sample");
        std::printf("ready\n");
        std::fflush(stdout);
    });
    QObject::connect(&connection, &MqttConnection::messagesWaiting, [&] {
        QString topic;
        QByteArray payload;
        while (connection.takeMessage(topic, payload)) {
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            const std::optional<ReceivedSample> sample = parseSampleMessage(payload);
            ++received;
            if (!sample)
                continue;
            uint32_t &next = nextFrame[sample->serial];
            if (sample->sample.frameNr < next) {
                ++duplicates;
                continue;
            }
            next = sample->sample.frameNr + 1;
            ++unique;
            ++perSecond[now / 1000];
            latencies.push_back(double(now - sample->sample.timestamp.toMSecsSinceEpoch()));
            if (expected >= 0) {
                quiet.start();
                if (unique >= expected)
                    finish();
            }
        }
    });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[64] = {};
        if (::read(STDIN_FILENO, line, sizeof line - 1) <= 0)
            return;
        expected = QByteArray(line).mid(4).trimmed().toLongLong();
        quiet.start();
        if (unique >= expected)
            finish();
    });
    connection.start();
    return QCoreApplication::exec();
}

// One recorder process: sensors simulated sensors, numbered from first, each with its
// recording file and publisher. Prints "ready" once every publisher is connected, starts
// sampling at "go" on stdin, and after seconds prints "samples cpuSeconds elapsedSeconds
// startMs stopMs", the times of the first and the last sampling since the epoch.
int publisher(int port, int sensors, int first, double seconds)
{
    // Recording files in memory where there is a /dev/shm: the benchmark measures
    // publishing, not the disk.
    QTemporaryDir folder(QFileInfo("/dev/shm").isWritable() ? "/dev/shm/bench-mqtt-XXXXXX"
                                                            : QString());
    MqttSettings settings;
    settings.url.host = "127.0.0.1";
    settings.url.port = port;
    settings.prefix = prefix;
    std::vector<std::unique_ptr<RecordingJournal>> journals;
    std::vector<std::unique_ptr<MqttPublisher>> publishers;
    std::vector<std::unique_ptr<QTimer>> timers;
    int connected = 0;
    for (int i = 0; i < sensors; ++i) {
        const QString path = folder.filePath(QString("sensor-%1.csv").arg(first + i));
        auto journal = std::make_unique<RecordingJournal>();
        if (!journal->open(path)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(journal->errorString()));
            return 1;
        }
        DeviceIdentity identity;
        identity.serialNumber = uint32_t(0x10000000 + first + i);
        identity.hardwareRevision = 3;
        auto publisher =
            std::make_unique<MqttPublisher>(settings, identity, path, QFileInfo(path).size());
        QObject::connect(journal.get(), &RecordingJournal::appended, publisher.get(),
                         &MqttPublisher::fileGrew);
        QObject::connect(publisher.get(), &MqttPublisher::report, [&](const QString &line) {
            if (line.startsWith("MQTT: connected"))
                ++connected;
            else
                std::fprintf(stderr, "%s\n", qPrintable(line));
        });
        publisher->start();
        auto timer = std::make_unique<QTimer>();
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(500);
        RecordingJournal *file = journal.get();
        uint32_t frame = 0;
        QObject::connect(timer.get(), &QTimer::timeout, [file, frame, i]() mutable {
            const double T = 20 + (frame % 600) / 10.0;
            file->append(LiveSample{QDateTime::currentDateTime(), ++frame, 3.5 + i % 7, 3.0 + i % 5,
                                    850 - T, T, 0, std::nan("")});
        });
        journals.push_back(std::move(journal));
        publishers.push_back(std::move(publisher));
        timers.push_back(std::move(timer));
    }
    if (!QTest::qWaitFor([&] { return connected >= sensors; }, 600000))
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    char go[8] = {};
    if (::read(STDIN_FILENO, go, sizeof go - 1) <= 0)
        return 1;
    // The sensors' samples spread over the period, as independent sensors' are.
    for (int i = 0; i < sensors; ++i)
        QTimer::singleShot(500 * i / sensors, timers[size_t(i)].get(), qOverload<>(&QTimer::start));
    const double cpuStart = cpuSeconds();
    const qint64 startMs = QDateTime::currentMSecsSinceEpoch();
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(int(seconds * 1000));
    for (auto &timer : timers)
        timer->stop();
    const qint64 stopMs = QDateTime::currentMSecsSinceEpoch();
    qint64 total = 0;
    for (auto &journal : journals) {
        journal->close();
        total += journal->samplesWritten();
    }
    int closed = 0;
    for (auto &publisher : publishers) {
        QObject::connect(publisher.get(), &MqttPublisher::closed, [&closed] { ++closed; });
        publisher->fileGrew();
        publisher->close();
    }
    if (!QTest::qWaitFor([&] { return closed == sensors; }, 600000))
        return 1;
    const double elapsed = clock.elapsed() / 1000.0;
    std::printf("%lld %.3f %.3f %lld %lld\n", total, cpuSeconds() - cpuStart, elapsed, startMs,
                stopMs);
    std::fflush(stdout);
    return 0;
}

struct Figures {
    double lost = 0;
    double duplicates = 0;
    double latencyMedian = 0;
    double latencyP99 = 0;
    double cpuPercentPer1000 = 0;
    double messagesPerSecond = 0; // samples written per second of sampling
    double receivedMin = 0;       // samples the subscriber received per second
    double receivedMedian = 0;
    double receivedMax = 0;
    double overlap = 0; // of the sampling time, the share all processes sampled together
};

QList<QByteArray> lastLineFields(QProcess &process)
{
    return process.readAllStandardOutput().trimmed().split('\n').last().split(' ');
}

bool publishRun(int sensors, int processes, double seconds, Figures &figures, QString &error)
{
    MosquittoBroker broker;
    if (!broker.start()) {
        error = broker.log();
        return false;
    }
    const QString port = QString::number(broker.port());
    QProcess counter;
    counter.start(QCoreApplication::applicationFilePath(), {"--subscriber", port});
    const auto ready = [&](QProcess &process) {
        return QTest::qWaitFor(
                   [&] { return process.canReadLine() || process.state() == QProcess::NotRunning; },
                   600000) &&
               process.readLine() == "ready\n";
    };
    if (!ready(counter)) {
        error = "the counting subscriber did not start: " + counter.readAllStandardError();
        return false;
    }
    // libmosquitto waits on its sockets with select(), so one process keeps below 1024
    // descriptors: the sensors are spread over several recorder processes, as in a plant.
    std::vector<std::unique_ptr<QProcess>> recorders;
    for (int p = 0; p < processes; ++p) {
        const int first = sensors * p / processes;
        const int count = sensors * (p + 1) / processes - first;
        recorders.push_back(std::make_unique<QProcess>());
        recorders.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        recorders.back()->start(QCoreApplication::applicationFilePath(),
                                {"--publisher", port, "--sensors", QString::number(count),
                                 "--first", QString::number(first), "--seconds",
                                 QString::number(seconds)});
    }
    for (auto &recorder : recorders) {
        if (!ready(*recorder)) {
            error = "a recorder process did not connect all its sensors";
            return false;
        }
    }
    // Written out to every process before any is waited for, so that all start together.
    for (auto &recorder : recorders)
        recorder->write("go\n");
    for (auto &recorder : recorders)
        recorder->waitForBytesWritten(60000);
    qint64 total = 0;
    double cpu = 0;
    double elapsed = 0;
    qint64 lastStart = 0;
    qint64 firstStop = std::numeric_limits<qint64>::max();
    for (auto &recorder : recorders) {
        if (!recorder->waitForFinished(int(seconds * 1000) + 600000) || recorder->exitCode() != 0) {
            error = "a recorder process failed";
            return false;
        }
        const QList<QByteArray> fields = lastLineFields(*recorder);
        if (fields.size() != 5) {
            error = "unexpected recorder output: " + fields.join(' ');
            return false;
        }
        total += fields[0].toLongLong();
        cpu += fields[1].toDouble();
        elapsed = std::max(elapsed, fields[2].toDouble());
        lastStart = std::max(lastStart, fields[3].toLongLong());
        firstStop = std::min(firstStop, fields[4].toLongLong());
    }
    figures.overlap = std::clamp(double(firstStop - lastStart) / (seconds * 1000), 0.0, 1.0);
    counter.write("END " + QByteArray::number(total) + "\n");
    if (!counter.waitForFinished(120000)) {
        error = "the counting subscriber did not finish";
        return false;
    }
    const QList<QByteArray> fields = lastLineFields(counter);
    if (fields.size() != 9) {
        error = "unexpected subscriber output: " + fields.join(' ');
        return false;
    }
    figures.duplicates = fields[2].toDouble();
    figures.lost = fields[3].toDouble();
    figures.latencyMedian = fields[4].toDouble();
    figures.latencyP99 = fields[5].toDouble();
    figures.receivedMin = fields[6].toDouble();
    figures.receivedMedian = fields[7].toDouble();
    figures.receivedMax = fields[8].toDouble();
    // Over the sampling and the closing, which publishes what is still on its way.
    figures.cpuPercentPer1000 = 100.0 * cpu / elapsed * 1000.0 / sensors;
    figures.messagesPerSecond = double(total) / seconds;
    return true;
}

QString spread(std::vector<double> values, int decimals)
{
    std::sort(values.begin(), values.end());
    return QString("min %1, median %2, max %3")
        .arg(values.front(), 0, 'f', decimals)
        .arg(values[values.size() / 2], 0, 'f', decimals)
        .arg(values.back(), 0, 'f', decimals);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const auto option = [&](const QString &name, double fallback) {
        const int at = arguments.indexOf(name);
        return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1].toDouble() : fallback;
    };
    if (arguments.contains("--subscriber"))
        return subscriber(int(option("--subscriber", 0)));
    const int sensors = int(option("--sensors", 1000));
    const double seconds = option("--seconds", 60);
    if (arguments.contains("--publisher"))
        return publisher(int(option("--publisher", 0)), sensors, int(option("--first", 0)),
                         seconds);

    // Every sensor takes a file, a socket and the library's wake-up pair.
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    const int runs = int(option("--runs", 3));
    const int processes = int(option("--processes", (sensors + 199) / 200));
    QTextStream out(stdout);
    out << "CPU: " << cpuModel() << "\nQt: " << qVersion() << ", libmosquitto "
        << LIBMOSQUITTO_MAJOR << '.' << LIBMOSQUITTO_MINOR << '.' << LIBMOSQUITTO_REVISION
        << "\nruns: " << runs << ", " << sensors << " sensors at 2 samples/s for " << seconds
        << " s each in " << processes
        << " recorder processes, QoS 1, broker and subscriber on the same machine\nload: "
        << loadAverage() << Qt::endl;
    std::vector<double> lost, duplicates, median, p99, cpu, rate, receivedMedian, receivedMin,
        overlap;
    for (int run = 0; run < runs; ++run) {
        Figures figures;
        QString error;
        if (!publishRun(sensors, processes, seconds, figures, error)) {
            out << "run " << run + 1 << " failed: " << error << Qt::endl;
            return 1;
        }
        out << "run " << run + 1 << ": " << figures.messagesPerSecond
            << " samples written/s, received per second min " << figures.receivedMin << " median "
            << figures.receivedMedian << " max " << figures.receivedMax
            << ", all processes sampling together for " << 100 * figures.overlap
            << "% of the time, lost " << figures.lost << ", duplicates " << figures.duplicates
            << ", latency median " << figures.latencyMedian << " ms, 99% " << figures.latencyP99
            << " ms, publisher CPU " << figures.cpuPercentPer1000
            << "% of one processor per 1000 sensors; load " << loadAverage() << Qt::endl;
        lost.push_back(figures.lost);
        duplicates.push_back(figures.duplicates);
        median.push_back(figures.latencyMedian);
        p99.push_back(figures.latencyP99);
        cpu.push_back(figures.cpuPercentPer1000);
        rate.push_back(figures.messagesPerSecond);
        receivedMedian.push_back(figures.receivedMedian);
        receivedMin.push_back(figures.receivedMin);
        overlap.push_back(100 * figures.overlap);
    }
    out << "samples written/s: " << spread(rate, 0)
        << "\nreceived per second, median of each run: " << spread(receivedMedian, 0)
        << "\nreceived per second, lowest second of each run: " << spread(receivedMin, 0)
        << "\nall processes sampling together (% of the time): " << spread(overlap, 1)
        << "\nlost: " << spread(lost, 0) << "\nduplicates: " << spread(duplicates, 0)
        << "\nlatency median (ms): " << spread(median, 1)
        << "\nlatency 99th percentile (ms): " << spread(p99, 1)
        << "\npublisher CPU per 1000 sensors (% of one processor): " << spread(cpu, 1) << Qt::endl;
    return 0;
}
