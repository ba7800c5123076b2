#include "headlessrecorder.h"

#include "app/systemstatetext.h"
#include "modbus/registermap.h"
#include "platformfile.h"
#include "recordingfile.h"

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
    : QObject(parent), options(options), out(stdout), err(stderr)
{
    connect(&modbus, SIGNAL(deviceConnected()), this, SLOT(deviceConnected()));
    connect(&modbus, SIGNAL(replyReceived(QVector<uint16_t>)), this,
            SLOT(replyReceived(QVector<uint16_t>)));
    connect(&modbus, SIGNAL(showModbusError(QString)), this, SLOT(modbusError(QString)));
    connect(&modbus, SIGNAL(portOpenFailed(QString)), this, SLOT(portOpenFailed(QString)));
    connect(&pollTimer, &QTimer::timeout, this,
            [this] { modbus.readRegisters(Registers::LiveFirst, Registers::LiveLast); });
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
    autoReconnect = std::make_unique<AutoReconnect>(modbus);
    autoReconnect->setEnabled(true);
    connect(autoReconnect.get(), &AutoReconnect::connectionLost, this,
            &HeadlessRecorder::outageBegan);
    connect(autoReconnect.get(), &AutoReconnect::reconnected, this, &HeadlessRecorder::outageEnded);
    connect(&file, &RecordingJournal::writeFailed, this, [this](const QString &error) {
        err << "Error: " << error << Qt::endl;
        finish(Failure);
    });

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
    const QString path = QDir::current().absoluteFilePath(options.fileName);
    const RecordingFileDecision decision = decideRecordingFile(path);
    if (decision.action == RecordingFileDecision::Refuse) {
        err << decision.error << Qt::endl;
        return BadStart;
    }
    createdFile = decision.action == RecordingFileDecision::Create;
    if (!file.open(path)) {
        err << "Error: cannot open " << path << ": " << file.errorString() << Qt::endl;
        return BadStart;
    }
    out << "Recording from " << options.portName << " to " << path << Qt::endl;
    answerTimer.start(5000);
    modbus.connectDevice(options.portName, options.baudrate, options.mode, options.address);
    if (exitCode != 0)
        return exitCode;
    return QCoreApplication::exec();
}

void HeadlessRecorder::deviceConnected()
{
    answerTimer.stop();
    pollTimer.start(500);
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

void HeadlessRecorder::replyReceived(QVector<uint16_t> data)
{
    if (data.size() == ReplyLength::Info) {
        const DeviceIdentity identity = decodeIdentity(data);
        firmwareDate = identity.firmwareDate;
        out << "Sensor " << formatSerialNumber(identity.serialNumber) << ", firmware "
            << formatDeviceDate(identity.firmwareDate) << Qt::endl;
        return;
    }
    const std::optional<LiveSample> sample = sampler.take(data, firmwareDate);
    if (!sample)
        return;
    const LiveSample &values = *sample;
    file.append(values);
    out << sample->timestamp.toString("yyyy-MM-dd HH:mm:ss.zzz") << "  frame " << values.frameNr
        << "  T " << number(values.T, 2) << " degC  rho " << number(values.rho, 1) << " kg/m3  nu "
        << number(values.nu, 3) << " cSt  eta " << number(values.eta, 3) << " mPas  "
        << systemStateText(values.systemState, false) << Qt::endl;
}

void HeadlessRecorder::modbusError(QString error)
{
    if (error.isEmpty())
        return;
    ++errors;
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

void HeadlessRecorder::portOpenFailed(QString reason)
{
    if (!autoReconnect->isWaiting())
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
    file.close();
    // What reached the file, not what was taken: after a full disk they differ.
    const int written = file.samplesWritten();
    // A recording file made for a sensor that never delivered a sample is not left behind.
    if (written == 0 && createdFile)
        file.remove();
    modbus.disconnectDevice(true);
    if (code == Success || everConnected) {
        out << "Recorded " << written << " samples to " << file.path() << ", " << errors
            << " Modbus errors" << Qt::endl;
        printStatistics();
    }
    exitCode = code;
    QCoreApplication::exit(code);
}
