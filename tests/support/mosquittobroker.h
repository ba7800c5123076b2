#ifndef MOSQUITTOBROKER_H
#define MOSQUITTOBROKER_H

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class MqttConnection;

// A real mosquitto broker for a test, on a free loopback port, with a configuration
// written into a temporary folder. It keeps its state (retained messages, sessions)
// across stop() and start(), as a broker restarted in a plant does.
//
//     MosquittoBroker broker;
//     QVERIFY2(broker.start(), qPrintable(broker.log()));
//     recorder.start(QUVA_EXPLORER_PATH, {..., "--mqtt", broker.url()});
class MosquittoBroker
{
public:
    struct Setup {
        // Only clients with this user and password are let in.
        QString user;
        QString password;
        // A TLS listener, its certificate issued for localhost and 127.0.0.1 by a CA
        // made for the test (caFile()).
        bool tls = false;
        // QoS 1 messages the broker holds per client beyond those in flight, mosquitto's
        // max_queued_messages; more are dropped.
        int queueLimit = 1000;
        // Seconds between saves of the broker's state (persistence); 0: mosquitto's default.
        int autosaveSeconds = 0;
    };

    MosquittoBroker() : MosquittoBroker(Setup()) {}
    explicit MosquittoBroker(const Setup &setup);
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker &) = delete;
    MosquittoBroker &operator=(const MosquittoBroker &) = delete;

    // Starts the broker and waits until its port takes connections.
    bool start(int timeoutMs = 30000);
    // SIGTERM, then waits for the end; the broker saves its state.
    bool stop(int timeoutMs = 30000);
    // SIGKILL, as a crash: the state is what the broker saved last.
    bool kill(int timeoutMs = 30000);
    bool isRunning() const { return process.state() != QProcess::NotRunning; }
    // Where the broker saves its state.
    QString stateFile() const { return folder.filePath("mosquitto.db"); }

    int port() const { return listenPort; }
    QString url() const; // mqtt://127.0.0.1:PORT or mqtts://localhost:PORT
    // The CA that issued the broker's certificate, and one that did not.
    QString caFile() const { return folder.filePath("ca.crt"); }
    QString otherCaFile() const { return folder.filePath("other-ca.crt"); }
    // A file with the line user:password, as --mqtt-password-file reads it.
    QString writePasswordFile(const QString &user, const QString &password) const;
    // The broker's log so far, for failure messages and for counting its events.
    QString log() const;
    // Problems in setting the broker up (a tool that failed), empty when none.
    QString setupError() const { return problem; }

private:
    bool run(const QString &program, const QStringList &arguments);

    Setup setup;
    QTemporaryDir folder;
    int listenPort = 0;
    QString problem;
    QProcess process;
};

// mosquitto_sub on a topic pattern for a test, keeping its session across broker
// restarts: every message it got, as topic and payload, in the order it got them.
class MqttCapture
{
public:
    // extra: further mosquitto_sub arguments, such as credentials or --cafile.
    MqttCapture(const MosquittoBroker &broker, const QString &pattern,
                const QStringList &extra = {});
    ~MqttCapture();
    MqttCapture(const MqttCapture &) = delete;
    MqttCapture &operator=(const MqttCapture &) = delete;

    // Waits until the subscription is in place (the broker's log says so).
    bool start(const MosquittoBroker &broker, int timeoutMs = 30000);
    QList<QPair<QString, QByteArray>> messages();
    QList<QByteArray> payloads(const QString &topic);
    // Runs the event loop until count messages on topic arrived.
    bool waitForCount(const QString &topic, int count, int timeoutMs = 60000);
    QString errorOutput();

private:
    QString clientId;
    QStringList arguments;
    QProcess process;
    QByteArray pending;
    QList<QPair<QString, QByteArray>> received;
};

// A publisher of the test's own messages, whatever they hold, QoS 1, through the program's
// own connection class.
//
//     MqttTestPublisher publisher(broker);
//     QVERIFY(publisher.publish({{"quva/00-12-AB-CD/sample", payload}}));
class MqttTestPublisher
{
public:
    explicit MqttTestPublisher(const MosquittoBroker &broker);
    ~MqttTestPublisher();
    MqttTestPublisher(const MqttTestPublisher &) = delete;
    MqttTestPublisher &operator=(const MqttTestPublisher &) = delete;

    // Publishes in order and waits until the broker has acknowledged every message.
    bool publish(const QList<QPair<QString, QByteArray>> &messages, int timeoutMs = 120000);

private:
    std::unique_ptr<MqttConnection> connection;
    QSet<int> unacknowledged;
};

#endif
