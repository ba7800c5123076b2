#include "platformfile.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

QString systemError(int number = errno)
{
    return QString::fromLocal8Bit(std::strerror(number));
}

// What a file that is not a regular file is, for the message that refuses it.
QString fileKind(mode_t mode)
{
    if (S_ISDIR(mode))
        return "is a folder, not a file";
    if (S_ISFIFO(mode))
        return "is a named pipe, not a regular file";
    if (S_ISCHR(mode))
        return "is a character device, not a regular file";
    if (S_ISBLK(mode))
        return "is a block device, not a regular file";
    if (S_ISSOCK(mode))
        return "is a socket, not a regular file";
    return "is not a regular file";
}

} // namespace

PlatformFile::~PlatformFile()
{
    close();
}

bool PlatformFile::failed()
{
    error = systemError();
    return false;
}

PlatformFile::Opened PlatformFile::create(const QString &path)
{
    close();
    handle =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (handle >= 0)
        return Opened::Yes;
    const bool exists = errno == EEXIST;
    failed();
    return exists ? Opened::Exists : Opened::Failed;
}

PlatformFile::Opened PlatformFile::openRegular(const QString &path, bool writable)
{
    close();
    handle = ::open(QFile::encodeName(path).constData(),
                    (writable ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) {
        const bool missing = errno == ENOENT;
        failed();
        return missing ? Opened::Missing : Opened::Failed;
    }
    struct stat status;
    Opened result = Opened::Yes;
    if (::fstat(handle, &status) != 0) {
        failed();
        result = Opened::Failed;
    } else if (!S_ISREG(status.st_mode)) {
        error = fileKind(status.st_mode);
        result = Opened::NotRegular;
    }
    if (result != Opened::Yes) {
        close();
        return result;
    }
    ::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) & ~O_NONBLOCK);
    return Opened::Yes;
}

void PlatformFile::close()
{
    if (handle >= 0)
        ::close(handle);
    handle = -1;
}

qint64 PlatformFile::size()
{
    struct stat status;
    if (::fstat(handle, &status) != 0) {
        failed();
        return -1;
    }
    return qint64(status.st_size);
}

qint64 PlatformFile::read(char *data, qint64 size)
{
    for (;;) {
        const ssize_t count = ::read(handle, data, size_t(size));
        if (count >= 0)
            return count;
        if (errno != EINTR) {
            failed();
            return -1;
        }
    }
}

qint64 PlatformFile::readAt(char *data, qint64 size, qint64 offset)
{
    for (;;) {
        const ssize_t count = ::pread(handle, data, size_t(size), off_t(offset));
        if (count >= 0)
            return count;
        if (errno != EINTR) {
            failed();
            return -1;
        }
    }
}

qint64 PlatformFile::write(const char *data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t written = ::write(handle, data + done, size_t(size - done));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            failed();
            break;
        }
        done += written;
    }
    return done;
}

bool PlatformFile::truncate(qint64 length)
{
    return (::ftruncate(handle, off_t(length)) == 0 &&
            ::lseek(handle, off_t(length), SEEK_SET) == off_t(length)) ||
           failed();
}

qint64 PlatformFile::seekToEnd()
{
    const off_t position = ::lseek(handle, 0, SEEK_END);
    if (position < 0)
        failed();
    return qint64(position);
}

bool PlatformFile::sync()
{
    return ::fsync(handle) == 0 || failed();
}

bool PlatformFile::isAt(const QString &path)
{
    struct stat open;
    struct stat named;
    if (::fstat(handle, &open) != 0)
        return failed();
    if (::stat(QFile::encodeName(path).constData(), &named) != 0)
        return false;
    return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

FileStatus fileStatus(const QString &path)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        if (errno == ENOENT)
            return {FileStatus::Missing, 0, QString()};
        return {FileStatus::Failed, 0, systemError()};
    }
    return {S_ISREG(status.st_mode) ? FileStatus::Regular : FileStatus::Other,
            qint64(status.st_size), QString()};
}

bool replaceFile(const QString &source, const QString &target, QString &error)
{
    const bool replaced = std::rename(QFile::encodeName(source).constData(),
                                      QFile::encodeName(target).constData()) == 0;
    if (!replaced)
        error = systemError();
    return replaced;
}
