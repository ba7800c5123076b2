#ifndef CONSUMERPROCESS_H
#define CONSUMERPROCESS_H

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

class MosquittoBroker;

// quva-recorder --subscribe for a test, run in a folder of its own below the working
// directory, optionally under a limit of open files:
//
//     ConsumerProcess consumer("plant");
//     QVERIFY2(consumer.start(broker, {"--record", "data/{serial}.csv"}), ...);
//     ...
//     QVERIFY(consumer.stop());
class ConsumerProcess
{
public:
    explicit ConsumerProcess(const QString &folderName);
    ~ConsumerProcess();
    ConsumerProcess(const ConsumerProcess &) = delete;
    ConsumerProcess &operator=(const ConsumerProcess &) = delete;

    QString folder() const { return path; }
    QString filePath(const QString &name) const { return path + "/" + name; }

    // Starts it on the broker with arguments after --subscribe URL and waits until its
    // subscription on pattern is in place (the broker's log says so). openFiles > 0: at
    // most that many descriptors.
    bool start(const MosquittoBroker &broker, const QStringList &arguments,
               const QString &pattern = "quva/+/sample", int openFiles = 0);
    // Sends the signal and waits for the end; false when it did not end.
    bool stop(int signalNumber);
    bool stop();
    int exitCode() const { return process.exitCode(); }
    QString output();
    QString errors();
    // A field of /proc/PID/status as a number ("VmHWM" in kB, "Threads"); -1 when not running.
    qint64 status(const QByteArray &field) const;
    // The descriptors it has open; -1 when not running.
    int openDescriptors() const;

private:
    QString path;
    QProcess process;
    QString stdoutText;
    QString stderrText;
};

// The data lines of a CSV file, without the head lines and the column header.
QList<QByteArray> csvDataLines(const QString &path);

#endif
