#include "serialportlist.h"

#include "networkaddress.h"

#include <QDir>
#include <QFileInfo>

namespace
{

QStringList &userGivenPaths()
{
    static QStringList paths;
    return paths;
}

QString &stablePortFolder()
{
#ifdef Q_OS_WIN
    static QString folder;
#else
    static QString folder = "/dev/serial/by-id";
#endif
    return folder;
}

// Each link of the stable folder whose device exists, with that device.
QList<QPair<QString, QString>> stablePorts()
{
    QList<QPair<QString, QString>> ports;
    if (stablePortFolder().isEmpty())
        return ports;
    const QFileInfoList links =
        QDir(stablePortFolder())
            .entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &link : links) {
        const QString device = link.canonicalFilePath();
        if (link.isSymLink() && !device.isEmpty())
            ports.append({link.absoluteFilePath(), device});
    }
    return ports;
}

} // namespace

void setUserGivenPorts(const QStringList &paths)
{
    userGivenPaths() = paths;
}

QStringList userGivenPorts()
{
    return userGivenPaths();
}

void setStablePortFolder(const QString &folder)
{
    stablePortFolder() = folder;
}

QString stablePortName(const QString &path)
{
    const QString device = QFileInfo(path).canonicalFilePath();
    if (device.isEmpty())
        return QString();
    for (const auto &port : stablePorts()) {
        if (port.first == QFileInfo(path).absoluteFilePath() || port.second == device)
            return port.first;
    }
    return QString();
}

QList<SerialPortEntry> availableSerialPorts()
{
    QList<SerialPortEntry> ports;
    const QList<EnumeratedPort> enumerated = enumeratedSerialPorts();
    for (const EnumeratedPort &info : enumerated)
        ports.append({info.name, info.description});
    for (const auto &stable : stablePorts()) {
        QString description = stable.second;
        if (description.startsWith("/dev/"))
            description = description.mid(5);
        for (const EnumeratedPort &info : enumerated) {
            if (info.device == stable.second && !info.description.isEmpty())
                description = info.description + ", " + description;
        }
        ports.append({stable.first, "stable name of " + description});
    }
    // A network address is no serial port: the port box takes it as typed text.
    for (const QString &path : qAsConst(userGivenPaths())) {
        if (networkKind(path) == NetworkKind::None)
            ports.append({path, "user-given port"});
    }
    return ports;
}

bool samePortList(const QList<SerialPortEntry> &a, const QList<SerialPortEntry> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].description != b[i].description)
            return false;
    }
    return true;
}
