#include "busrecorder.h"

#include "registermap.h"

#include <QDir>
#include <QStringList>

BusRecorder::BusRecorder(const RecorderOptions &options, QObject *parent)
    : RecorderCore(options, true, parent)
{
    connect(&modbus, &Modbus::replyReceived, this, &BusRecorder::replyReceived);
    connect(&modbus, &Modbus::portOpenFailed, this, &BusRecorder::portOpenFailed);
    connect(&modbus, &Modbus::linkStateChanged, this,
            [this](LinkState state) { lineStateChanged(state); });
    connect(&pollTimer, &QTimer::timeout, this, &BusRecorder::period);
    pollTimer.setTimerType(Qt::PreciseTimer);
    lineReopenTimer.setSingleShot(true);
    connect(&lineReopenTimer, &QTimer::timeout, this, &BusRecorder::reopenLine);
}

BusRecorder::~BusRecorder() = default;

int BusRecorder::start()
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
    return Success;
}

QString BusRecorder::addressList() const
{
    QStringList addresses;
    for (const std::unique_ptr<RecordedSensor> &sensor : sensors)
        addresses.append(QString::number(sensor->address()));
    return addresses.join(", ");
}

QDateTime BusRecorder::wallTime(qint64 busMs) const
{
    return QDateTime::currentDateTime().addMSecs(busMs - busClock.elapsed());
}

void BusRecorder::replyReceived(const QVector<uint16_t> &data)
{
    takeReply(data);
    // Asked now, it goes out as soon as the link has finished with this reply.
    sendNextRequest();
}

void BusRecorder::takeReply(const QVector<uint16_t> &data)
{
    if (!inFlight || finished)
        return;
    const BusSchedule::Turn turn = *inFlight;
    inFlight.reset();
    const qint64 now = busClock.elapsed();
    if (data.size() == ReplyLength::Info) {
        takeIdentity(turn, data, now);
        return;
    }
    schedule->answered(turn, now);
    RecordedSensor &sensor = *sensors[size_t(turn.sensor)];
    if (const std::optional<LiveSample> sample = sensor.takeSample(data))
        printSample(sensor, *sample);
}

void BusRecorder::takeIdentity(BusSchedule::Turn turn, const QVector<uint16_t> &data, qint64 now)
{
    if (schedule->isRetired(turn.sensor))
        return;
    RecordedSensor &sensor = *sensors[size_t(turn.sensor)];
    const bool wasLost = schedule->hasAnswered(turn.sensor) && !schedule->isPolled(turn.sensor);
    const qint64 lostSince = schedule->outageStart(turn.sensor);
    sensor.takeIdentity(data);
    printIdentity(sensor);
    // A sensor put in the place of another at this address gets a file of its own.
    if (sensor.isFileOpen() && sensor.path() != sensor.openedPath()) {
        const QString previous = sensor.openedPath();
        const int written = sensor.closeFile();
        out << "Address " << sensor.address() << ": another sensor answers; recorded " << written
            << " samples to " << previous << Qt::endl;
    }
    if (!sensor.isFileOpen() && !openFile(turn.sensor))
        return;
    publish(turn.sensor);
    setAnswering(turn.sensor, true);
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
}

bool BusRecorder::openFile(int index)
{
    RecordedSensor &sensor = *sensors[size_t(index)];
    QString error;
    const QString path = sensor.path();
    for (const std::unique_ptr<RecordedSensor> &other : sensors) {
        if (other.get() != &sensor && other->isFileOpen() && other->path() == path)
            error = QString("Error: addresses %1 and %2 would both record into %3")
                        .arg(other->address())
                        .arg(sensor.address())
                        .arg(path);
    }
    if (error.isEmpty() && sensor.openFile(&error))
        return true;
    refusedFiles.insert(index);
    retireSensor(index, error);
    return false;
}

void BusRecorder::linkError(const QString &error)
{
    if (finished)
        return;
    const qint64 now = busClock.elapsed();
    if (error.endsWith("connect failed") || error.endsWith("connection lost")) {
        lineLost(error, now);
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
        setAnswering(turn.sensor, false);
        break;
    case BusSchedule::Outcome::Missing:
        err << "Address " << address << ": no answer from a sensor; retrying on its own"
            << Qt::endl;
        break;
    default:
        break;
    }
    // Queued: the link is still reporting the error.
    QMetaObject::invokeMethod(this, &BusRecorder::sendNextRequest, Qt::QueuedConnection);
}

// The port would not open again, or it went away: every sensor waits for the line.
void BusRecorder::lineLost(const QString &error, qint64 now)
{
    lineOpen = false;
    inFlight.reset();
    if (error.endsWith("connect failed")) {
        if (!everConnected) {
            err << error << Qt::endl << options.cannotOpenText() << Qt::endl;
            finish(Failure);
            return;
        }
    } else {
        const QString reason = modbus.connectionLossReason();
        err << "Connection lost at " << timeText(QDateTime::currentDateTime())
            << (reason.isEmpty() ? QString() : " (" + reason + ")")
            << (options.overNetwork() ? "; connecting again" : "; reopening the port") << Qt::endl;
        if (!everConnected) {
            finish(Failure);
            return;
        }
        for (int index : schedule->lineLost(now)) {
            err << "Address " << sensors[size_t(index)]->address() << ": lost with the port"
                << Qt::endl;
            setAnswering(index, false);
        }
    }
    lineReopenTimer.start(linePolicy.nextPauseMs());
}

void BusRecorder::lineStateChanged(LinkState state)
{
    // On every opening the link probes the first address itself: that is its turn.
    if (state != LinkState::Connecting)
        return;
    lineOpen = true;
    linePolicy.reconnected();
    inFlight = BusSchedule::Turn{0, BusSchedule::Request::Probe};
}

void BusRecorder::reopenLine()
{
    if (!finished)
        modbus.reconnectDevice();
}

void BusRecorder::period()
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

void BusRecorder::sendNextRequest()
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

void BusRecorder::retireSensor(int index, const QString &why)
{
    err << why << "; not recording address " << sensors[size_t(index)]->address() << Qt::endl;
    schedule->retire(index);
    if (schedule->allRetired())
        finish(anyGivenUp ? GaveUp : BadStart);
}

void BusRecorder::portOpenFailed(const QString &reason)
{
    if (!everConnected)
        err << reason << Qt::endl;
}

void BusRecorder::stopActivity()
{
    pollTimer.stop();
    lineReopenTimer.stop();
}

void BusRecorder::printSummary(const std::vector<int> &written)
{
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
    out << "Recorded " << total << " samples from " << sensors.size() << " sensors, " << errors
        << " Modbus errors" << Qt::endl;
}
