#include "serialportlist.h"

#include <QSerialPortInfo>

QList<EnumeratedPort> enumeratedSerialPorts()
{
    QList<EnumeratedPort> ports;
    const QList<QSerialPortInfo> enumerated = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : enumerated)
        ports.append({info.portName(), info.description(), info.systemLocation()});
    return ports;
}
