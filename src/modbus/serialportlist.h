#ifndef SERIALPORTLIST_H
#define SERIALPORTLIST_H

#include <QList>
#include <QString>
#include <QStringList>

// The serial ports offered for connecting: those the system enumerates, then their
// stable names (the links of /dev/serial/by-id, which survive a replug that gives the
// adapter another ttyUSBn; Windows has none), then those the user named on the command
// line (pseudo-terminals, socat or ser2net bridges, virtual COM drivers), which the system
// does not list. Network addresses the user named are not in the list.

struct SerialPortEntry {
    QString name;
    QString description;
};

// A port as the system enumerates it, with its device ("/dev/ttyUSB0"; on Windows the
// driver's, "\Device\Serial0").
struct EnumeratedPort {
    QString name;
    QString description;
    QString device;
};

// Qt Serial Port's list on Linux (serialportlistposix.cpp); on Windows the COM ports of
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM by number, described by their device
// (serialportlistwindows.cpp).
QList<EnumeratedPort> enumeratedSerialPorts();

void setUserGivenPorts(const QStringList &paths);
// The folder of stable names; "/dev/serial/by-id" unless set otherwise, none on Windows.
void setStablePortFolder(const QString &folder);

// The stable name of the device behind path (path itself when it is one); empty when
// it has none.
QString stablePortName(const QString &path);
QStringList userGivenPorts();

QList<SerialPortEntry> availableSerialPorts();

// Two lists count as the same when they have as many entries with equal names and
// descriptions in the same places. Names count too: an adapter plugged back in often
// comes back under another name with the same description, and a list showing the old
// name would offer a port that is gone.
bool samePortList(const QList<SerialPortEntry> &a, const QList<SerialPortEntry> &b);

#endif
