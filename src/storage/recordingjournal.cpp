#include "recordingjournal.h"

#include "csvline.h"
#include "customization.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>

namespace
{

// Length of the file up to and including its last line feed.
qint64 completeLinesLength(PlatformFile &file)
{
    const qint64 size = file.size();
    char buffer[4096];
    qint64 end = size;
    while (end > 0) {
        const qint64 start = end > qint64(sizeof buffer) ? end - qint64(sizeof buffer) : 0;
        const qint64 count = file.readAt(buffer, end - start, start);
        if (count <= 0)
            return size;
        for (qint64 i = count - 1; i >= 0; --i) {
            if (buffer[i] == '\n')
                return start + i + 1;
        }
        end = start;
    }
    return 0;
}

} // namespace

RecordingJournal::RecordingJournal(QObject *parent) : QObject(parent) {}

RecordingJournal::~RecordingJournal()
{
    close();
}

bool RecordingJournal::open(const QString &path)
{
    close();
    filePath = path;
    openError.clear();
    // Created here means removed again when it cannot be set up, so that a failed open
    // leaves no empty file behind. An existing file is opened without blocking, so that
    // a named pipe in the journal's place cannot hang the open.
    PlatformFile::Opened opened = file.create(path);
    const bool created = opened == PlatformFile::Opened::Yes;
    if (opened == PlatformFile::Opened::Exists)
        opened = file.openRegular(path, true);
    if (opened != PlatformFile::Opened::Yes) {
        openError = opened == PlatformFile::Opened::NotRegular ? QString("not a regular file")
                                                               : file.errorString();
        return false;
    }
    const auto fail = [&](const QString &error) {
        openError = error;
        file.close();
        if (created)
            QFile::remove(path);
        return false;
    };

    head = withLineEnd(csvHead(applicationName, companyName), textFileLineEnd);
    const qint64 complete = completeLinesLength(file);
    if (complete == 0) {
        if (!file.truncate(0) || file.write(head.constData(), head.size()) != head.size()) {
            const QString error = file.errorString();
            file.truncate(0);
            return fail(error);
        }
    } else if (!file.truncate(complete)) {
        return fail(file.errorString());
    }
    file.seekToEnd();
    file.sync();

    stopping = false;
    failed = false;
    fileGone = false;
    restartPending = false;
    pending.clear();
    linesWritten = 0;
    writer = std::thread(&RecordingJournal::writerLoop, this);
    return true;
}

void RecordingJournal::append(const LiveSample &sample)
{
    if (!isOpen())
        return;
    char line[maxCsvLineLength];
    char *end = formatCsvLine(line, sample);
    {
        std::lock_guard<std::mutex> lock(mutex);
        pending.append(
            withLineEnd(QByteArray::fromRawData(line, int(end - line)), textFileLineEnd));
    }
    wakeUp.notify_one();
}

void RecordingJournal::restart()
{
    if (!isOpen())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        pending.clear();
        restartPending = true;
    }
    wakeUp.notify_one();
}

void RecordingJournal::close()
{
    if (!isOpen())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wakeUp.notify_one();
    writer.join();
    file.close();
}

bool RecordingJournal::start(const QString &path)
{
    if (!open(path)) {
        emit fileError(QString("cannot open %1: %2").arg(path, openError));
        return false;
    }
    emit started();
    return true;
}

void RecordingJournal::startOver()
{
    // One that could not be opened before, or that lost its file, is started anew.
    if (fileGone)
        close();
    if (!isOpen() && !filePath.isEmpty())
        start(filePath);
    restart();
}

QString RecordingJournal::asideName(const QString &path, const QDateTime &firstSample)
{
    const QFileInfo journal(path);
    const QString stem = journal.absoluteDir().absoluteFilePath(
        journal.completeBaseName() + "-" + firstSample.toString("yyyy-MM-ddTHH-mm-ss"));
    QString name = stem + ".csv";
    for (int i = 2; QFile::exists(name); ++i)
        name = QString("%1-%2.csv").arg(stem).arg(i);
    return name;
}

bool RecordingJournal::moveAside(const QString &path, const QString &asideName)
{
    if (!QFile::rename(path, asideName)) {
        emit fileError(QString("cannot rename %1 to %2").arg(path, asideName));
        return false;
    }
    qDebug() << "RecordingJournal: recording kept as" << asideName;
    return true;
}

QString RecordingJournal::setAside(const QString &asideName)
{
    if (!isOpen())
        return QString();
    const QString path = filePath;
    close();
    const QString keptIn = moveAside(path, asideName) ? asideName : path;
    start(path);
    return keptIn;
}

void RecordingJournal::remove()
{
    close();
    if (!filePath.isEmpty())
        QFile::remove(filePath);
}

void RecordingJournal::writerLoop()
{
    using namespace std::chrono;
    auto lastSync = steady_clock::now();
    bool unsynced = false;
    qint64 length = file.seekToEnd(); // the file's complete lines
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wakeUp.wait_for(lock, milliseconds(250),
                        [this] { return stopping || restartPending || !pending.isEmpty(); });
        const bool stop = stopping;
        const bool restartNow = restartPending;
        QByteArray lines;
        lines.swap(pending);
        restartPending = false;
        lock.unlock();

        bool ok = true;
        QString error;
        if (restartNow) {
            linesWritten = 0;
            ok = file.truncate(0) && file.write(head.constData(), head.size()) == head.size();
            error = file.errorString();
            // A head cut short is no head: the next open writes it again.
            length = ok ? qint64(head.size()) : 0;
            if (!ok)
                file.truncate(0);
            unsynced = true;
            if (ok && failed) {
                failed = false;
                QMetaObject::invokeMethod(this, &RecordingJournal::resumed, Qt::QueuedConnection);
            }
        }
        // After a failed write the journal stops until it is restarted: lines that came
        // later would follow a gap that nothing in the file shows.
        if (ok && !failed && !lines.isEmpty()) {
            const qint64 written = file.write(lines.constData(), lines.size());
            ok = written == lines.size();
            error = file.errorString();
            // A line reaches the file whole or not at all; nothing more can be done when
            // even cutting it back fails.
            const qint64 whole = written > 0 ? lines.lastIndexOf('\n', int(written) - 1) + 1 : 0;
            if (!ok)
                file.truncate(length + whole);
            length += whole;
            linesWritten += int(lines.left(int(whole)).count('\n'));
            unsynced = true;
            if (whole > 0)
                QMetaObject::invokeMethod(this, &RecordingJournal::appended, Qt::QueuedConnection);
        }
        // Writing on into a file that was removed or replaced would look like recording.
        if (ok && !failed && !file.isAt(filePath)) {
            ok = false;
            error = "the file was removed or replaced";
            fileGone = true;
        }
        if (ok && unsynced && (stop || steady_clock::now() - lastSync >= seconds(1))) {
            ok = file.sync();
            error = file.errorString();
            lastSync = steady_clock::now();
            unsynced = false;
        }
        if (!ok && !failed) {
            failed = true;
            const QString message = QString("cannot write %1: %2").arg(filePath, error);
            QMetaObject::invokeMethod(
                this, [this, message] { emit writeFailed(message); }, Qt::QueuedConnection);
        }

        lock.lock();
        if (stop)
            return;
    }
}
