#include "benchcontext.h"

#include <QFile>

namespace
{

QStringList lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll()).split('\n');
}

} // namespace

QString cpuModel()
{
    int processors = 0;
    QString model;
    for (const QString &line : lines("/proc/cpuinfo")) {
        if (line.startsWith("model name")) {
            ++processors;
            model = line.section(':', 1).trimmed();
        }
    }
    if (processors == 0)
        return "unknown";
    return QString("%1 (%2 logical processors)").arg(model).arg(processors);
}

QString loadAverage()
{
    const QStringList content = lines("/proc/loadavg");
    return content.isEmpty() ? QString("unknown") : content.first().section(' ', 0, 2);
}
