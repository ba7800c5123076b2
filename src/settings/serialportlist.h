#ifndef SERIALPORTLIST_H
#define SERIALPORTLIST_H

#include <QList>
#include <QString>
#include <QStringList>

// The serial ports offered for connecting: those the system enumerates, then those
// the user named on the command line (pseudo-terminals, socat or ser2net bridges,
// virtual COM drivers), which the system does not list.

struct SerialPortEntry {
    QString name;
    QString description;
};

void setUserGivenPorts(const QStringList &paths);
QStringList userGivenPorts();

QList<SerialPortEntry> availableSerialPorts();

// Two lists count as the same when they have as many entries with equal
// descriptions in the same places; names are not compared.
bool sameDescriptions(const QList<SerialPortEntry> &a, const QList<SerialPortEntry> &b);

#endif
