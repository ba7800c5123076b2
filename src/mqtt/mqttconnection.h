#ifndef MQTTCONNECTION_H
#define MQTTCONNECTION_H

#include "mqttmessage.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

struct mosquitto;

// One client connection to an MQTT broker through libmosquitto. A network thread of
// its own connects, runs the protocol and, when the broker cannot be reached, refuses
// the client or goes away, tries again after a pause that doubles from 1 s up to 30 s;
// the owner's thread never waits for the network. Everything the thread learns comes
// to the owner's thread as queued signals, in the order it happened. A reason for
// failing is reported once, not on every retry.
//
// The library acknowledges a QoS 1 message before the client sees it, so a received
// message must not wait long where a killed process would lose it: the network thread
// hands messages over through a queue of at most maxWaitingMessages and waits while it
// is full, so the broker keeps the rest until the owner has taken them.
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
    // Before start(): a received message longer than bytes is passed on cut to bytes + 1,
    // so that the owner sees it is too long without holding all of it.
    void setLongestMessage(int bytes) { longestMessage = bytes; }
    void start();
    // Clean disconnect; waits for the network thread. start() connects again, with the
    // same session when the client id is not empty.
    void stop();

    static constexpr int maxWaitingMessages = 2;
    // The oldest received message not yet taken; false when there is none.
    bool takeMessage(QString &topic, QByteArray &payload);

    bool isConnected() const { return connectedNow; }
    // QoS 1. False when not connected; otherwise messageId is the id that published()
    // reports once the broker has acknowledged the message.
    bool publish(const QString &topic, const QByteArray &payload, bool retain, int &messageId);
    bool subscribe(const QString &pattern);

signals:
    void connected();
    void connectionLost();
    void published(int messageId);
    // Messages wait to be taken.
    void messagesWaiting();
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
    std::deque<std::pair<QString, QByteArray>> waiting; // received, not yet taken
    std::condition_variable taken;
    int longestMessage = 0; // 0: any length
    std::atomic<bool> connectedNow{false};
    // Network thread only.
    int refusal = 0;    // the broker's CONNACK code when it refused
    QString lastError;  // the last library error logged, such as a TLS failure
    QString lastReport; // the reason reported last, so that a retry stays silent
};

#endif
