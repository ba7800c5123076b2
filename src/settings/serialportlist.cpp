#include "serialportlist.h"

#include <QSerialPortInfo>

namespace
{

QStringList &userGivenPaths()
{
    static QStringList paths;
    return paths;
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

QList<SerialPortEntry> availableSerialPorts()
{
    QList<SerialPortEntry> ports;
    const QList<QSerialPortInfo> enumerated = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : enumerated)
        ports.append({info.portName(), info.description()});
    for (const QString &path : qAsConst(userGivenPaths()))
        ports.append({path, "user-given port"});
    return ports;
}

bool sameDescriptions(const QList<SerialPortEntry> &a, const QList<SerialPortEntry> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a[i].description != b[i].description)
            return false;
    }
    return true;
}
