#include "recordercore.h"

#include "processsignals.h"
#include "systemstatetext.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <limits>

RecorderCore::RecorderCore(const RecorderOptions &options, bool addressInTexts, QObject *parent)
    : QObject(parent), options(options), out(stdout), err(stderr), addressInTexts(addressInTexts)
{
    for (uint8_t address : options.addresses) {
        sensors.push_back(std::make_unique<RecordedSensor>(address, options.fileName));
        connect(sensors.back().get(), &RecordedSensor::writeFailed, this,
                [this](const QString &error) {
                    err << "Error: " << error << Qt::endl;
                    finish(Failure);
                });
    }
    connect(&modbus, &Modbus::showModbusError, this, [this](const QString &error) {
        if (error.isEmpty())
            return;
        ++errors;
        linkError(error);
    });
    durationTimer.setSingleShot(true);
    durationTimer.setTimerType(Qt::PreciseTimer);
    connect(&durationTimer, &QTimer::timeout, this, &RecorderCore::durationCheck);
    processSignals = catchProcessSignals([this](ProcessSignal request) {
        if (request == ProcessSignal::Statistics)
            printStatistics();
        else
            finish(Success);
    });
}

RecorderCore::~RecorderCore() = default;

int RecorderCore::run()
{
    const int code = start();
    if (code != Success)
        return code;
    if (exitCode != Success)
        return exitCode;
    return QCoreApplication::exec();
}

void RecorderCore::startDuration()
{
    const bool firstConnection = !everConnected;
    everConnected = true;
    if (firstConnection && options.durationSeconds > 0) {
        recordingEnd =
            QDeadlineTimer(qint64(std::ceil(options.durationSeconds * 1000)), Qt::PreciseTimer);
        durationCheck();
    }
}

void RecorderCore::durationCheck()
{
    // A timer runs for at most about 24 days; longer recordings take several turns.
    const qint64 remaining = recordingEnd.remainingTime();
    if (remaining <= 0)
        finish(Success);
    else
        durationTimer.start(int(std::min<qint64>(remaining, std::numeric_limits<int>::max())));
}

void RecorderCore::printIdentity(const RecordedSensor &sensor)
{
    if (addressInTexts)
        out << "Address " << sensor.address() << ": ";
    out << "Sensor " << sensor.serialText() << ", firmware "
        << formatDeviceDate(sensor.identity().firmwareDate) << Qt::endl;
}

void RecorderCore::printSample(const RecordedSensor &sensor, const LiveSample &sample)
{
    if (addressInTexts)
        out << "address " << sensor.address() << "  ";
    out << timeText(sample.timestamp) << "  frame " << sample.frameNr << "  T "
        << number(sample.T, 2) << " degC  rho " << number(sample.rho, 1) << " kg/m3  nu "
        << number(sample.nu, 3) << " cSt  eta " << number(sample.eta, 3) << " mPas  "
        << systemStateText(sample.systemState, false) << Qt::endl;
}

QString RecorderCore::timeText(const QDateTime &time)
{
    return time.toString("yyyy-MM-dd HH:mm:ss.zzz");
}

QString RecorderCore::number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

void RecorderCore::printStatistics()
{
    for (const QString &line : modbus.statistics().summary())
        out << "Link: " << line << Qt::endl;
}

void RecorderCore::finish(int code)
{
    if (finished)
        return;
    finished = true;
    durationTimer.stop();
    stopActivity();
    std::vector<int> written;
    for (const std::unique_ptr<RecordedSensor> &sensor : sensors)
        written.push_back(sensor->closeFile());
    modbus.disconnectDevice(true);
    if (code == Success || everConnected) {
        printSummary(written);
        printStatistics();
    }
    exitCode = code;
    exitWhenPublished(code);
}

void RecorderCore::publish(int index)
{
#ifdef QUVA_NO_MQTT
    // --mqtt is refused before a recording starts.
    Q_UNUSED(index)
#else
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
        if (addressInTexts)
            err << "Address " << sensor.address() << ": ";
        err << line << Qt::endl;
    });
    publisher->rememberPosition();
    publisher->start();
    publishers.push_back(std::move(publisher));
#endif
}

void RecorderCore::setAnswering(int index, bool answering)
{
#ifdef QUVA_NO_MQTT
    // Only the publishers tell whether a sensor answers.
    Q_UNUSED(index)
    Q_UNUSED(answering)
#else
    const RecordedSensor &sensor = *sensors[size_t(index)];
    for (const std::unique_ptr<MqttPublisher> &publisher : publishers) {
        if (publisher->filePath() == sensor.openedPath())
            publisher->setAnswering(answering);
    }
#endif
}

// The files are closed: the publishers send what is left and "offline" first.
void RecorderCore::exitWhenPublished(int code)
{
#ifdef QUVA_NO_MQTT
    QCoreApplication::exit(code);
#else
    auto open = std::make_shared<int>(int(publishers.size()));
    if (*open == 0) {
        QCoreApplication::exit(code);
        return;
    }
    auto waiting = std::make_shared<qint64>(0);
    for (const std::unique_ptr<MqttPublisher> &publisher : publishers) {
        MqttPublisher *source = publisher.get();
        connect(source, &MqttPublisher::closed, this, [this, code, open, waiting, source] {
            out << "MQTT: " << source->samplesAcknowledged() << " samples of "
                << source->serialText() << " acknowledged by the broker" << Qt::endl;
            if (source->samplesWaiting() > 0)
                out << "MQTT: " << source->samplesWaiting() << " samples of "
                    << source->serialText() << " wait in " << source->filePath()
                    << " for the next run" << Qt::endl;
            *waiting += source->samplesWaiting();
            if (--*open == 0)
                QCoreApplication::exit(code == Success && *waiting > 0 ? Unpublished : code);
        });
        source->close();
    }
#endif
}
