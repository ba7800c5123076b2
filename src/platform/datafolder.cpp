#include "datafolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

QString dataFolderPath(const QString &xdgDataHome, const QString &home)
{
    const QString base = QDir::isAbsolutePath(xdgDataHome) ? xdgDataHome : home + "/.local/share";
    return QDir::cleanPath(base + "/quva-explorer");
}

bool enterDataFolder(QString &error)
{
#ifdef Q_OS_WIN
    // %LOCALAPPDATA%\QUVA-Explorer, the folder the installer's Start menu entry starts in.
    const QString path = QDir::cleanPath(
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/QUVA-Explorer");
#else
    const QString path = dataFolderPath(qEnvironmentVariable("XDG_DATA_HOME"), QDir::homePath());
#endif
    errno = 0;
    if (!QDir().mkpath(path) || !QDir::setCurrent(path)) {
        const QString reason = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno))
                               : QFileInfo(path).exists() ? QString("not a usable folder")
                                                          : QString("cannot be created");
        error = QString("Cannot use the data folder %1: %2.").arg(path, reason);
        return false;
    }
    return true;
}
