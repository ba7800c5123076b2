#include "singlesensorrecorder.h"

#include "registermap.h"

SingleSensorRecorder::SingleSensorRecorder(const RecorderOptions &options, QObject *parent)
    : RecorderCore(options, false, parent)
{
    connect(&modbus, &Modbus::deviceConnected, this, &SingleSensorRecorder::deviceConnected);
    connect(&modbus, &Modbus::replyReceived, this, &SingleSensorRecorder::replyReceived);
    connect(&modbus, &Modbus::portOpenFailed, this, &SingleSensorRecorder::portOpenFailed);
    connect(&pollTimer, &QTimer::timeout, this,
            [this] { modbus.readRegisters(Registers::LiveFirst, Registers::LiveLast); });
    pollTimer.setTimerType(Qt::PreciseTimer);
    answerTimer.setSingleShot(true);
    answerTimer.setTimerType(Qt::PreciseTimer);
    connect(&answerTimer, &QTimer::timeout, this, &SingleSensorRecorder::noAnswer);
    giveUpTimer.setSingleShot(true);
    giveUpTimer.setTimerType(Qt::PreciseTimer);
    connect(&giveUpTimer, &QTimer::timeout, this, &SingleSensorRecorder::giveUp);
    autoReconnect = std::make_unique<AutoReconnect>(modbus);
    autoReconnect->setEnabled(true);
    connect(autoReconnect.get(), &AutoReconnect::connectionLost, this,
            &SingleSensorRecorder::outageBegan);
    connect(autoReconnect.get(), &AutoReconnect::reconnected, this,
            &SingleSensorRecorder::outageEnded);
}

SingleSensorRecorder::~SingleSensorRecorder() = default;

int SingleSensorRecorder::start()
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
    return Success;
}

void SingleSensorRecorder::deviceConnected()
{
    answerTimer.stop();
    pollTimer.start(LivePollIntervalMs);
    startDuration();
}

void SingleSensorRecorder::replyReceived(const QVector<uint16_t> &data)
{
    RecordedSensor &sensor = *sensors.front();
    if (data.size() == ReplyLength::Info) {
        sensor.takeIdentity(data);
        printIdentity(sensor);
        publish(0);
        return;
    }
    if (const std::optional<LiveSample> sample = sensor.takeSample(data))
        printSample(sensor, *sample);
}

void SingleSensorRecorder::linkError(const QString &error)
{
    // Failed attempts to reconnect are not news; the outage is logged as a whole.
    if (autoReconnect->isWaiting())
        return;
    err << error << Qt::endl;
    if (everConnected)
        return;
    if (error.endsWith("connect failed")) {
        err << options.cannotOpenText() << Qt::endl;
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

void SingleSensorRecorder::portOpenFailed(const QString &reason)
{
    if (!autoReconnect->isWaiting())
        err << reason << Qt::endl;
}

void SingleSensorRecorder::noAnswer()
{
    err << "Error: no answer from a sensor at address " << options.address << " on "
        << options.portName << " within 5 s" << Qt::endl;
    finish(Failure);
}

void SingleSensorRecorder::outageBegan()
{
    outageStart = QDateTime::currentDateTime();
    pollTimer.stop();
    const QString reason = modbus.connectionLossReason();
    err << "Connection lost at " << timeText(outageStart)
        << (reason.isEmpty() ? QString() : " (" + reason + ")") << "; reconnecting" << Qt::endl;
    setAnswering(0, false);
    if (options.giveUpAfterSeconds > 0)
        giveUpTimer.start(options.giveUpAfterSeconds * 1000);
}

void SingleSensorRecorder::outageEnded()
{
    giveUpTimer.stop();
    setAnswering(0, true);
    const QDateTime end = QDateTime::currentDateTime();
    err << "Outage from " << timeText(outageStart) << " to " << timeText(end) << ", "
        << number(outageStart.msecsTo(end) / 1000.0, 1) << " s" << Qt::endl;
}

void SingleSensorRecorder::giveUp()
{
    err << "Error: no connection to the sensor since " << timeText(outageStart) << " ("
        << options.giveUpAfterSeconds << " s); giving up" << Qt::endl;
    finish(GaveUp);
}

void SingleSensorRecorder::stopActivity()
{
    pollTimer.stop();
    answerTimer.stop();
    autoReconnect->stop();
    giveUpTimer.stop();
}

void SingleSensorRecorder::printSummary(const std::vector<int> &written)
{
    out << "Recorded " << written.front() << " samples to " << sensors.front()->path() << ", "
        << errors << " Modbus errors" << Qt::endl;
}
