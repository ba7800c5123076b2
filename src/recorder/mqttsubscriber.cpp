#include "mqttsubscriber.h"

#include "processsignals.h"
#include "recordingfile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{

QString absoluteName(const QString &fileName)
{
    return QDir::current().absoluteFilePath(fileName);
}

// The same consumer gets the same session back from the broker.
QString clientId(const SubscriberOptions &options)
{
    const QByteArray key =
        (absoluteName(options.fileName) + '\n' + options.serial + '\n' + options.mqtt.prefix)
            .toUtf8();
    return "quva-subscriber-" +
           QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16);
}

} // namespace

MqttSubscriber::MqttSubscriber(const SubscriberOptions &options, QObject *parent)
    : QObject(parent), options(options), connection(options.mqtt, clientId(options)), out(stdout),
      err(stderr)
{
    connect(&connection, &MqttConnection::connected, this, &MqttSubscriber::connected);
    connect(&connection, &MqttConnection::messageArrived, this, &MqttSubscriber::messageArrived);
    connect(&connection, &MqttConnection::report, this,
            [this](const QString &line) { err << line << Qt::endl; });
    durationTimer.setSingleShot(true);
    connect(&durationTimer, &QTimer::timeout, this, &MqttSubscriber::durationCheck);
    // A request for statistics has nothing to report here.
    processSignals = catchProcessSignals([this](ProcessSignal request) {
        if (request == ProcessSignal::Stop)
            finish();
    });
}

MqttSubscriber::~MqttSubscriber() = default;

int MqttSubscriber::run()
{
    // A single file is checked before the broker is asked for anything.
    if (!options.serial.isEmpty()) {
        const QString path =
            absoluteName(QString(options.fileName).replace("{serial}", options.serial));
        const RecordingFileDecision decision = decideRecordingFile(path);
        if (decision.action == RecordingFileDecision::Refuse) {
            err << decision.error << Qt::endl;
            return 2;
        }
    }
    const QString serials = options.serial.isEmpty() ? "every sensor" : options.serial;
    out << "Taking samples of " << serials << " from " << mqttUrlText(options.mqtt.url) << " into "
        << absoluteName(options.fileName) << Qt::endl;
    if (options.durationSeconds > 0) {
        end = QDeadlineTimer(qint64(std::ceil(options.durationSeconds * 1000)), Qt::PreciseTimer);
        durationCheck();
    }
    connection.start();
    return QCoreApplication::exec();
}

void MqttSubscriber::connected()
{
    const QString serial = options.serial.isEmpty() ? "+" : options.serial;
    connection.subscribe(sampleTopic(options.mqtt.prefix, serial));
}

MqttSubscriber::SensorFile &MqttSubscriber::sensorFile(const QString &serial)
{
    const auto found = sensors.find(serial);
    if (found != sensors.end())
        return found->second;
    SensorFile &sensor = sensors[serial];
    const QString path = absoluteName(QString(options.fileName).replace("{serial}", serial));
    const RecordingFileDecision decision = decideRecordingFile(path);
    if (decision.action == RecordingFileDecision::Refuse) {
        err << decision.error << "; the samples of " << serial << " are not kept" << Qt::endl;
        return sensor;
    }
    auto journal = std::make_unique<RecordingJournal>();
    if (!journal->open(path)) {
        err << "Error: cannot open " << path << ": " << journal->errorString()
            << "; the samples of " << serial << " are not kept" << Qt::endl;
        return sensor;
    }
    connect(journal.get(), &RecordingJournal::writeFailed, this,
            [this](const QString &error) { err << "Error: " << error << Qt::endl; });
    out << "Sensor " << serial << " into " << path << Qt::endl;
    sensor.journal = std::move(journal);
    return sensor;
}

void MqttSubscriber::messageArrived(const QString &topic, const QByteArray &payload)
{
    const std::optional<ReceivedSample> received = parseSampleMessage(payload);
    if (!received) {
        err << "Not a sample message on " << topic << ": " << payload.left(200) << Qt::endl;
        return;
    }
    SensorFile &sensor = sensorFile(received->serial);
    if (!sensor.journal)
        return;
    const LiveSample &sample = received->sample;
    const std::pair<uint32_t, qint64> key(sample.frameNr, sample.timestamp.toMSecsSinceEpoch());
    if (sensor.seen.contains(key)) {
        ++sensor.duplicates;
        return;
    }
    sensor.seen.insert(key);
    sensor.seenOrder.push_back(key);
    if (int(sensor.seenOrder.size()) > rememberedSamples) {
        sensor.seen.remove(sensor.seenOrder.front());
        sensor.seenOrder.pop_front();
    }
    sensor.journal->append(sample);
    ++sensor.written;
}

void MqttSubscriber::durationCheck()
{
    const qint64 remaining = end.remainingTime();
    if (remaining <= 0)
        finish();
    else
        durationTimer.start(int(std::min<qint64>(remaining, std::numeric_limits<int>::max())));
}

void MqttSubscriber::finish()
{
    if (finished)
        return;
    finished = true;
    durationTimer.stop();
    connection.stop();
    for (auto &[serial, sensor] : sensors) {
        if (!sensor.journal)
            continue;
        sensor.journal->close();
        out << "Took " << sensor.written << " samples of " << serial << " into "
            << sensor.journal->path() << ", " << sensor.duplicates << " duplicates dropped"
            << Qt::endl;
    }
    QCoreApplication::exit(0);
}
