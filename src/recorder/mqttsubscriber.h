#ifndef MQTTSUBSCRIBER_H
#define MQTTSUBSCRIBER_H

#include "mqttconnection.h"
#include "recorderoptions.h"
#include "recordingjournal.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTextStream>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <utility>

// Takes the samples that recorders publish to a broker into CSV files of the recording
// format, one per sensor, so that a recording made elsewhere opens with "Import .csv".
// Delivery is at least once: a sample whose serial number, frame number and time were
// already written is a duplicate and is dropped. The broker keeps the session (its
// client id follows from the file name, the serial number and the prefix), so samples
// published while this program is away arrive when it is back.
class MqttSubscriber : public QObject
{
    Q_OBJECT

public:
    explicit MqttSubscriber(const SubscriberOptions &options, QObject *parent = nullptr);
    ~MqttSubscriber() override;

    // Runs until the duration is over or SIGINT or SIGTERM arrives; returns the exit code.
    int run();

    // How many recent samples per sensor are remembered to recognise a duplicate.
    static constexpr int rememberedSamples = 10000;

private slots:
    void connected();
    void messageArrived(const QString &topic, const QByteArray &payload);
    void durationCheck();

private:
    struct SensorFile {
        std::unique_ptr<RecordingJournal> journal; // null: refused
        QSet<std::pair<uint32_t, qint64>> seen;    // (frame, time in ms since the epoch)
        std::deque<std::pair<uint32_t, qint64>> seenOrder;
        int written = 0;
        int duplicates = 0;
    };

    SensorFile &sensorFile(const QString &serial);
    void finish();

    SubscriberOptions options;
    MqttConnection connection;
    std::map<QString, SensorFile> sensors;
    QTimer durationTimer;
    QDeadlineTimer end;
    std::unique_ptr<QObject> processSignals;
    QTextStream out;
    QTextStream err;
    bool finished = false;
};

#endif
