#include "mqttconnection.h"

#include <mosquitto.h>

#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

namespace
{

// The broker hears from the client at least this often, and a connection attempt
// that has not been answered in twice this time is given up and tried again.
constexpr int keepAliveSeconds = 30;
constexpr int longestPauseSeconds = 30;

std::once_flag libraryInitialised;

} // namespace

MqttConnection::MqttConnection(const MqttSettings &settings, const QString &clientId,
                               QObject *parent)
    : QObject(parent), settings(settings)
{
    std::call_once(libraryInitialised, [] { mosquitto_lib_init(); });
    const QByteArray id = clientId.toUtf8();
    client = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), id.isEmpty(), this);
    mosquitto_threaded_set(client, true);
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // The owner bounds what it has in flight; the library sends all of it at once.
    mosquitto_max_inflight_messages_set(client, 0);
    mosquitto_connect_callback_set(client, &MqttConnection::onConnect);
    mosquitto_publish_callback_set(client, &MqttConnection::onPublish);
    mosquitto_message_callback_set(client, &MqttConnection::onMessage);
    mosquitto_log_callback_set(client, &MqttConnection::onLog);
    if (!settings.user.isEmpty())
        mosquitto_username_pw_set(client, settings.user.toUtf8().constData(),
                                  settings.password.toUtf8().constData());
    if (settings.url.tls) {
        const QByteArray caFile = settings.caFile.toLocal8Bit();
        mosquitto_tls_set(client, caFile.isEmpty() ? nullptr : caFile.constData(), nullptr, nullptr,
                          nullptr, nullptr);
        // Without a CA file the system's certificates are trusted.
        if (caFile.isEmpty())
            mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    }
}

MqttConnection::~MqttConnection()
{
    stop();
    mosquitto_destroy(client);
}

void MqttConnection::setWill(const QString &topic, const QByteArray &payload)
{
    mosquitto_will_set(client, topic.toUtf8().constData(), payload.size(), payload.constData(), 1,
                       true);
}

void MqttConnection::start()
{
    if (network.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = false;
    }
    network = std::thread(&MqttConnection::networkLoop, this);
}

void MqttConnection::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wakeUp.notify_all();
    taken.notify_all();
    mosquitto_disconnect(client);
    if (network.joinable())
        network.join();
    connectedNow = false;
}

bool MqttConnection::publish(const QString &topic, const QByteArray &payload, bool retain,
                             int &messageId)
{
    if (!connectedNow)
        return false;
    return mosquitto_publish(client, &messageId, topic.toUtf8().constData(), payload.size(),
                             payload.constData(), 1, retain) == MOSQ_ERR_SUCCESS;
}

bool MqttConnection::takeMessage(QString &topic, QByteArray &payload)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (waiting.empty())
            return false;
        topic = std::move(waiting.front().first);
        payload = std::move(waiting.front().second);
        waiting.pop_front();
    }
    taken.notify_all();
    return true;
}

bool MqttConnection::subscribe(const QString &pattern)
{
    return connectedNow && mosquitto_subscribe(client, nullptr, pattern.toUtf8().constData(), 1) ==
                               MOSQ_ERR_SUCCESS;
}

// Waits seconds or until stop(); false when stopping.
bool MqttConnection::pause(int seconds)
{
    std::unique_lock<std::mutex> lock(mutex);
    wakeUp.wait_for(lock, std::chrono::seconds(seconds), [this] { return stopping; });
    return !stopping;
}

void MqttConnection::failed(const QString &reason)
{
    if (reason == lastReport)
        return;
    lastReport = reason;
    const QString line = QString("MQTT: no connection to %1: %2; trying again")
                             .arg(mqttUrlText(settings.url), reason);
    QMetaObject::invokeMethod(
        this, [this, line] { emit report(line); }, Qt::QueuedConnection);
}

void MqttConnection::networkLoop()
{
    using Clock = std::chrono::steady_clock;
    const QByteArray host = settings.url.host.toUtf8();
    int pauseSeconds = 1;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping)
                return;
        }
        refusal = 0;
        lastError.clear();
        int code =
            mosquitto_connect_async(client, host.constData(), settings.url.port, keepAliveSeconds);
        int errorNumber = errno;
        bool wasConnected = false;
        const Clock::time_point attemptEnd =
            Clock::now() + std::chrono::seconds(2 * keepAliveSeconds);
        bool stoppingSeen = false;
        while (code == MOSQ_ERR_SUCCESS) {
            code = mosquitto_loop(client, 1000, 1);
            errorNumber = errno;
            wasConnected = wasConnected || connectedNow;
            std::lock_guard<std::mutex> lock(mutex);
            // After stop() the loop runs on until the DISCONNECT is out, a little while at most.
            if (stopping && (stoppingSeen || !connectedNow))
                break;
            stoppingSeen = stopping;
            if (!connectedNow && !wasConnected && Clock::now() > attemptEnd) {
                code = MOSQ_ERR_TIMEOUT;
                break;
            }
        }
        if (connectedNow.exchange(false))
            QMetaObject::invokeMethod(
                this, [this] { emit connectionLost(); }, Qt::QueuedConnection);
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping)
                return;
        }

        QString reason;
        if (refusal != 0)
            reason = QString::fromUtf8(mosquitto_connack_string(refusal));
        else if (code == MOSQ_ERR_ERRNO)
            reason = QString::fromLocal8Bit(std::strerror(errorNumber));
        else if (code == MOSQ_ERR_TIMEOUT)
            reason = QString("no answer within %1 s").arg(2 * keepAliveSeconds);
        else
            reason = QString::fromUtf8(mosquitto_strerror(code));
        if (!lastError.isEmpty() && code != MOSQ_ERR_CONN_LOST)
            reason += " (" + lastError + ")";
        if (wasConnected) {
            pauseSeconds = 1;
            lastReport.clear();
            const QString line = QString("MQTT: connection to %1 lost: %2; reconnecting")
                                     .arg(mqttUrlText(settings.url), reason);
            QMetaObject::invokeMethod(
                this, [this, line] { emit report(line); }, Qt::QueuedConnection);
        } else {
            failed(reason);
        }
        if (!pause(pauseSeconds))
            return;
        pauseSeconds = std::min(2 * pauseSeconds, longestPauseSeconds);
    }
}

void MqttConnection::onConnect(mosquitto *, void *self, int code)
{
    auto *connection = static_cast<MqttConnection *>(self);
    if (code != 0) {
        connection->refusal = code;
        return;
    }
    connection->lastReport.clear();
    connection->connectedNow = true;
    const QString line =
        QString("MQTT: connected to %1").arg(mqttUrlText(connection->settings.url));
    QMetaObject::invokeMethod(
        connection,
        [connection, line] {
            emit connection->report(line);
            emit connection->connected();
        },
        Qt::QueuedConnection);
}

void MqttConnection::onPublish(mosquitto *, void *self, int messageId)
{
    auto *connection = static_cast<MqttConnection *>(self);
    QMetaObject::invokeMethod(
        connection, [connection, messageId] { emit connection->published(messageId); },
        Qt::QueuedConnection);
}

void MqttConnection::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *connection = static_cast<MqttConnection *>(self);
    const QString topic = QString::fromUtf8(message->topic);
    const int longest = connection->longestMessage;
    const QByteArray payload(static_cast<const char *>(message->payload),
                             longest > 0 ? std::min(message->payloadlen, longest + 1)
                                         : message->payloadlen);
    {
        // While stopping the message is kept beyond the bound: it is acknowledged already.
        std::unique_lock<std::mutex> lock(connection->mutex);
        connection->taken.wait(lock, [connection] {
            return connection->stopping || int(connection->waiting.size()) < maxWaitingMessages;
        });
        connection->waiting.emplace_back(topic, payload);
    }
    QMetaObject::invokeMethod(
        connection, [connection] { emit connection->messagesWaiting(); }, Qt::QueuedConnection);
}

void MqttConnection::onLog(mosquitto *, void *self, int level, const char *text)
{
    if (level & MOSQ_LOG_ERR)
        static_cast<MqttConnection *>(self)->lastError = QString::fromUtf8(text);
}
