#include "smallfilesystem.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

SmallFileSystem::SmallFileSystem(const QString &folderName, int sizeBytes)
    : folder(QDir::current().absoluteFilePath(folderName))
{
    umount(QFile::encodeName(folder).constData()); // left by a test that died
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const QByteArray options = "size=" + QByteArray::number(sizeBytes);
    mounted =
        mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) == 0;
}

SmallFileSystem::~SmallFileSystem()
{
    if (mounted)
        umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
    QDir(folder).removeRecursively();
}

bool SmallFileSystem::fill(const QString &name)
{
    const int fd = ::open(QFile::encodeName(filePath(name)).constData(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const QByteArray block(512, 'x');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    const bool full = errno == ENOSPC;
    // Then byte by byte into the last partial block.
    while (full && ::write(fd, "x", 1) > 0) {
    }
    ::close(fd);
    return full;
}
