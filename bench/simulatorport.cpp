#include "simulatorport.h"

QString startSimulator(QProcess &sim, const QString &path, const QStringList &arguments)
{
    sim.start(path, arguments + QStringList{"--exit-with-parent"});
    QByteArray output;
    while (sim.waitForReadyRead(30000)) {
        output += sim.readAllStandardOutput();
        const int at = output.indexOf("port: ");
        const int end = output.indexOf('\n', at);
        if (at >= 0 && end > at)
            return QString::fromLocal8Bit(output.mid(at + 6, end - at - 6));
    }
    return QString();
}
