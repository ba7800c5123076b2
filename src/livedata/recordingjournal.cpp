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

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
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
    fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        openError = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }

    head = csvHead(applicationName, companyName);
    const off_t complete = completeLinesLength(fd);
    if (complete == 0) {
        if (::ftruncate(fd, 0) != 0 || !writeAll(fd, head.constData(), head.size())) {
            openError = QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd);
            fd = -1;
            return false;
        }
    } else if (::ftruncate(fd, complete) != 0) {
        openError = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        fd = -1;
        return false;
    }
    ::lseek(fd, 0, SEEK_END);
    ::fsync(fd);

    stopping = false;
    failed = false;
    restartPending = false;
    pending.clear();
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
        if (restartNow) {
            ok = ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0 &&
                 writeAll(fd, head.constData(), head.size());
            unsynced = true;
            if (ok)
                failed = false;
        }
        // After a failed write the file may end in a cut line; appending more would
        // bury it mid-file, so the journal stops until it is restarted.
        if (ok && !failed && !lines.isEmpty()) {
            ok = writeAll(fd, lines.constData(), lines.size());
            unsynced = true;
        }
        if (ok && unsynced && (stop || steady_clock::now() - lastSync >= seconds(1))) {
            ok = ::fsync(fd) == 0;
            lastSync = steady_clock::now();
            unsynced = false;
        }
        if (!ok && !failed) {
            failed = true;
            const QString error = QString("cannot write %1: %2")
                                      .arg(filePath, QString::fromLocal8Bit(std::strerror(errno)));
            QMetaObject::invokeMethod(
                this, [this, error] { emit writeFailed(error); }, Qt::QueuedConnection);
        }

        lock.lock();
        if (stop)
            return;
    }
}
