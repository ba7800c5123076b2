#include "mqttsubscriber.h"

#include "processsignals.h"
#include "recordingfile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QHash>

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
    : QObject(parent), options(options), connection(options.mqtt, clientId(options)),
      files(options.fileName, maxOpenFiles), out(stdout), err(stderr)
{
    connection.setLongestMessage(maxSampleMessageBytes);
    connect(&connection, &MqttConnection::connected, this, &MqttSubscriber::connected);
    connect(&connection, &MqttConnection::messagesWaiting, this, &MqttSubscriber::takeMessages);
    connect(&connection, &MqttConnection::report, this,
            [this](const QString &line) { err << line << Qt::endl; });
    retryTimer.setSingleShot(true);
    retryTimer.setInterval(1000);
    connect(&retryTimer, &QTimer::timeout, this, &MqttSubscriber::retryWrite);
    // A power cut loses at most the last second's lines.
    syncTimer.setInterval(1000);
    connect(&syncTimer, &QTimer::timeout, this, [this] {
        const QString error = files.sync();
        if (!error.isEmpty())
            err << "Error: " << error << Qt::endl;
    });
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
        const RecordingFileDecision decision = decideRecordingFile(files.pathOf(options.serial));
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
    syncTimer.start();
    connection.start();
    return QCoreApplication::exec();
}

void MqttSubscriber::connected()
{
    const QString serial = options.serial.isEmpty() ? "+" : options.serial;
    connection.subscribe(sampleTopic(options.mqtt.prefix, serial));
}

void MqttSubscriber::takeMessages()
{
    QString topic;
    QByteArray payload;
    while (!held && !finished && connection.takeMessage(topic, payload)) {
        if (!take(topic, payload))
            return;
    }
}

bool MqttSubscriber::take(const QString &topic, const QByteArray &payload)
{
    QString reason;
    const std::optional<ReceivedSample> received =
        checkSampleMessage(options.mqtt.prefix, topic, payload, reason);
    if (!received) {
        refuse(topic, reason);
        return true;
    }
    const bool firstOfSensor = files.sensors().count(received->serial) == 0;
    QString error;
    switch (files.write(received->serial, received->sample, error)) {
    case SubscriberFiles::Outcome::Written:
        if (firstOfSensor)
            out << "Sensor " << received->serial << " into " << files.pathOf(received->serial)
                << Qt::endl;
        reportHole(*received);
        return true;
    case SubscriberFiles::Outcome::Duplicate:
        return true;
    case SubscriberFiles::Outcome::Refused:
        if (!error.isEmpty())
            err << error << "; the samples of " << received->serial << " are not kept" << Qt::endl;
        return true;
    case SubscriberFiles::Outcome::Failed:
        break;
    }
    // The broker keeps what follows in the session while this sample waits here.
    held = received;
    err << "Error: " << error << "; taking no more samples until it can be written" << Qt::endl;
    connection.stop();
    retryTimer.start();
    return false;
}

void MqttSubscriber::refuse(const QString &topic, const QString &reason)
{
    ++refused;
    if (refusedTopics.size() > reportedTopics)
        return;
    const uint key = qHash(topic);
    if (refusedTopics.contains(key))
        return;
    refusedTopics.insert(key);
    if (refusedTopics.size() > reportedTopics)
        err << "Refused messages on more than " << reportedTopics
            << " topics; further ones are counted only" << Qt::endl;
    else
        err << "Refused a message on " << printableText(topic) << ": " << printableText(reason)
            << "; further ones on this topic are counted only" << Qt::endl;
}

void MqttSubscriber::reportHole(const ReceivedSample &received)
{
    if (received.seq <= 0)
        return;
    const auto [first, last] = files.takeSeq(received.serial, received.seq);
    if (first == last)
        err << received.serial << ": sample " << first << " missing" << Qt::endl;
    else if (first < last)
        err << received.serial << ": samples " << first << " to " << last << " missing" << Qt::endl;
}

void MqttSubscriber::retryWrite()
{
    QString error;
    const SubscriberFiles::Outcome outcome = files.write(held->serial, held->sample, error);
    if (outcome == SubscriberFiles::Outcome::Failed) {
        retryTimer.start();
        return;
    }
    if (outcome == SubscriberFiles::Outcome::Written)
        reportHole(*held);
    held.reset();
    out << "Writing again; taking samples again" << Qt::endl;
    // What was received before the connection ended comes first.
    takeMessages();
    if (!held)
        connection.start();
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
    durationTimer.stop();
    retryTimer.stop();
    connection.stop();
    // What was received before the connection ended is written, unless the disk is full.
    QString error;
    if (held && files.write(held->serial, held->sample, error) != SubscriberFiles::Outcome::Failed)
        held.reset();
    takeMessages();
    finished = true;
    files.closeAll();
    for (const auto &[serial, sensor] : files.sensors()) {
        if (sensor.refused)
            continue;
        out << "Took " << sensor.written << " samples of " << serial << " into "
            << files.pathOf(serial) << ", " << sensor.duplicates << " duplicates dropped"
            << Qt::endl;
    }
    if (refused > 0)
        out << "Refused " << refused << " messages that are no recorder's samples" << Qt::endl;
    int code = 0;
    if (held) {
        int lost = 1;
        QString topic;
        QByteArray payload;
        while (connection.takeMessage(topic, payload))
            ++lost;
        err << "Error: " << lost << " received samples could not be written" << Qt::endl;
        code = 1;
    }
    QCoreApplication::exit(code);
}
