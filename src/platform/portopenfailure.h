#ifndef PORTOPENFAILURE_H
#define PORTOPENFAILURE_H

#include <QString>
#include <QStringList>

// Why a serial port would not open, worked out after the fact from the file system,
// the lock files Qt Serial Port keeps and the processes that hold the device, so
// that the user learns the cause and what to do rather than "connect failed".
struct PortOpenFailure {
    enum Cause { NotFound, PermissionDenied, Busy, Other };

    Cause cause = Other;
    QString text; // cause and remedy, one sentence or two
};

// deviceNotFound and errorString are what the serial port reported; lockFolders are
// searched for Qt's "LCK.." files (empty: the folders Qt Serial Port uses).
PortOpenFailure diagnosePortOpenFailure(const QString &path, bool deviceNotFound,
                                        const QString &errorString,
                                        const QStringList &lockFolders = {});

#endif
