#ifndef MQTTSUBSCRIBER_H
#define MQTTSUBSCRIBER_H

#include "mqttconnection.h"
#include "recorderoptions.h"
#include "subscriberfiles.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QSet>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <optional>

// Takes the samples that recorders publish to a broker into CSV files of the recording
// format, one per sensor, so that a recording made elsewhere opens with "Import .csv".
// Delivery is at least once: a sample whose serial number, frame number and time were
// already written is a duplicate and is dropped. The broker keeps the session (its
// client id follows from the file name, the serial number and the prefix), so samples
// published while this program is away arrive when it is back.
//
// Whatever a publisher sends, a message decides no more than which sensor's file gets
// a line: one that is not a recorder's sample message on its own sensor's topic is
// dropped and counted. A received message is written before the next is taken; when
// its line cannot be written (a full disk) it is held, the consumer disconnects (the
// broker keeps the rest for its session), tries the write again every second and
// connects again once it succeeds.
class MqttSubscriber : public QObject
{
    Q_OBJECT

public:
    explicit MqttSubscriber(const SubscriberOptions &options, QObject *parent = nullptr);
    ~MqttSubscriber() override;

    // Runs until the duration is over or SIGINT or SIGTERM arrives; returns the exit code.
    int run();

    // Files open at once; libmosquitto waits on its socket with select(), which takes
    // descriptors below 1024 only.
    static constexpr int maxOpenFiles = 256;
    // Topics whose refused messages are each reported by a line; further ones are counted.
    static constexpr int reportedTopics = 1000;

private slots:
    void connected();
    void takeMessages();
    void retryWrite();
    void durationCheck();

private:
    // False when the message's line could not be written: it is held then.
    bool take(const QString &topic, const QByteArray &payload);
    void refuse(const QString &topic, const QString &reason);
    // Reports the seq numbers skipped before a sample just written.
    void reportHole(const ReceivedSample &received);
    void finish();

    SubscriberOptions options;
    MqttConnection connection;
    SubscriberFiles files;
    std::optional<ReceivedSample> held; // received, not yet written
    QTimer retryTimer;
    QTimer syncTimer;
    qint64 refused = 0;
    QSet<uint> refusedTopics; // hashes of the topics reported
    QTimer durationTimer;
    QDeadlineTimer end;
    std::unique_ptr<QObject> processSignals;
    QTextStream out;
    QTextStream err;
    bool finished = false;
};

#endif
