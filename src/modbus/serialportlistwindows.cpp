#include "serialportlist.h"

#include "comport.h"

QList<EnumeratedPort> enumeratedSerialPorts()
{
    QList<EnumeratedPort> ports;
    for (const ComPort::Listed &listed : ComPort::listed()) {
        const QString device = QString::fromStdWString(listed.device);
        ports.append({QString::fromStdWString(listed.name), device, device});
    }
    return ports;
}
