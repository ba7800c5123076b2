#include "headlessrecorder.h"

#include "systemstatetext.h"
#include "registermap.h"
#include "platformfile.h"
#include "processsignals.h"
#include "recordingfile.h"

#include <QStringList>

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString timeText(const QDateTime &time)
{
    return time.toString("yyyy-MM-dd HH:mm:ss.zzz");
}

} // namespace

HeadlessRecorder::HeadlessRecorder(const Options &options, QObject *parent)
    : QObject(parent), options(options),
      bus(options.addresses.size() > 1 || namesSerial(options.fileName)), out(stdout), err(stderr)
{
    for (uint8_t address : options.addresses) {
        sensors.push_back(std::make_unique<RecordedSensor>(address, options.fileName));
        connect(sensors.back().get(), &RecordedSensor::writeFailed, this,
                [this](const QString &error) {
                    err << "Error: " << error << Qt::endl;
                    finish(Failure);
                });
    }
    connect(&modbus, SIGNAL(deviceConnected()), this, SLOT(deviceConnected()));
    connect(&modbus, SIGNAL(replyReceived(QVector<uint16_t>)), this,
            SLOT(replyReceived(QVector<uint16_t>)));
    connect(&modbus, SIGNAL(showModbusError(QString)), this, SLOT(modbusError(QString)));
    connect(&modbus, SIGNAL(portOpenFailed(QString)), this, SLOT(portOpenFailed(QString)));
    connect(&modbus, &Modbus::linkStateChanged, this,
            [this](LinkState state) { lineStateChanged(state); });
    connect(&pollTimer, &QTimer::timeout, this, [this] {
        if (this->bus)
            busPeriod();
        else
            modbus.readRegisters(Registers::LiveFirst, Registers::LiveLast);
    });
    answerTimer.setSingleShot(true);
    answerTimer.setTimerType(Qt::PreciseTimer);
    connect(&answerTimer, &QTimer::timeout, this, &HeadlessRecorder::noAnswer);
    pollTimer.setTimerType(Qt::PreciseTimer);
    durationTimer.setSingleShot(true);
    durationTimer.setTimerType(Qt::PreciseTimer);
    connect(&durationTimer, &QTimer::timeout, this, &HeadlessRecorder::durationCheck);
    giveUpTimer.setSingleShot(true);
    giveUpTimer.setTimerType(Qt::PreciseTimer);
    connect(&giveUpTimer, &QTimer::timeout, this, &HeadlessRecorder::giveUp);
    lineReopenTimer.setSingleShot(true);
    connect(&lineReopenTimer, &QTimer::timeout, this, &HeadlessRecorder::reopenLine);
    autoReconnect = std::make_unique<AutoReconnect>(modbus);
    // On a line of several sensors each is retried on its own instead.
    autoReconnect->setEnabled(!bus);
    connect(autoReconnect.get(), &AutoReconnect::connectionLost, this,
            &HeadlessRecorder::outageBegan);
    connect(autoReconnect.get(), &AutoReconnect::reconnected, this, &HeadlessRecorder::outageEnded);

    processSignals = catchProcessSignals([this](ProcessSignal request) {
        if (request == ProcessSignal::Statistics)
            printStatistics();
        else
            finish(Success);
    });
}

HeadlessRecorder::~HeadlessRecorder() = default;

int HeadlessRecorder::run()
{
    const int code = bus ? runBus() : runOneSensor();
    if (code != 0)
        return code;
    if (exitCode != 0)
        return exitCode;
    return QCoreApplication::exec();
}

int HeadlessRecorder::runOneSensor()
{
    RecordedSensor &sensor = *sensors.front();
    QString error;
    if (!sensor.openFile(&error)) {
        err << error << Qt::endl;
        return BadStart;
    }
    out << "Recording from " << options.portName << " to " << sensor.path() << Qt::endl;
    answerTimer.start(5000);
    modbus.connectDevice(options.portName, options.baudrate, options.mode, options.address);
    return 0;
}

int HeadlessRecorder::runBus()
{
    // Every name that does not wait for a serial number is decided before the port opens.
    for (const std::unique_ptr<RecordedSensor> &sensor : sensors) {
        if (!sensor->fileNameKnown())
            continue;
        QString error;
        if (!sensor->openFile(&error)) {
            err << error << Qt::endl;
            for (const std::unique_ptr<RecordedSensor> &opened : sensors)
                opened->closeFile();
            return BadStart;
        }
    }
    out << "Recording from " << options.portName << " at address"
        << (sensors.size() > 1 ? "es " : " ") << addressList() << " to "
        << QDir::current().absoluteFilePath(options.fileName) << Qt::endl;
    busClock.start();
    schedule.emplace(int(sensors.size()), qint64(options.giveUpAfterSeconds) * 1000, 0);
    pollTimer.start(BusSchedule::periodMs);
    modbus.setResponseTimeout(BusSchedule::responseTimeoutMs(options.baudrate, options.mode));
    modbus.connectDevice(options.portName, options.baudrate, options.mode, options.address);
    return 0;
}

QString HeadlessRecorder::addressList() const
{
    QStringList addresses;
    for (const std::unique_ptr<RecordedSensor> &sensor : sensors)
        addresses.append(QString::number(sensor->address()));
    return addresses.join(", ");
}

QDateTime HeadlessRecorder::wallTime(qint64 busMs) const
{
    return QDateTime::currentDateTime().addMSecs(busMs - busClock.elapsed());
}

void HeadlessRecorder::deviceConnected()
{
    if (bus)
        return;
    answerTimer.stop();
    pollTimer.start(LivePollIntervalMs);
    startDuration();
}

void HeadlessRecorder::startDuration()
{
    const bool firstConnection = !everConnected;
    everConnected = true;
    if (firstConnection && options.durationSeconds > 0) {
        recordingEnd =
            QDeadlineTimer(qint64(std::ceil(options.durationSeconds * 1000)), Qt::PreciseTimer);
        durationCheck();
    }
}

void HeadlessRecorder::durationCheck()
{
    // A timer runs for at most about 24 days; longer recordings take several turns.
    const qint64 remaining = recordingEnd.remainingTime();
    if (remaining <= 0)
        finish(Success);
    else
        durationTimer.start(int(std::min<qint64>(remaining, std::numeric_limits<int>::max())));
}

void HeadlessRecorder::printIdentity(const RecordedSensor &sensor)
{
    if (bus)
        out << "Address " << sensor.address() << ": ";
    out << "Sensor " << sensor.serialText() << ", firmware "
        << formatDeviceDate(sensor.identity().firmwareDate) << Qt::endl;
}

void HeadlessRecorder::printSample(const RecordedSensor &sensor, const LiveSample &sample,
                                   bool withAddress)
{
    const LiveSample &values = sample;
    if (withAddress)
        out << "address " << sensor.address() << "  ";
    out << sample.timestamp.toString("yyyy-MM-dd HH:mm:ss.zzz") << "  frame " << values.frameNr
        << "  T " << number(values.T, 2) << " degC  rho " << number(values.rho, 1) << " kg/m3  nu "
        << number(values.nu, 3) << " cSt  eta " << number(values.eta, 3) << " mPas  "
        << systemStateText(values.systemState, false) << Qt::endl;
}

void HeadlessRecorder::replyReceived(QVector<uint16_t> data)
{
    if (bus) {
        busReply(data);
        // Asked now, it goes out as soon as the link has finished with this reply.
        sendNextRequest();
        return;
    }
    RecordedSensor &sensor = *sensors.front();
    if (data.size() == ReplyLength::Info) {
        sensor.takeIdentity(data);
        printIdentity(sensor);
        publish(0);
        return;
    }
    if (const std::optional<LiveSample> sample = sensor.takeSample(data))
        printSample(sensor, *sample, false);
}

void HeadlessRecorder::modbusError(QString error)
{
    if (error.isEmpty())
        return;
    ++errors;
    if (bus) {
        busError(error);
        return;
    }
    // Failed attempts to reconnect are not news; the outage is logged as a whole.
    if (autoReconnect->isWaiting())
        return;
    err << error << Qt::endl;
    if (everConnected)
        return;
    if (error.endsWith("connect failed")) {
        err << "Error: cannot open the serial port " << options.portName << Qt::endl;
        finish(Failure);
    } else if (error.endsWith("connection lost")) {
        finish(Failure);
    } else {
        // A probe spoiled on the line goes out again while the 5 s for an answer last;
        // connecting again also empties the line. Queued: the link is still reporting.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!everConnected && !finished)
                    modbus.connectDevice(options.portName, options.baudrate, options.mode,
                                         options.address);
            },
            Qt::QueuedConnection);
    }
}

void HeadlessRecorder::busReply(const QVector<uint16_t> &data)
{
    if (!inFlight || finished)
        return;
    const BusSchedule::Turn turn = *inFlight;
    inFlight.reset();
    RecordedSensor &sensor = *sensors[size_t(turn.sensor)];
    const qint64 now = busClock.elapsed();
    if (data.size() == ReplyLength::Info) {
        if (schedule->isRetired(turn.sensor))
            return;
        const bool wasLost = schedule->hasAnswered(turn.sensor) && !schedule->isPolled(turn.sensor);
        const qint64 lostSince = schedule->outageStart(turn.sensor);
        sensor.takeIdentity(data);
        printIdentity(sensor);
        // A sensor put in the place of another at this address gets a file of its own.
        if (sensor.isFileOpen() && sensor.path() != sensor.openedPath()) {
            const QString previous = sensor.openedPath();
            const int written = sensor.closeFile();
            out << "Address " << sensor.address() << ": another sensor answers; recorded "
                << written << " samples to " << previous << Qt::endl;
        }
        if (!sensor.isFileOpen()) {
            QString error;
            const QString path = sensor.path();
            for (const std::unique_ptr<RecordedSensor> &other : sensors) {
                if (other.get() != &sensor && other->isFileOpen() && other->path() == path)
                    error = QString("Error: addresses %1 and %2 would both record into %3")
                                .arg(other->address())
                                .arg(sensor.address())
                                .arg(path);
            }
            if (!error.isEmpty() || !sensor.openFile(&error)) {
                refusedFiles.insert(turn.sensor);
                retireSensor(turn.sensor, error);
                return;
            }
        }
        publish(turn.sensor);
        const BusSchedule::Outcome outcome = schedule->answered(turn, now);
        if (outcome == BusSchedule::Outcome::Found) {
            out << "Address " << sensor.address() << ": recording to " << sensor.path() << Qt::endl;
            startDuration();
        } else if (outcome == BusSchedule::Outcome::Back && wasLost) {
            const QDateTime from = wallTime(lostSince);
            const QDateTime to = QDateTime::currentDateTime();
            err << "Address " << sensor.address() << ": outage from " << timeText(from) << " to "
                << timeText(to) << ", " << number(from.msecsTo(to) / 1000.0, 1) << " s" << Qt::endl;
        }
        return;
    }
    schedule->answered(turn, now);
    if (const std::optional<LiveSample> sample = sensor.takeSample(data))
        printSample(sensor, *sample, true);
}

void HeadlessRecorder::busError(const QString &error)
{
    if (finished)
        return;
    const qint64 now = busClock.elapsed();
    if (error.endsWith("connect failed")) {
        lineOpen = false;
        inFlight.reset();
        if (!everConnected) {
            err << error << Qt::endl
                << "Error: cannot open the serial port " << options.portName << Qt::endl;
            finish(Failure);
            return;
        }
        lineReopenTimer.start(linePolicy.nextPauseMs());
        return;
    }
    if (error.endsWith("connection lost")) {
        lineOpen = false;
        inFlight.reset();
        err << "Connection lost at " << timeText(QDateTime::currentDateTime())
            << "; reopening the port" << Qt::endl;
        if (!everConnected) {
            finish(Failure);
            return;
        }
        for (int index : schedule->lineLost(now))
            err << "Address " << sensors[size_t(index)]->address() << ": lost with the port"
                << Qt::endl;
        lineReopenTimer.start(linePolicy.nextPauseMs());
        return;
    }
    if (!inFlight)
        return;
    const BusSchedule::Turn turn = *inFlight;
    inFlight.reset();
    const uint8_t address = sensors[size_t(turn.sensor)]->address();
    // Spoiled replies and single time-outs of a sensor that records are not news; a
    // sensor that does not answer is reported once and then retried quietly.
    if (schedule->isPolled(turn.sensor))
        err << "Address " << address << ": " << error << Qt::endl;
    switch (schedule->failed(turn, error.endsWith("timeout"), now)) {
    case BusSchedule::Outcome::Lost:
        err << "Address " << address << ": no answer since " << timeText(wallTime(now))
            << "; retrying on its own" << Qt::endl;
        break;
    case BusSchedule::Outcome::Missing:
        err << "Address " << address << ": no answer from a sensor; retrying on its own"
            << Qt::endl;
        break;
    default:
        break;
    }
    // Queued: the link is still reporting the error.
    QMetaObject::invokeMethod(this, &HeadlessRecorder::sendNextRequest, Qt::QueuedConnection);
}

void HeadlessRecorder::lineStateChanged(LinkState state)
{
    // On every opening the link probes the first address itself: that is its turn.
    if (!bus || state != LinkState::Connecting)
        return;
    lineOpen = true;
    linePolicy.reconnected();
    inFlight = BusSchedule::Turn{0, BusSchedule::Request::Probe};
}

void HeadlessRecorder::reopenLine()
{
    if (!finished)
        modbus.reconnectDevice();
}

void HeadlessRecorder::busPeriod()
{
    const qint64 now = busClock.elapsed();
    if (!everConnected && schedule->noneAnswers(now)) {
        err << "Error: no answer from a sensor at address" << (sensors.size() > 1 ? "es " : " ")
            << addressList() << " on " << options.portName << Qt::endl;
        finish(Failure);
        return;
    }
    for (int index : schedule->giveUp(now)) {
        const QDateTime since = wallTime(schedule->outageStart(index));
        err << "Error: no answer from the sensor at address " << sensors[size_t(index)]->address()
            << " since " << timeText(since) << " (" << options.giveUpAfterSeconds
            << " s); giving up on it" << Qt::endl;
        sensors[size_t(index)]->closeFile();
        anyGivenUp = true;
    }
    if (schedule->allRetired()) {
        finish(anyGivenUp ? GaveUp : BadStart);
        return;
    }
    schedule->startPeriod();
    sendNextRequest();
}

void HeadlessRecorder::sendNextRequest()
{
    if (finished || inFlight || !lineOpen)
        return;
    inFlight = schedule->next(busClock.elapsed());
    if (!inFlight)
        return;
    const uint8_t address = sensors[size_t(inFlight->sensor)]->address();
    if (inFlight->request == BusSchedule::Request::Probe)
        modbus.readRegistersAt(address, 0, Registers::InfoLast);
    else
        modbus.readRegistersAt(address, Registers::LiveFirst, Registers::LiveLast);
}

void HeadlessRecorder::retireSensor(int index, const QString &why)
{
    err << why << "; not recording address " << sensors[size_t(index)]->address() << Qt::endl;
    schedule->retire(index);
    if (schedule->allRetired())
        finish(anyGivenUp ? GaveUp : BadStart);
}

void HeadlessRecorder::portOpenFailed(QString reason)
{
    if (bus ? everConnected : autoReconnect->isWaiting())
        return;
    err << reason << Qt::endl;
}

void HeadlessRecorder::outageBegan()
{
    outageStart = QDateTime::currentDateTime();
    pollTimer.stop();
    err << "Connection lost at " << timeText(outageStart) << "; reconnecting" << Qt::endl;
    if (options.giveUpAfterSeconds > 0)
        giveUpTimer.start(options.giveUpAfterSeconds * 1000);
}

void HeadlessRecorder::outageEnded()
{
    giveUpTimer.stop();
    const QDateTime end = QDateTime::currentDateTime();
    err << "Outage from " << timeText(outageStart) << " to " << timeText(end) << ", "
        << number(outageStart.msecsTo(end) / 1000.0, 1) << " s" << Qt::endl;
}

void HeadlessRecorder::giveUp()
{
    err << "Error: no connection to the sensor since " << timeText(outageStart) << " ("
        << options.giveUpAfterSeconds << " s); giving up" << Qt::endl;
    finish(GaveUp);
}

void HeadlessRecorder::noAnswer()
{
    err << "Error: no answer from a sensor at address " << options.address << " on "
        << options.portName << " within 5 s" << Qt::endl;
    finish(Failure);
}

void HeadlessRecorder::printStatistics()
{
    for (const QString &line : modbus.statistics().summary())
        out << "Link: " << line << Qt::endl;
}

void HeadlessRecorder::finish(int code)
{
    if (finished)
        return;
    finished = true;
    pollTimer.stop();
    answerTimer.stop();
    durationTimer.stop();
    autoReconnect->stop();
    giveUpTimer.stop();
    lineReopenTimer.stop();
    std::vector<int> written;
    for (const std::unique_ptr<RecordedSensor> &sensor : sensors)
        written.push_back(sensor->closeFile());
    modbus.disconnectDevice(true);
    if (code == Success || everConnected) {
        if (!bus) {
            out << "Recorded " << written.front() << " samples to " << sensors.front()->path()
                << ", " << errors << " Modbus errors" << Qt::endl;
        } else {
            int total = 0;
            for (size_t index = 0; index < sensors.size(); ++index) {
                const RecordedSensor &sensor = *sensors[index];
                total += written[index];
                out << "Address " << sensor.address();
                if (sensor.hasIdentity())
                    out << " (sensor " << sensor.serialText() << ")";
                if (refusedFiles.contains(int(index)))
                    out << ", file refused";
                else if (schedule->isRetired(int(index)))
                    out << ", given up";
                if (written[index] > 0)
                    out << ": recorded " << written[index] << " samples to " << sensor.path();
                else
                    out << ": nothing recorded";
                out << Qt::endl;
            }
            out << "Recorded " << total << " samples from " << sensors.size() << " sensors, "
                << errors << " Modbus errors" << Qt::endl;
        }
        printStatistics();
    }
    exitCode = code;
    exitWhenPublished(code);
}

void HeadlessRecorder::publish(int index)
{
    const RecordedSensor &sensor = *sensors[size_t(index)];
    if (!options.mqtt || !sensor.isFileOpen())
        return;
    for (const std::unique_ptr<MqttPublisher> &publisher : publishers) {
        if (publisher->filePath() == sensor.openedPath())
            return;
    }
    auto publisher = std::make_unique<MqttPublisher>(*options.mqtt, sensor.identity(),
                                                     sensor.openedPath(), sensor.openedLength());
    connect(&sensor, &RecordedSensor::linesWritten, publisher.get(), &MqttPublisher::fileGrew);
    connect(publisher.get(), &MqttPublisher::report, this, [this, &sensor](const QString &line) {
        if (bus)
            err << "Address " << sensor.address() << ": ";
        err << line << Qt::endl;
    });
    publisher->rememberPosition();
    publisher->start();
    publishers.push_back(std::move(publisher));
}

// The files are closed: the publishers send what is left and "offline" first.
void HeadlessRecorder::exitWhenPublished(int code)
{
    auto open = std::make_shared<int>(int(publishers.size()));
    if (*open == 0) {
        QCoreApplication::exit(code);
        return;
    }
    for (const std::unique_ptr<MqttPublisher> &publisher : publishers) {
        MqttPublisher *source = publisher.get();
        connect(source, &MqttPublisher::closed, this, [this, code, open, source] {
            out << "MQTT: " << source->samplesAcknowledged() << " samples of "
                << source->serialText() << " acknowledged by the broker" << Qt::endl;
            if (--*open == 0)
                QCoreApplication::exit(code);
        });
        source->close();
    }
}
