#include "mosquittobroker.h"

#include "mqttconnection.h"
#include "testfiles.h"

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// A loopback port that nothing listens on now.
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool acceptsConnections(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(uint16_t(port));
    const bool accepted =
        ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return accepted;
}

// Run as root the broker changes to this user: the one whose files these are.
QString userName()
{
    const passwd *entry = ::getpwuid(::geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString("root");
}

} // namespace

MosquittoBroker::MosquittoBroker(const Setup &setup) : setup(setup)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(folder.filePath("mosquitto.out"));
}

MosquittoBroker::~MosquittoBroker()
{
    if (isRunning()) {
        process.kill();
        process.waitForFinished(30000);
    }
}

bool MosquittoBroker::run(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.setWorkingDirectory(folder.path());
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0) {
        problem += program + " " + arguments.join(' ') + ": " + tool.errorString() + "\n" +
                   QString::fromLocal8Bit(tool.readAll());
        return false;
    }
    return true;
}

bool MosquittoBroker::start(int timeoutMs)
{
    if (!folder.isValid())
        return false;
    if (listenPort == 0) {
        listenPort = freePort();
        QByteArray config = "listener " + QByteArray::number(listenPort) + " 127.0.0.1\n" +
                            "user " + userName().toLocal8Bit() + "\n" +
                            "persistence true\npersistence_location " +
                            QFile::encodeName(folder.path()) + "/\n" + "log_dest file " +
                            QFile::encodeName(folder.filePath("broker.log")) +
                            "\nlog_type error\nlog_type warning\nlog_type notice\n"
                            "log_type information\nlog_type subscribe\n" +
                            "max_queued_messages " + QByteArray::number(setup.queueLimit) + "\n";
        if (setup.autosaveSeconds > 0)
            config += "autosave_interval " + QByteArray::number(setup.autosaveSeconds) + "\n";
        if (setup.user.isEmpty()) {
            config += "allow_anonymous true\n";
        } else {
            if (!run("mosquitto_passwd", {"-b", "-c", "passwords", setup.user, setup.password}))
                return false;
            config += "allow_anonymous false\npassword_file " +
                      QFile::encodeName(folder.filePath("passwords")) + "\n";
        }
        if (setup.tls) {
            const QStringList ecKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                       "-nodes"};
            writeFile(folder.filePath("server.ext"), "subjectAltName=DNS:localhost,IP:127.0.0.1\n");
            if (!run("openssl", QStringList{"req", "-x509"} + ecKey +
                                    QStringList{"-keyout", "ca.key", "-out", "ca.crt", "-days", "2",
                                                "-subj", "/CN=Test CA"}) ||
                !run("openssl", QStringList{"req", "-x509"} + ecKey +
                                    QStringList{"-keyout", "other-ca.key", "-out", "other-ca.crt",
                                                "-days", "2", "-subj", "/CN=Other CA"}) ||
                !run("openssl", QStringList{"req"} + ecKey +
                                    QStringList{"-keyout", "server.key", "-out", "server.csr",
                                                "-subj", "/CN=localhost"}) ||
                !run("openssl", {"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey",
                                 "ca.key", "-CAcreateserial", "-out", "server.crt", "-days", "2",
                                 "-extfile", "server.ext"}))
                return false;
            config += "certfile " + QFile::encodeName(folder.filePath("server.crt")) +
                      "\nkeyfile " + QFile::encodeName(folder.filePath("server.key")) + "\n";
        }
        if (!writeFile(folder.filePath("mosquitto.conf"), config))
            return false;
    }
    process.start("mosquitto", {"-c", folder.filePath("mosquitto.conf")});
    if (!process.waitForStarted(timeoutMs))
        return false;
    return QTest::qWaitFor([this] { return !isRunning() || acceptsConnections(listenPort); },
                           timeoutMs) &&
           isRunning();
}

bool MosquittoBroker::stop(int timeoutMs)
{
    if (!isRunning())
        return true;
    process.terminate();
    return process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit;
}

bool MosquittoBroker::kill(int timeoutMs)
{
    if (!isRunning())
        return true;
    process.kill();
    return process.waitForFinished(timeoutMs);
}

QString MosquittoBroker::url() const
{
    return setup.tls ? QString("mqtts://localhost:%1").arg(listenPort)
                     : QString("mqtt://127.0.0.1:%1").arg(listenPort);
}

QString MosquittoBroker::writePasswordFile(const QString &user, const QString &password) const
{
    const QString path = folder.filePath("login-" + user + "-" + QString::number(password.size()));
    writeFile(path, (user + ":" + password + "\n").toUtf8());
    return path;
}

QString MosquittoBroker::log() const
{
    return problem + QString::fromLocal8Bit(readFile(folder.filePath("broker.log")) +
                                            readFile(folder.filePath("mosquitto.out")));
}

MqttCapture::MqttCapture(const MosquittoBroker &broker, const QString &pattern,
                         const QStringList &extra)
{
    // One session per capture: the broker keeps each across its restarts.
    static int captures = 0;
    clientId =
        QStringLiteral("capture-%1-%2").arg(QCoreApplication::applicationPid()).arg(++captures);
    const QUrl url(broker.url());
    // A session the broker keeps, so that a restarted broker still delivers to it.
    arguments = QStringList{"-h", url.host(), "-p",     QString::number(url.port()),
                            "-t", pattern,    "-q",     "1",
                            "-c", "-i",       clientId, "-v"} +
                extra;
}

MqttCapture::~MqttCapture()
{
    process.kill();
    process.waitForFinished(30000);
}

bool MqttCapture::start(const MosquittoBroker &broker, int timeoutMs)
{
    process.start("mosquitto_sub", arguments);
    if (!process.waitForStarted(timeoutMs))
        return false;
    return QTest::qWaitFor(
               [&] {
                   return broker.log().contains(clientId + " 1 ") ||
                          process.state() == QProcess::NotRunning;
               },
               timeoutMs) &&
           process.state() == QProcess::Running;
}

QList<QPair<QString, QByteArray>> MqttCapture::messages()
{
    pending += process.readAllStandardOutput();
    int newline;
    while ((newline = pending.indexOf('\n')) >= 0) {
        const QByteArray line = pending.left(newline);
        pending.remove(0, newline + 1);
        const int space = line.indexOf(' ');
        received.append({QString::fromUtf8(line.left(space)), line.mid(space + 1)});
    }
    return received;
}

QList<QByteArray> MqttCapture::payloads(const QString &topic)
{
    QList<QByteArray> result;
    for (const auto &message : messages()) {
        if (message.first == topic)
            result.append(message.second);
    }
    return result;
}

bool MqttCapture::waitForCount(const QString &topic, int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return payloads(topic).size() >= count; }, timeoutMs);
}

QString MqttCapture::errorOutput()
{
    return QString::fromLocal8Bit(process.readAllStandardError());
}

MqttTestPublisher::MqttTestPublisher(const MosquittoBroker &broker)
{
    MqttSettings settings;
    settings.url.host = "127.0.0.1";
    settings.url.port = broker.port();
    connection = std::make_unique<MqttConnection>(settings, QString());
    QObject::connect(connection.get(), &MqttConnection::published,
                     [this](int messageId) { unacknowledged.remove(messageId); });
    connection->start();
}

MqttTestPublisher::~MqttTestPublisher() = default;

bool MqttTestPublisher::publish(const QList<QPair<QString, QByteArray>> &messages, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    if (!QTest::qWaitFor([this] { return connection->isConnected(); }, timeoutMs))
        return false;
    for (const auto &message : messages) {
        int messageId = 0;
        if (!connection->publish(message.first, message.second, false, messageId))
            return false;
        unacknowledged.insert(messageId);
    }
    return QTest::qWaitFor([this] { return unacknowledged.isEmpty(); },
                           int(deadline.remainingTime()));
}
