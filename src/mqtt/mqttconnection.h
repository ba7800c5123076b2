#ifndef MQTTCONNECTION_H
#define MQTTCONNECTION_H

#include "mqttmessage.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct mosquitto;

// One client connection to an MQTT broker through libmosquitto. A network thread of
// its own connects, runs the protocol and, when the broker cannot be reached, refuses
// the client or goes away, tries again after a pause that doubles from 1 s up to 30 s;
// the owner's thread never waits for the network. Everything the thread learns comes
// to the owner's thread as queued signals, in the order it happened. A reason for
// failing is reported once, not on every retry.
class MqttConnection : public QObject
{
    Q_OBJECT

public:
    // clientId empty: a random one and a clean session; otherwise a session the broker
    // keeps (subscriptions and QoS 1 messages) while the client is away.
    MqttConnection(const MqttSettings &settings, const QString &clientId,
                   QObject *parent = nullptr);
    ~MqttConnection() override;

    // Before start(): the message the broker publishes (QoS 1, retained) when the
    // connection ends without a clean disconnect.
    void setWill(const QString &topic, const QByteArray &payload);
    void start();
    // Clean disconnect; waits for the network thread.
    void stop();

    bool isConnected() const { return connectedNow; }
    // QoS 1. False when not connected; otherwise messageId is the id that published()
    // reports once the broker has acknowledged the message.
    bool publish(const QString &topic, const QByteArray &payload, bool retain, int &messageId);
    bool subscribe(const QString &pattern);

signals:
    void connected();
    void connectionLost();
    void published(int messageId);
    void messageArrived(QString topic, QByteArray payload);
    // A line for the user: why connecting failed, or that it works again.
    void report(QString line);

private:
    void networkLoop();
    void failed(const QString &reason);
    bool pause(int seconds);
    static void onConnect(mosquitto *, void *self, int code);
    static void onPublish(mosquitto *, void *self, int messageId);
    static void onMessage(mosquitto *, void *self, const struct mosquitto_message *message);
    static void onLog(mosquitto *, void *self, int level, const char *text);

    MqttSettings settings;
    mosquitto *client = nullptr;
    std::thread network;
    std::mutex mutex;
    std::condition_variable wakeUp;
    bool stopping = false;
    std::atomic<bool> connectedNow{false};
    // Network thread only.
    int refusal = 0;    // the broker's CONNACK code when it refused
    QString lastError;  // the last library error logged, such as a TLS failure
    QString lastReport; // the reason reported last, so that a retry stays silent
};

#endif
