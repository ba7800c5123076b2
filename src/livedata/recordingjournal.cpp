#include "recordingjournal.h"

#include "app/customization.h"
#include "csvline.h"

#include <QDebug>
#include <QFile>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Writes what it can; returns the number of bytes written, which is size unless a write
// failed (errno then says why).
qint64 writeAll(int fd, const char *data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd, data + done, size_t(size - done));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        done += written;
    }
    return done;
}

// Cuts the file back to length after a write that stopped short, so that it ends in a
// complete line. Nothing more can be done when even that fails.
void cutTo(int fd, off_t length)
{
    if (::ftruncate(fd, length) == 0)
        ::lseek(fd, length, SEEK_SET);
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Length of the file up to and including its last line feed.
off_t completeLinesLength(int fd)
{
    const off_t size = ::lseek(fd, 0, SEEK_END);
    char buffer[4096];
    off_t end = size;
    while (end > 0) {
        const off_t start = end > off_t(sizeof buffer) ? end - off_t(sizeof buffer) : 0;
        const ssize_t count = ::pread(fd, buffer, size_t(end - start), start);
        if (count <= 0)
            return size;
        for (ssize_t i = count - 1; i >= 0; --i) {
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
    const QByteArray name = QFile::encodeName(path);
    // Created here means removed again when it cannot be set up, so that a failed open
    // leaves no empty file behind.
    bool created = true;
    fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        // Non-blocking, so that a named pipe in the journal's place cannot hang the open.
        fd = ::open(name.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    }
    if (fd < 0) {
        openError = systemError();
        return false;
    }
    const auto fail = [&](const QString &error) {
        openError = error;
        ::close(fd);
        fd = -1;
        if (created)
            ::unlink(name.constData());
        return false;
    };
    struct stat status;
    if (::fstat(fd, &status) != 0)
        return fail(systemError());
    if (!S_ISREG(status.st_mode))
        return fail("not a regular file");
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    head = csvHead(applicationName, companyName);
    const off_t complete = completeLinesLength(fd);
    if (complete == 0) {
        if (::ftruncate(fd, 0) != 0 || writeAll(fd, head.constData(), head.size()) != head.size()) {
            const QString error = systemError();
            cutTo(fd, 0);
            return fail(error);
        }
    } else if (::ftruncate(fd, complete) != 0) {
        return fail(systemError());
    }
    ::lseek(fd, 0, SEEK_END);
    ::fsync(fd);

    stopping = false;
    failed = false;
    restartPending = false;
    pending.clear();
    linesWritten = 0;
    writer = std::thread(&RecordingJournal::writerLoop, this);
    return true;
}

void RecordingJournal::append(const QDateTime &timestamp, uint32_t frameNr, uint16_t systemState,
                              double T, double rho, double nu, double eta, double nuUc)
{
    if (fd < 0)
        return;
    char line[maxCsvLineLength];
    char *end = formatCsvLine(line, timestamp, frameNr, systemState, T, rho, nu, eta, nuUc);
    {
        std::lock_guard<std::mutex> lock(mutex);
        pending.append(line, int(end - line));
    }
    wakeUp.notify_one();
}

void RecordingJournal::restart()
{
    if (fd < 0)
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
    if (fd < 0)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wakeUp.notify_one();
    writer.join();
    ::close(fd);
    fd = -1;
}

void RecordingJournal::writerLoop()
{
    using namespace std::chrono;
    auto lastSync = steady_clock::now();
    bool unsynced = false;
    off_t length = ::lseek(fd, 0, SEEK_END); // the file's complete lines
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
        int error = 0;
        if (restartNow) {
            linesWritten = 0;
            ok = ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0 &&
                 writeAll(fd, head.constData(), head.size()) == head.size();
            error = errno;
            // A head cut short is no head: the next open writes it again.
            length = ok ? off_t(head.size()) : 0;
            if (!ok)
                cutTo(fd, 0);
            unsynced = true;
            if (ok && failed) {
                failed = false;
                QMetaObject::invokeMethod(this, &RecordingJournal::resumed, Qt::QueuedConnection);
            }
        }
        // After a failed write the journal stops until it is restarted: lines that came
        // later would follow a gap that nothing in the file shows.
        if (ok && !failed && !lines.isEmpty()) {
            const qint64 written = writeAll(fd, lines.constData(), lines.size());
            ok = written == lines.size();
            error = errno;
            // A line reaches the file whole or not at all.
            const qint64 whole = written > 0 ? lines.lastIndexOf('\n', int(written) - 1) + 1 : 0;
            if (!ok)
                cutTo(fd, length + whole);
            length += whole;
            linesWritten += int(lines.left(int(whole)).count('\n'));
            unsynced = true;
            if (whole > 0)
                QMetaObject::invokeMethod(this, &RecordingJournal::appended, Qt::QueuedConnection);
        }
        if (ok && unsynced && (stop || steady_clock::now() - lastSync >= seconds(1))) {
            ok = ::fsync(fd) == 0;
            error = errno;
            lastSync = steady_clock::now();
            unsynced = false;
        }
        if (!ok && !failed) {
            failed = true;
            const QString message =
                QString("cannot write %1: %2")
                    .arg(filePath, QString::fromLocal8Bit(std::strerror(error)));
            QMetaObject::invokeMethod(
                this, [this, message] { emit writeFailed(message); }, Qt::QueuedConnection);
        }

        lock.lock();
        if (stop)
            return;
    }
}
