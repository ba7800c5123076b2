#include "portopenfailure.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

QStringList qtLockFolders()
{
    return {"/var/lock",
            "/etc/locks",
            "/var/spool/locks",
            "/var/spool/uucp",
            "/tmp",
            "/var/tmp",
            "/var/lock/lockdev",
            "/run/lock",
            QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
}

// Qt Serial Port names its lock file after the port: "/dev/" dropped, '/' as '_'.
QString lockFileName(QString path)
{
    if (path.startsWith("/dev/"))
        path = path.mid(5);
    return "LCK.." + path.replace('/', '_');
}

QString processName(qint64 pid)
{
    QFile comm(QString("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

QString describeProcess(qint64 pid)
{
    const QString name = processName(pid);
    return name.isEmpty() ? QString("process %1").arg(pid)
                          : QString("%1, process %2").arg(name).arg(pid);
}

// The first lock file of a live process other than this one, and that process.
QString heldLock(const QStringList &paths, const QStringList &folders)
{
    for (const QString &folder : folders) {
        for (const QString &path : paths) {
            QFile lock(folder + "/" + lockFileName(path));
            if (!lock.open(QIODevice::ReadOnly))
                continue;
            const qint64 pid = lock.readLine().trimmed().toLongLong();
            if (pid <= 0 || pid == QCoreApplication::applicationPid() ||
                (::kill(pid_t(pid), 0) != 0 && errno == ESRCH))
                continue;
            return QString("%1 holds the lock file %2").arg(describeProcess(pid), lock.fileName());
        }
    }
    return QString();
}

// The other processes that have the device open, as far as /proc shows them.
QStringList holders(const QString &device)
{
    QStringList found;
    const QStringList pids = QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs);
    for (const QString &pid : pids) {
        if (pid.toLongLong() == QCoreApplication::applicationPid())
            continue;
        const QDir fds("/proc/" + pid + "/fd");
        for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() == device) {
                found << describeProcess(pid.toLongLong());
                break;
            }
        }
    }
    return found;
}

} // namespace

PortOpenFailure diagnosePortOpenFailure(const QString &path, bool deviceNotFound,
                                        const QString &errorString, const QStringList &lockFolders)
{
    PortOpenFailure failure;
    const QByteArray localPath = QFile::encodeName(path);
    struct stat info;
    if (deviceNotFound || ::stat(localPath.constData(), &info) != 0) {
        failure.cause = PortOpenFailure::NotFound;
        failure.text = QString("%1 was not found: the adapter is unplugged, or the path does not "
                               "exist. Plug it in or choose another port.")
                           .arg(path);
        return failure;
    }

    const QString device = QFileInfo(path).canonicalFilePath();
    const QString lock =
        heldLock({path, device}, lockFolders.isEmpty() ? qtLockFolders() : lockFolders);
    if (!lock.isEmpty()) {
        failure.cause = PortOpenFailure::Busy;
        failure.text = QString("%1 is busy: in use by another program (%2). Close it, or choose "
                               "another port.")
                           .arg(path, lock);
        return failure;
    }

    if (::access(localPath.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        failure.cause = PortOpenFailure::PermissionDenied;
        const group *owner = ::getgrgid(info.st_gid);
        const QString groupName = owner ? QString::fromLocal8Bit(owner->gr_name) : QString();
        if (groupName.isEmpty() || info.st_gid == 0 || !(info.st_mode & S_IRWXG))
            failure.text = QString("Permission denied on %1: you may not read and write it. "
                                   "Ask the administrator for access to the device.")
                               .arg(path);
        else
            failure.text = QString("Permission denied on %1: it belongs to the group %2. Add "
                                   "yourself to it with \"sudo usermod -aG %2 $USER\", then log "
                                   "out and in again.")
                               .arg(path, groupName);
        return failure;
    }

    const QStringList users = holders(device);
    if (errorString == QString::fromLocal8Bit(std::strerror(EBUSY)) || !users.isEmpty()) {
        failure.cause = PortOpenFailure::Busy;
        failure.text = users.isEmpty()
                           ? QString("%1 is busy: another program holds it exclusively. Close "
                                     "it, or choose another port.")
                                 .arg(path)
                           : QString("%1 is busy: in use by another program (%2). Close it, or "
                                     "choose another port.")
                                 .arg(path, users.join("; "));
        return failure;
    }

    failure.text = QString("%1 could not be opened: %2.").arg(path, errorString);
    return failure;
}
