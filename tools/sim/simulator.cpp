#include "simulator.h"

#include "gatewayframe.h"
#include "liveencoding.h"
#include "requestframe.h"

#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

volatile sig_atomic_t stopSignal = 0;

void onStopSignal(int signal)
{
    stopSignal = signal;
}

volatile sig_atomic_t silenceSignal = 0;

void onSilenceSignal(int signal)
{
    silenceSignal = signal;
}

constexpr int CalibrationFirst = 96;
constexpr int CalibrationLast = 148;
constexpr int CalibrationImageBytes = 406;
constexpr uint8_t ServerDeviceFailure = MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE;
// A peer that closed its port is looked for again this often.
constexpr auto HangUpRecheck = std::chrono::milliseconds(20);

uint64_t chooseSeed(const SimOptions &options)
{
    if (options.seedGiven)
        return options.seed;
    std::random_device device;
    return uint64_t(device()) << 32 | device();
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

QString hex(const uint8_t *bytes, int length)
{
    return hex(QByteArray(reinterpret_cast<const char *>(bytes), length));
}

} // namespace

Simulator::Simulator(const SimOptions &options)
    : options(options), seed(chooseSeed(options)), faults(options.faults, seed)
{
    status.address = options.address;
    status.line = options.line;
    for (int index = 0; index < options.addresses.size(); ++index) {
        ServedSensor &sensor = sensors.emplace_back(options, index, seed);
        if (options.ignoreWritesFirst >= 0)
            sensor.registers.ignoreWrites(options.ignoreWritesFirst, options.ignoreWritesLast);
    }
}

Simulator::~Simulator()
{
    if (receiver)
        modbus_free(receiver);
    if (replier)
        modbus_free(replier);
    if (mapping)
        modbus_mapping_free(mapping);
    for (int fd : replyPipe) {
        if (fd >= 0)
            ::close(fd);
    }
    removeLink();
}

void Simulator::log(const QString &text) const
{
    std::fprintf(stderr, "quva-sim: %s\n", text.toLocal8Bit().constData());
}

void Simulator::verbose(const QString &text) const
{
    if (options.verbose)
        log(text);
}

bool Simulator::loadCalibrationFile(QString *error)
{
    QFile file(options.calibrationFile);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the calibration file %1: %2")
                     .arg(options.calibrationFile, file.errorString());
        return false;
    }
    const QByteArray image = file.read(CalibrationImageBytes);
    if (image.size() < CalibrationImageBytes) {
        *error = QStringLiteral("calibration file %1: %2 bytes, expected %3")
                     .arg(options.calibrationFile)
                     .arg(image.size())
                     .arg(CalibrationImageBytes);
        return false;
    }
    QVector<uint16_t> words;
    for (int reg = CalibrationFirst; reg <= CalibrationLast; ++reg)
        words.append(uint16_t(uint8_t(image[2 * reg]) | uint8_t(image[2 * reg + 1]) << 8));
    for (ServedSensor &sensor : sensors)
        sensor.registers.setCalibrationBlock(words);
    return true;
}

bool Simulator::createLink(QString *error)
{
    const QByteArray link = options.link.toLocal8Bit();
    struct stat info = {};
    if (lstat(link.constData(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            *error = QStringLiteral("%1 exists and is not a symbolic link").arg(options.link);
            return false;
        }
        ::unlink(link.constData());
    }
    if (::symlink(line.portName().toLocal8Bit().constData(), link.constData()) != 0) {
        *error = QStringLiteral("cannot create the link %1: %2")
                     .arg(options.link, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    linkCreated = true;
    return true;
}

void Simulator::removeLink()
{
    if (!linkCreated)
        return;
    // Only our own link: another simulator may have taken the name since.
    const QByteArray link = options.link.toLocal8Bit();
    char target[256];
    const ssize_t length = ::readlink(link.constData(), target, sizeof target - 1);
    if (length > 0 && QString::fromLocal8Bit(target, int(length)) == line.portName())
        ::unlink(link.constData());
    linkCreated = false;
}

bool Simulator::createModbusContexts(QString *error)
{
    if (pipe2(replyPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = QStringLiteral("cannot create a pipe");
        return false;
    }
    // Neither context opens a device: each gets a descriptor of ours.
    replier = modbus_new_rtu("/dev/null", 19200, 'N', 8, 1);
    mapping = modbus_mapping_new(0, 0, SensorRegisters::Count, 0);
    if (!replier || !mapping) {
        *error = QStringLiteral("cannot create the libmodbus context");
        return false;
    }
    modbus_set_socket(replier, replyPipe[1]);
    // libmodbus waits this long before flushing after some exception replies;
    // there is nothing to flush in the pipe.
    modbus_set_response_timeout(replier, 0, 1);
    resetReceiver();
    if (!receiver) {
        *error = QStringLiteral("cannot create the libmodbus context");
        return false;
    }
    return true;
}

void Simulator::resetReceiver()
{
    // After a request for another address libmodbus expects that slave's reply
    // and would swallow the next request as that reply; on this line no other
    // slave answers, so the context starts afresh instead.
    if (receiver)
        modbus_free(receiver);
    receiver = modbus_new_rtu("/dev/null", 19200, 'N', 8, 1);
    if (!receiver)
        return;
    modbus_set_slave(receiver, status.address);
    modbus_set_socket(receiver, lineFd());
    // A request may come in pieces; a pause this long ends it unfinished.
    modbus_set_byte_timeout(receiver, 0, 500000);
    modbus_set_indication_timeout(receiver, 0, 500000);
}

bool Simulator::setUp(QString *error)
{
    if (!options.calibrationFile.isEmpty() && !loadCalibrationFile(error))
        return false;
    if (overNetwork()) {
        if (!network.listen(options.tcpPort, error))
            return false;
    } else if (options.device.isEmpty() ? !line.openPseudoTerminal(status.line, error)
                                        : !line.openDevice(options.device, status.line, error)) {
        return false;
    }
    if (!createModbusContexts(error))
        return false;
    if (!options.framesLog.isEmpty()) {
        framesLog.setFileName(options.framesLog);
        if (!framesLog.open(QIODevice::WriteOnly | QIODevice::Append)) {
            *error = QStringLiteral("cannot open the frames log %1: %2")
                         .arg(options.framesLog, framesLog.errorString());
            return false;
        }
    }
    return options.link.isEmpty() || createLink(error);
}

int Simulator::run()
{
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // The stop signals get through only while the loop waits in ppoll(), so that
    // nothing is left half done; a signal during the set-up waits for the loop.
    sigset_t stopSignals;
    sigset_t waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    // Without --silence-on-signal, SIGUSR1 and SIGUSR2 keep their default action.
    if (options.silencedBySignal != 0) {
        action.sa_handler = onSilenceSignal;
        sigaction(SIGUSR1, &action, nullptr);
        sigaction(SIGUSR2, &action, nullptr);
        sigaddset(&stopSignals, SIGUSR1);
        sigaddset(&stopSignals, SIGUSR2);
    }
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    if (options.silencedBySignal != 0) {
        sigdelset(&waitMask, SIGUSR1);
        sigdelset(&waitMask, SIGUSR2);
    }

    QString error;
    if (!setUp(&error)) {
        log(error);
        return 1;
    }

    // The first measurement and the state file are there before the port is named.
    nextFrameAt = Clock::now();
    produceFrames(nextFrameAt);
    writeState();
    log(QStringLiteral("address %1, %2, firmware %3, seed %4")
            .arg(status.address)
            .arg(status.line.describe())
            .arg(options.firmwareDate.toUTC().toString(Qt::ISODate))
            .arg(seed));
    for (auto sensor = sensors.begin() + 1; sensor != sensors.end(); ++sensor)
        log(QStringLiteral("address %1, serial %2, seed %3")
                .arg(sensor->address)
                .arg(QString::number(options.serialNumber +
                                         options.serialStep * uint32_t(sensor - sensors.begin()),
                                     16)
                         .toUpper()
                         .rightJustified(8, QLatin1Char('0')))
                .arg(sensor->seed));
    std::printf("port: %s\n", portText().toLocal8Bit().constData());
    std::fflush(stdout);

    // An orphan is adopted by another process; a test that died leaves no sensor behind.
    const pid_t parent = getppid();
    while (!stopSignal) {
        if (options.exitWithParent && getppid() != parent) {
            log(QStringLiteral("the process that started it has ended"));
            break;
        }
        if (silenceSignal) {
            setSilenced(silenceSignal == SIGUSR1);
            silenceSignal = 0;
        }
        Clock::time_point now = Clock::now();
        produceFrames(now);
        if (status.rebooting && now >= rebootEndsAt)
            finishReboot();
        sendDueBytes(now);

        const bool watchLine = !hungUp || now >= lineWatchedAgainAt;
        const auto wait = std::max(nextDeadline(now) - now, Clock::duration::zero());
        const auto waitNs = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
        const timespec timeout{time_t(waitNs / 1000000000), long(waitNs % 1000000000)};
        if (overNetwork()) {
            pollfd descriptors[2] = {{network.listenFd(), POLLIN, 0},
                                     {network.clientFd(), POLLIN, 0}};
            const nfds_t count = network.clientFd() >= 0 ? 2 : 1;
            if (ppoll(descriptors, count, &timeout, &waitMask) < 0)
                continue;
            now = Clock::now();
            // The connection first: a new one would take its place.
            if (count == 2 && descriptors[1].revents & POLLIN)
                handleInput(now);
            else if (count == 2 && descriptors[1].revents & (POLLHUP | POLLERR))
                clientGone(now);
            if (descriptors[0].revents & POLLIN)
                acceptConnection(now);
            continue;
        }
        pollfd descriptor{line.fd(), POLLIN, 0};
        if (ppoll(&descriptor, watchLine ? 1 : 0, &timeout, &waitMask) < 0 || !watchLine)
            continue;

        now = Clock::now();
        if (descriptor.revents & POLLIN) {
            hungUp = false;
            handleInput(now);
        } else if (descriptor.revents & (POLLHUP | POLLERR)) {
            lineHungUp(now);
        } else {
            hungUp = false;
        }
    }

    if (stopSignal)
        log(QStringLiteral("stopped by signal %1").arg(int(stopSignal)));
    writeState();
    removeLink();
    return 0;
}

void Simulator::setSilenced(bool silenced)
{
    for (ServedSensor &sensor : sensors) {
        if (sensor.address == options.silencedBySignal && sensor.silenced != silenced) {
            sensor.silenced = silenced;
            log(QStringLiteral("address %1 %2")
                    .arg(sensor.address)
                    .arg(silenced ? QStringLiteral("silenced") : QStringLiteral("answers again")));
        }
    }
}

Simulator::Clock::time_point Simulator::nextDeadline(Clock::time_point now) const
{
    Clock::time_point deadline = nextFrameAt;
    if (status.rebooting)
        deadline = std::min(deadline, rebootEndsAt);
    if (!output.empty()) {
        const Outgoing &head = output.front();
        deadline = std::min(deadline, head.started ? head.nextAt : head.startAt);
    }
    if (hungUp)
        deadline = std::min(deadline, std::max(lineWatchedAgainAt, now));
    return deadline;
}

void Simulator::produceFrames(Clock::time_point now)
{
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / options.rate));
    // After a long stall (a suspended process) the sensor does not catch up.
    if (now - nextFrameAt > std::chrono::seconds(1))
        nextFrameAt = now;
    while (now >= nextFrameAt) {
        nextFrameAt += period;
        for (ServedSensor &sensor : sensors) {
            ++sensor.frameNr;
            ++sensor.measurements;
            // Measurement time, not wall time: a seed and a rate repeat the series.
            const Measurement measurement =
                sensor.model.measure((sensor.measurements - 1) / options.rate);
            const LiveFrame frame =
                encodeLiveFrame(sensor.frameNr, measurement, options.firmwareDate,
                                sensor.registers.mappingK(), sensor.registers.mappingAlpha());
            sensor.registers.setLiveBlock(frame.words);
            ++counters.frames;
            if (framesLog.isOpen()) {
                framesLog.write(frameLogLine(frame, QDateTime::currentDateTimeUtc()));
                framesLog.flush();
            }
        }
    }
}

QString Simulator::portText() const
{
    switch (options.network) {
    case SimNetwork::RtuOverTcp:
        return QStringLiteral("tcp://127.0.0.1:%1").arg(network.port());
    case SimNetwork::ModbusTcp:
        return QStringLiteral("mbtcp://127.0.0.1:%1").arg(network.port());
    case SimNetwork::None:
        break;
    }
    return line.portName();
}

void Simulator::acceptConnection(Clock::time_point now)
{
    if (!network.acceptClient())
        return;
    verbose(QStringLiteral("connection accepted"));
    // What was on its way to the connection before is lost with it.
    gatewayInput.clear();
    dropOutput(now);
    resetReceiver();
}

void Simulator::clientGone(Clock::time_point now)
{
    verbose(QStringLiteral("the connection was closed"));
    network.closeClient();
    gatewayInput.clear();
    dropOutput(now);
}

bool Simulator::readClient(Clock::time_point now)
{
    char buffer[512];
    for (;;) {
        const ssize_t count = ::read(network.clientFd(), buffer, sizeof buffer);
        if (count > 0) {
            gatewayInput.append(buffer, int(count));
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return true;
        clientGone(now);
        return false;
    }
}

void Simulator::handleGatewayInput(Clock::time_point now)
{
    GatewayRequest request;
    for (;;) {
        const GatewayTake take = takeGatewayRequest(gatewayInput, &request);
        if (take == GatewayTake::Incomplete)
            break;
        if (take == GatewayTake::Malformed) {
            ++counters.invalidRequests;
            verbose(QStringLiteral("invalid MBAP header"));
            break;
        }
        const auto *rtu = reinterpret_cast<const uint8_t *>(request.rtu.constData());
        const int length = request.rtu.size();
        if (length < 8 || requestLength(rtu) != length) {
            ++counters.invalidRequests;
            verbose(QStringLiteral("invalid request: %1").arg(hex(request.rtu)));
            continue;
        }
        // Unit 0 is the first sensor's broadcast, as on the line.
        const auto found = std::find_if(sensors.begin(), sensors.end(), [&](const ServedSensor &s) {
            return rtu[0] == MODBUS_BROADCAST_ADDRESS ? &s == &sensors.front()
                                                      : s.address == rtu[0];
        });
        if (found == sensors.end() || found->silenced) {
            ++counters.ignoredOtherAddress;
            verbose(QStringLiteral("request for another unit ignored"));
            continue;
        }
        gatewayTransaction = request.transaction;
        handleRequest(*found, rtu, length, now);
        gatewayTransaction = -1;
    }
    writeState();
}

void Simulator::handleInput(Clock::time_point now)
{
    if (overNetwork() && status.rebooting) {
        if (readClient(now) && !gatewayInput.isEmpty())
            ++counters.ignoredRebooting;
        gatewayInput.clear();
        return;
    }
    if (options.network == SimNetwork::ModbusTcp) {
        if (readClient(now))
            handleGatewayInput(now);
        return;
    }
    if (status.rebooting) {
        if (line.drainInput() > 0)
            ++counters.ignoredRebooting;
        return;
    }
    QString peerBaudrate;
    // Behind a device server the line's settings are the server's to match.
    if (!options.anyLineSettings && !overNetwork() &&
        !line.peerMatches(status.line, &peerBaudrate)) {
        // What a real sensor hears at another baud rate is noise.
        const QString complaint = QStringLiteral("ignoring requests: the port is set to %1, "
                                                 "the sensor talks %2")
                                      .arg(peerBaudrate, status.line.describe());
        if (complaint != lineComplaint)
            log(complaint);
        lineComplaint = complaint;
        if (line.drainInput() > 0)
            ++counters.ignoredLineSettings;
        writeState();
        return;
    }
    lineComplaint.clear();

    uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
    const int length = modbus_receive(receiver, request);
    int otherLength = 0;
    ServedSensor *other = length == 0 ? otherServedSensor(request, &otherLength) : nullptr;
    // A silenced sensor is as absent as one at an address nobody serves.
    if (length > 0 && !sensors.front().silenced) {
        handleRequest(sensors.front(), request, length, Clock::now());
    } else if (other && !other->silenced) {
        handleRequest(*other, request, otherLength, Clock::now());
        resetReceiver();
    } else if (length >= 0) {
        ++counters.ignoredOtherAddress;
        verbose(QStringLiteral("request for another address ignored"));
        resetReceiver();
    } else if (errno == EIO) {
        lineHungUp(now);
        return;
    } else if (overNetwork() && (errno == ECONNRESET || errno == EBADF)) {
        clientGone(now);
        return;
    } else {
        ++counters.invalidRequests;
        verbose(QStringLiteral("invalid request: %1")
                    .arg(QString::fromLocal8Bit(modbus_strerror(errno))));
    }
    writeState();
}

ServedSensor *Simulator::otherServedSensor(const uint8_t *request, int *length)
{
    // The receiver filters on the first address; a request it passed over for another
    // address lies whole in the buffer, as long as its function code says.
    const auto found = std::find_if(sensors.begin() + 1, sensors.end(),
                                    [&](const ServedSensor &s) { return s.address == request[0]; });
    if (found == sensors.end())
        return nullptr;
    *length = requestLength(request);
    if (*length <= 0 || !hasValidCrc(request, *length)) {
        ++counters.invalidRequests;
        return nullptr;
    }
    return &*found;
}

void Simulator::handleRequest(ServedSensor &sensor, const uint8_t *request, int length,
                              Clock::time_point now)
{
    ++counters.requests;
    verbose(QStringLiteral("request %1").arg(hex(request, length)));
    const FaultPlan plan = faults.next();
    if (plan.drop) {
        ++counters.injectedDrop;
        verbose(QStringLiteral("injected: request dropped"));
        return;
    }

    bool reboot = false;
    QByteArray reply;
    if (plan.exception) {
        ++counters.injectedException;
        verbose(QStringLiteral("injected: exception reply"));
        reply = exceptionReply(request, ServerDeviceFailure);
    } else {
        reply = answer(sensor, request, length, &reboot);
    }
    // A broadcast is carried out but never answered.
    const bool broadcast = request[0] == MODBUS_BROADCAST_ADDRESS;
    if (broadcast || reply.isEmpty()) {
        if (reboot)
            startReboot(sensor, now);
        return;
    }

    Outgoing outgoing;
    outgoing.rebootAfter = reboot ? &sensor : nullptr;
    outgoing.startAt = now + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double, std::milli>(options.turnaroundMs));
    if (gatewayTransaction >= 0) {
        // A gateway passes the reply on once its serial side has received all of it.
        outgoing.transmission =
            faults.corruptMbap(gatewayReply(reply, uint16_t(gatewayTransaction)), plan);
        outgoing.startAt +=
            std::chrono::duration_cast<Clock::duration>(status.line.characterTime() * reply.size());
    } else {
        outgoing.transmission = faults.corrupt(reply, plan);
    }
    counters.injectedBadCrc += plan.badCrc;
    counters.injectedWrongAddress += plan.wrongAddress;
    counters.injectedGarbage += plan.garbage;
    counters.injectedSplit += outgoing.transmission.splitAt >= 0;
    ++counters.replies;
    verbose(QStringLiteral("reply %1%2%3%4%5")
                .arg(hex(outgoing.transmission.bytes))
                .arg(QLatin1String(plan.badCrc ? " (bad CRC)" : ""))
                .arg(QLatin1String(plan.wrongAddress ? " (wrong address)" : ""))
                .arg(QLatin1String(plan.garbage ? " (garbage first)" : ""))
                .arg(QLatin1String(plan.split ? " (split)" : "")));
    output.push_back(outgoing);
}

QByteArray Simulator::answer(ServedSensor &sensor, const uint8_t *request, int length, bool *reboot)
{
    const uint8_t function = request[1];
    if (function != MODBUS_FC_READ_HOLDING_REGISTERS &&
        function != MODBUS_FC_WRITE_SINGLE_REGISTER &&
        function != MODBUS_FC_WRITE_MULTIPLE_REGISTERS) {
        ++counters.exceptions;
        return exceptionReply(request, MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
    }

    // libmodbus checks quantities and ranges and builds the reply from a scratch
    // copy of the registers; the sensor's own rules then decide about writes.
    SensorRegisters &registers = sensor.registers;
    std::copy(registers.registers().begin(), registers.registers().end(), mapping->tab_registers);
    modbus_reply(replier, request, length, mapping);
    const QByteArray reply = takeReply();
    if (reply.size() < 2 || uint8_t(reply[1]) & 0x80) {
        ++counters.exceptions;
        return reply;
    }
    if (function == MODBUS_FC_READ_HOLDING_REGISTERS)
        return reply;

    const int firstReg = request[2] << 8 | request[3];
    const int count =
        function == MODBUS_FC_WRITE_SINGLE_REGISTER ? 1 : request[4] << 8 | request[5];
    const QVector<uint16_t> words(mapping->tab_registers + firstReg,
                                  mapping->tab_registers + firstReg + count);
    const bool wasUnlocked = registers.isUnlocked();
    const SensorRegisters::WriteResult result = registers.write(firstReg, words);
    if (result.exception != SensorRegisters::None) {
        ++counters.exceptions;
        log(QStringLiteral("write of %1 register(s) from %2 rejected (%3)")
                .arg(count)
                .arg(firstReg)
                .arg(result.exception == SensorRegisters::IllegalDataAddress
                         ? QStringLiteral("illegal data address")
                         : QStringLiteral("illegal data value")));
        return exceptionReply(request, result.exception);
    }
    if (registers.isUnlocked() != wasUnlocked)
        log(registers.isUnlocked() ? QStringLiteral("unlocked") : QStringLiteral("locked"));
    if (result.configurationCommitted)
        log(QStringLiteral("configuration and mapping committed"));
    if (result.calibrationCommitted)
        log(QStringLiteral("calibration block committed"));
    *reboot = result.reboot;
    return reply;
}

QByteArray Simulator::exceptionReply(const uint8_t *request, int exceptionCode)
{
    modbus_reply_exception(replier, request, unsigned(exceptionCode));
    return takeReply();
}

QByteArray Simulator::takeReply()
{
    QByteArray reply;
    char buffer[MODBUS_RTU_MAX_ADU_LENGTH];
    ssize_t count;
    while ((count = ::read(replyPipe[0], buffer, sizeof buffer)) > 0)
        reply.append(buffer, int(count));
    return reply;
}

void Simulator::sendDueBytes(Clock::time_point now)
{
    // A gateway sends a reply whole; a serial line or a device server byte by byte.
    const auto characterTime =
        options.network == SimNetwork::ModbusTcp
            ? Clock::duration::zero()
            : std::chrono::duration_cast<Clock::duration>(status.line.characterTime());
    if (lineFd() < 0) {
        output.clear();
        return;
    }
    const auto splitPause = std::chrono::milliseconds(options.faults.splitPauseMs);
    while (!output.empty()) {
        Outgoing &head = output.front();
        if (!head.started) {
            if (now < head.startAt)
                return;
            head.started = true;
            head.nextAt = now;
        }
        const QByteArray &bytes = head.transmission.bytes;
        QByteArray due;
        while (head.sent + due.size() < bytes.size() && head.nextAt <= now) {
            due.append(bytes[head.sent + due.size()]);
            head.nextAt += characterTime;
            if (head.sent + due.size() == head.transmission.splitAt)
                head.nextAt += splitPause;
        }
        if (!due.isEmpty()) {
            const ssize_t written = ::write(lineFd(), due.constData(), size_t(due.size()));
            if (written != due.size()) {
                // Nobody reads the port, or it is gone: the rest of this reply is lost.
                if (written < 0 && errno == EIO) {
                    lineHungUp(now);
                    return;
                }
                if (written < 0 && overNetwork() && (errno == EPIPE || errno == ECONNRESET)) {
                    clientGone(now);
                    return;
                }
                verbose(QStringLiteral("reply cut short: the port does not take more bytes"));
                head.sent = bytes.size();
            } else {
                head.sent += int(written);
            }
        }
        if (head.sent < bytes.size())
            return;
        ServedSensor *reboot = head.rebootAfter;
        output.pop_front();
        if (reboot)
            startReboot(*reboot, now);
    }
}

void Simulator::lineHungUp(Clock::time_point now)
{
    lineWatchedAgainAt = now + HangUpRecheck;
    if (hungUp)
        return;
    hungUp = true;
    verbose(QStringLiteral("the port was closed"));
    dropOutput(now);
    line.discardUnreadOutput();
}

void Simulator::dropOutput(Clock::time_point now)
{
    // A reboot that was only waiting for its acknowledgement still happens.
    const auto reboot = std::find_if(output.begin(), output.end(),
                                     [](const Outgoing &outgoing) { return outgoing.rebootAfter; });
    ServedSensor *rebooted = reboot == output.end() ? nullptr : reboot->rebootAfter;
    output.clear();
    if (rebooted)
        startReboot(*rebooted, now);
}

void Simulator::startReboot(ServedSensor &sensor, Clock::time_point now)
{
    output.clear();
    rebootingSensor = &sensor;
    status.rebooting = true;
    rebootEndsAt = now + std::chrono::milliseconds(options.rebootMs);
    ++counters.reboots;
    log(QStringLiteral("rebooting for %1 ms").arg(options.rebootMs));
    writeState();
}

void Simulator::finishReboot()
{
    ServedSensor &sensor = *rebootingSensor;
    sensor.registers.reboot();
    sensor.address = sensor.registers.committedAddress();
    status.rebooting = false;
    // The line's settings and the state file follow the first sensor.
    if (&sensor == &sensors.front()) {
        status.address = sensor.address;
        status.line = sensor.registers.committedLine();
    }
    resetReceiver();
    // A device is ours to set; a pseudo-terminal's settings belong to the peer,
    // which has to follow the sensor as over a real line.
    QString error;
    if (!overNetwork() && !line.isPseudoTerminal() && !line.configure(status.line, &error))
        log(error);
    log(QStringLiteral("rebooted: address %1, %2").arg(sensor.address).arg(status.line.describe()));
    writeState();
}

void Simulator::writeState()
{
    if (options.stateFile.isEmpty())
        return;
    // QSaveFile writes a temporary file and renames it: readers never see half a file.
    QSaveFile file(options.stateFile);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(stateDocument(sensors.front().registers, status, counters)) < 0 ||
        !file.commit())
        log(QStringLiteral("cannot write the state file %1: %2")
                .arg(options.stateFile, file.errorString()));
}
