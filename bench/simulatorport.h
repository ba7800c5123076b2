#ifndef SIMULATORPORT_H
#define SIMULATORPORT_H

#include <QProcess>
#include <QString>
#include <QStringList>

// Starts the simulator at path with arguments (and --exit-with-parent) and returns its
// port, from its "port: ..." line; empty when it did not start.
QString startSimulator(QProcess &sim, const QString &path, const QStringList &arguments);

#endif
