#include "consumerprocess.h"

#include "csvline.h"
#include "mosquittobroker.h"
#include "testfiles.h"

#include <QtTest>

#include <csignal>

ConsumerProcess::ConsumerProcess(const QString &folderName)
    : path(QDir::current().absoluteFilePath(folderName))
{
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    process.setWorkingDirectory(path);
}

ConsumerProcess::~ConsumerProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(30000);
    }
}

bool ConsumerProcess::start(const MosquittoBroker &broker, const QStringList &arguments,
                            const QString &pattern, int openFiles)
{
    const QString subscribed = " 1 " + pattern + "\n";
    const int before = broker.log().count(subscribed);
    const QStringList command =
        QStringList{QUVA_RECORDER_PATH, "--subscribe", broker.url()} + arguments;
    if (openFiles > 0)
        process.start(
            "sh", QStringList{"-c", QString("ulimit -n %1 && exec \"$@\"").arg(openFiles), "sh"} +
                      command);
    else
        process.start(command.first(), command.mid(1));
    return process.waitForStarted(30000) &&
           QTest::qWaitFor(
               [&] {
                   return broker.log().count(subscribed) > before ||
                          process.state() == QProcess::NotRunning;
               },
               60000) &&
           process.state() == QProcess::Running;
}

bool ConsumerProcess::stop(int signalNumber)
{
    if (process.state() == QProcess::NotRunning)
        return true;
    ::kill(pid_t(process.processId()), signalNumber);
    return process.waitForFinished(60000);
}

bool ConsumerProcess::stop()
{
    return stop(SIGTERM);
}

QString ConsumerProcess::output()
{
    stdoutText += QString::fromUtf8(process.readAllStandardOutput());
    return stdoutText;
}

QString ConsumerProcess::errors()
{
    stderrText += QString::fromUtf8(process.readAllStandardError());
    return stderrText;
}

qint64 ConsumerProcess::status(const QByteArray &field) const
{
    if (process.state() == QProcess::NotRunning)
        return -1;
    const QByteArray text = readFile(QString("/proc/%1/status").arg(process.processId()));
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

int ConsumerProcess::openDescriptors() const
{
    if (process.state() == QProcess::NotRunning)
        return -1;
    return QDir(QString("/proc/%1/fd").arg(process.processId()))
        .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
        .size();
}

QList<QByteArray> csvDataLines(const QString &path)
{
    QList<QByteArray> lines;
    for (const QByteArray &line : readFile(path).split('\n')) {
        if (isCsvDataLine(line.constBegin(), line.constEnd()))
            lines.append(line);
    }
    return lines;
}
