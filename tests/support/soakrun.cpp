#include "soakrun.h"

#include "livesampler.h"
#include "measurementdata.h"
#include "modbus.h"
#include "registermap.h"
#include "wordconversion.h"
#include "simprocess.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QTimer>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace Soak
{

namespace
{

// The fault kinds, named as the simulator's counters name them.
const QStringList faultKinds = {"injectedDrop",      "injectedBadCrc",       "injectedSplit",
                                "injectedException", "injectedWrongAddress", "injectedGarbage"};

// How long a time-out's reply may take to turn up late before it counts as lost.
constexpr int lateReplyPatienceMs = 30000;

// The words of registers 16..30 of every measurement the simulator logged, by frame number.
QHash<uint32_t, QVector<uint16_t>> framesByNumber(const SimProcess &sim)
{
    QHash<uint32_t, QVector<uint16_t>> frames;
    for (const SimProcess::Frame &frame : sim.frames())
        frames.insert(frame.frameNr, frame.words);
    return frames;
}

// The kind of an error text: "timeout", "CRC error", "invalid function code: 131", ...
QString errorKind(const QString &error)
{
    QString reason = error.mid(QString("Modbus Error: ").size());
    if (reason.startsWith("invalid function code"))
        return reason;
    return reason.section(':', 0, 0);
}

// Connects, and probes again while the probe's own reply is lost or spoiled.
void keepConnecting(Modbus &link, const QString &port, bool &connected, QTimer &retry)
{
    retry.setInterval(4000);
    QObject::connect(&retry, &QTimer::timeout, [&link, port, &connected] {
        if (!connected)
            link.connectDevice(port, 19200, 0, 1);
    });
    retry.start();
    link.connectDevice(port, 19200, 0, 1);
}

class PollLane
{
public:
    PollLane(const QStringList &faultArguments, int exchangeLimit)
        : sim(faultArguments), limit(exchangeLimit)
    {
        lateReplyDeadline.setSingleShot(true);
        lateReplyDeadline.setInterval(lateReplyPatienceMs);
        tailDeadline.setSingleShot(true);
        tailDeadline.setInterval(lateReplyPatienceMs);
    }

    bool start()
    {
        if (!sim.start())
            return false;
        QObject::connect(&tailDeadline, &QTimer::timeout, [this] { awaitingTail = false; });
        QObject::connect(&link, &Modbus::deviceConnected, [this] {
            connected = true;
            retry.stop();
            poll.start(500);
        });
        QObject::connect(&link, &Modbus::replyReceived,
                         [this](const QVector<uint16_t> &words) { replyReceived(words); });
        QObject::connect(&link, &Modbus::showModbusError,
                         [this](const QString &error) { errorShown(error); });
        QObject::connect(&poll, &QTimer::timeout, [this] { ask(); });
        QObject::connect(&lateReplyDeadline, &QTimer::timeout, [this] { lateReplyEnded(false); });
        keepConnecting(link, sim.portName(), connected, retry);
        return true;
    }

    bool done() const { return finished; }
    void stop() { finished = true; }

    PollFigures figures()
    {
        PollFigures result = counts;
        const QHash<uint32_t, QVector<uint16_t>> frames = framesByNumber(sim);
        result.samplesStored = store.frameNr.size();
        for (int i = 0; i < store.frameNr.size(); ++i) {
            if (i > 0 && (store.frameNr[i] <= store.frameNr[i - 1] ||
                          store.timestamps[i] < store.timestamps[i - 1]))
                ++result.duplicateOrOutOfOrder;
            const auto frame = frames.find(store.frameNr[i]);
            if (frame == frames.end() || frame->size() != ReplyLength::Live ||
                !sameSample(decodeLiveBlock(*frame, firmwareDate), i))
                ++result.corruptSamples;
        }
        for (auto it = frames.begin(); it != frames.end(); ++it) {
            if (it.key() >= firstFrame && it.key() <= lastFrame)
                ++result.framesProduced;
        }
        return result;
    }

private:
    void ask()
    {
        if (outstanding || awaitingLateReply || awaitingTail || finished)
            return;
        before = sim.counters();
        outstanding = true;
        link.readRegisters(Registers::LiveFirst, Registers::LiveLast);
    }

    void replyReceived(const QVector<uint16_t> &words)
    {
        if (words.size() == ReplyLength::Info) {
            firmwareDate = decodeIdentity(words).firmwareDate;
            return;
        }
        if (!outstanding)
            return;
        const std::optional<LiveSample> sample = sampler.take(words, firmwareDate);
        if (sample) {
            store.addSample(*sample);
            if (firstFrame == 0)
                firstFrame = sample->frameNr;
            lastFrame = sample->frameNr;
        }
        exchangeEnded(QString());
    }

    void errorShown(const QString &error)
    {
        // Whatever the link makes of bytes that come after a time-out, they are its reply.
        if (awaitingLateReply) {
            lateReplyEnded(true);
            return;
        }
        if (error.isEmpty() || !connected)
            return;
        if (!outstanding) {
            ++counts.lateErrors[errorKind(error)];
            awaitingTail = false;
            return;
        }
        exchangeEnded(errorKind(error));
    }

    void exchangeEnded(const QString &error)
    {
        outstanding = false;
        const QHash<QString, qint64> after = sim.counters();
        const bool answeredNothing = after.value("requests") - before.value("requests") == 1 &&
                                     after.value("replies") == before.value("replies");
        if (!error.isEmpty() && injectedFaults(after).isEmpty() && !answeredNothing) {
            failedError = error;
            awaitingLateReply = true;
            lateReplyDeadline.start();
            return;
        }
        account(error, after);
    }

    // The reply of an exchange that failed without a fault, or its tail, came late: a stall
    // held up the simulator or the link. None came: a failure.
    void lateReplyEnded(bool replyCame)
    {
        awaitingLateReply = false;
        lateReplyDeadline.stop();
        const QHash<QString, qint64> after = sim.counters();
        if (!replyCame || !injectedFaults(after).isEmpty()) {
            account(failedError, after);
            // What came late was the rest of the reply.
            if (replyCame)
                awaitingTail = false;
            return;
        }
        if (after.value("requests") - before.value("requests") != 1)
            ++counts.requestCountMismatches;
        ++counts.exchanges;
        ++counts.stalled;
        if (counts.exchanges >= limit)
            finished = true;
    }

    QStringList injectedFaults(const QHash<QString, qint64> &after) const
    {
        QStringList faults;
        for (const QString &kind : faultKinds) {
            if (after.value(kind) > before.value(kind))
                faults << kind;
        }
        return faults;
    }

    void account(const QString &error, const QHash<QString, qint64> &after)
    {
        QStringList faults;
        for (const QString &kind : faultKinds) {
            if (after.value(kind) > before.value(kind)) {
                faults << kind;
                ++counts.injected[kind];
            }
        }
        if (after.value("requests") - before.value("requests") != 1)
            ++counts.requestCountMismatches;

        ++counts.exchanges;
        if (error.isEmpty()) {
            ++counts.answered;
            // A split reply whose pause the link did not see (it was late to look) is
            // still the whole reply; the sample check below holds it to the log.
            if (faults == QStringList{"injectedSplit"})
                ++counts.splitTakenWhole;
            else if (!faults.isEmpty())
                ++counts.answeredDespiteFault;
        } else {
            ++counts.failed;
            ++counts.errors[error];
            if (faults.isEmpty())
                ++counts.failedWithoutFault;
            if (faults.size() == 1)
                ++counts.faultToError[faults[0].mid(8) + " -> " + error];
        }
        if (!faults.isEmpty())
            ++counts.faultedExchanges;
        // The rest of a reply split by a pause comes as an error of its own; asked before
        // it came, the next request would meet it, however late a busy machine makes it.
        if (!error.isEmpty() && faults.contains("injectedSplit")) {
            awaitingTail = true;
            tailDeadline.start();
        }
        if (previousFaulted && faults.isEmpty()) {
            ++counts.faultsFollowedByCleanExchange;
            if (error.isEmpty())
                ++counts.recoveredAtNextRequest;
        }
        previousFaulted = !faults.isEmpty();
        if (counts.exchanges >= limit)
            finished = true;
    }

    bool sameSample(const LiveSample &expected, int i) const
    {
        const auto same = [](double a, double b) {
            return (std::isnan(a) && std::isnan(b)) || a == b;
        };
        return store.frameNr[i] == expected.frameNr &&
               store.systemState[i] == expected.systemState && same(store.T[i], expected.T) &&
               same(store.rho[i], expected.rho) && same(store.nu[i], expected.nu) &&
               same(store.eta[i], expected.eta) && same(store.nuUc[i], expected.nuUc);
    }

    SimProcess sim;
    Modbus link;
    LiveSampler sampler;
    MeasurementData store;
    QDateTime firmwareDate;
    QTimer poll;
    QTimer retry;
    QTimer lateReplyDeadline;
    QTimer tailDeadline;
    int limit;
    bool connected = false;
    bool outstanding = false;
    bool awaitingLateReply = false;
    bool awaitingTail = false;
    QString failedError; // of the exchange whose late reply is awaited
    bool finished = false;
    bool previousFaulted = false;
    QHash<QString, qint64> before;
    uint32_t firstFrame = 0;
    uint32_t lastFrame = 0;
    PollFigures counts;
};

class WriteLane
{
public:
    WriteLane(uint32_t seed, int writeLimit)
        : sim({"--seed", QString::number(seed)}), random(seed), limit(writeLimit)
    {
        lateReplyDeadline.setSingleShot(true);
        lateReplyDeadline.setInterval(lateReplyPatienceMs);
    }

    bool start()
    {
        if (!sim.start())
            return false;
        QObject::connect(&link, &Modbus::deviceConnected, [this] {
            if (connected)
                return;
            connected = true;
            retry.stop();
            QTimer::singleShot(0, [this] { writeNext(); });
        });
        QObject::connect(&link, &Modbus::replyReceived,
                         [this](const QVector<uint16_t> &words) { replyReceived(words); });
        QObject::connect(&link, &Modbus::showModbusError, [this](const QString &error) {
            if (awaitingLateReply) {
                lateReplyEnded(true);
                return;
            }
            if (error.isEmpty() || !connected || finished)
                return;
            // Nothing is injected here: an error is a stall when its reply or the tail of
            // it comes late, else a failure; either way the write is made again.
            awaitingLateReply = true;
            lateReplyDeadline.start();
        });
        QObject::connect(&lateReplyDeadline, &QTimer::timeout, [this] { lateReplyEnded(false); });
        keepConnecting(link, sim.portName(), connected, retry);
        return true;
    }

    bool done() const { return finished; }
    void stop() { finished = true; }
    WriteFigures figures() const { return counts; }

private:
    struct Block {
        const char *name;
        uint8_t first;
        uint8_t last;
        uint16_t command;
    };

    uint16_t randomWord(int min, int max)
    {
        return uint16_t(std::uniform_int_distribution<int>(min, max)(random));
    }

    QVector<uint16_t> randomFloatWords(double min, double max)
    {
        return floatToWords(float(std::uniform_real_distribution<double>(min, max)(random)));
    }

    // Random values the sensor takes: the baud rates, addresses, modes, filter lengths
    // and analog source codes of its configuration, any mapping, any calibration block
    // with a date after 2020.
    QVector<RegisterWrite> randomWrites(const Block &block)
    {
        QVector<RegisterWrite> writes;
        if (block.first == 0) {
            static const uint32_t baudrates[] = {9600, 19200, 115200};
            static const uint16_t codes[] = {0, 18, 19, 20, 22, 26, 27, 30};
            QVector<uint16_t> line = uint32ToWords(baudrates[randomWord(0, 2)]);
            line << randomWord(1, 247) << randomWord(0, 5) << randomWord(1, 256);
            writes.append({Registers::ModbusBaudrate, line});
            for (uint8_t output : {Registers::AnalogOutput1, Registers::AnalogOutput2})
                writes.append(
                    {output,
                     {codes[randomWord(0, 7)], randomWord(0, 65535), randomWord(0, 65535)}});
        } else if (block.first == Registers::MappingFirst) {
            QVector<uint16_t> mapping = randomFloatWords(0.5, 2) + randomFloatWords(0.5, 1.5);
            mapping +=
                randomFloatWords(1e-4, 1) + randomFloatWords(100, 2000) + randomFloatWords(50, 300);
            writes.append({Registers::MappingFirst, mapping});
        } else {
            QVector<uint16_t> calibration;
            for (int reg = Registers::CalibrationFirst; reg <= Registers::CalibrationLast; ++reg)
                calibration << randomWord(0, 65535);
            const uint32_t date =
                uint32_t(std::uniform_int_distribution<uint32_t>(1577836800u, 0xFFFFFFFFu)(random));
            const QVector<uint16_t> dateWords = uint32ToWords(date);
            calibration[Registers::CalibrationDate - Registers::CalibrationFirst] = dateWords[0];
            calibration[Registers::CalibrationDate - Registers::CalibrationFirst + 1] =
                dateWords[1];
            writes.append({Registers::CalibrationFirst, calibration});
        }
        return writes;
    }

    void writeNext()
    {
        if (finished)
            return;
        static const Block blocks[] = {
            {"configuration", 0, Registers::InfoLast, DeviceCommand::CommitConfiguration},
            {"mapping", Registers::MappingFirst, Registers::MappingLast,
             DeviceCommand::CommitConfiguration},
            {"calibration", Registers::CalibrationFirst, Registers::CalibrationLast,
             DeviceCommand::CommitCalibration},
        };
        block = &blocks[counts.writes % 3];
        const QVector<RegisterWrite> data = randomWrites(*block);
        expected = data;
        const QVector<RegisterWrite> sequence = configurationWriteSequence(data, block->command);
        for (const RegisterWrite &write : sequence)
            link.writeRegisters(write.firstReg, write.data);
        link.readRegisters(block->first, block->last);
        counts.exchanges += sequence.size() + 1;
    }

    // An error whose reply came late was a stall; one whose reply never came, a failure.
    // Either way the link dropped the rest of the run, and the write is made again.
    void lateReplyEnded(bool replyCame)
    {
        awaitingLateReply = false;
        lateReplyDeadline.stop();
        if (replyCame)
            ++counts.stalled;
        else
            ++counts.errors;
        QTimer::singleShot(200, [this] { writeNext(); });
    }

    void replyReceived(const QVector<uint16_t> &words)
    {
        if (!connected || finished || awaitingLateReply || !block ||
            words.size() != block->last - block->first + 1)
            return;
        bool same = true;
        for (const RegisterWrite &write : expected)
            same =
                same && words.mid(write.firstReg - block->first, write.data.size()) == write.data;
        if (!same)
            ++counts.mismatches;
        ++counts.writes;
        ++counts.byBlock[block->name];
        if (counts.writes >= limit)
            finished = true;
        else
            QTimer::singleShot(0, [this] { writeNext(); });
    }

    SimProcess sim;
    Modbus link;
    QTimer retry;
    QTimer lateReplyDeadline;
    std::mt19937 random;
    int limit;
    bool connected = false;
    bool finished = false;
    bool awaitingLateReply = false;
    const Block *block = nullptr;
    QVector<RegisterWrite> expected;
    WriteFigures counts;
};

} // namespace

Figures run(const Options &options)
{
    Figures figures;
    std::vector<std::unique_ptr<PollLane>> pollLanes;
    std::vector<std::unique_ptr<WriteLane>> writeLanes;
    const QString share = QString::number(options.faultShare);
    const auto perLane = [](int total, int lanes, int lane) {
        return total / lanes + (lane < total % lanes ? 1 : 0);
    };
    for (int lane = 0; options.exchanges > 0 && lane < options.pollLanes; ++lane) {
        const QStringList faults = {"--seed",          QString::number(options.seed + lane),
                                    "--drop",          share,
                                    "--bad-crc",       share,
                                    "--split",         share,
                                    "--exception",     share,
                                    "--wrong-address", share,
                                    "--garbage",       share};
        pollLanes.push_back(std::make_unique<PollLane>(
            faults, perLane(options.exchanges, options.pollLanes, lane)));
        figures.started = figures.started && pollLanes.back()->start();
    }
    for (int lane = 0; options.writes > 0 && lane < options.writeLanes; ++lane) {
        writeLanes.push_back(std::make_unique<WriteLane>(
            options.seed + 1000 + lane, perLane(options.writes, options.writeLanes, lane)));
        figures.started = figures.started && writeLanes.back()->start();
    }

    QElapsedTimer clock;
    clock.start();
    const auto finished = [&] {
        if (options.seconds > 0 && clock.elapsed() >= options.seconds * 1000LL)
            return true;
        for (const auto &lane : pollLanes)
            if (!lane->done())
                return false;
        for (const auto &lane : writeLanes)
            if (!lane->done())
                return false;
        return true;
    };
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (finished())
            loop.quit();
    });
    check.start(100);
    if (figures.started)
        loop.exec();
    for (const auto &lane : pollLanes)
        lane->stop();
    for (const auto &lane : writeLanes)
        lane->stop();
    figures.seconds = clock.elapsed() / 1000.0;

    for (const auto &lane : pollLanes)
        figures.poll.add(lane->figures());
    for (const auto &lane : writeLanes)
        figures.write.add(lane->figures());
    return figures;
}

} // namespace Soak
