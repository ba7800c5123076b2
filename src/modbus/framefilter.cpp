#include "framefilter.h"

#include "modbusframe.h"

#include <QStringList>

namespace
{

const QStringList failureEvents{"time-out", "connect failed", "connection lost"};

} // namespace

bool isErrorEntry(const FrameLog::Entry &entry)
{
    switch (entry.direction) {
    case FrameLog::Sent:
        return false;
    case FrameLog::Received: {
        const ModbusReply reply = checkReply(entry.bytes, entry.expectedAddress);
        return reply.status != ModbusReply::Valid || (reply.function & 0x80) != 0;
    }
    case FrameLog::Event:
        break;
    }
    return failureEvents.contains(entry.event);
}

bool FrameFilter::matches(const FrameLog::Entry &entry) const
{
    if (errorsOnly && !isErrorEntry(entry))
        return false;
    if (entry.direction == FrameLog::Event)
        return true;
    if (address >= 0 && (entry.bytes.isEmpty() || uint8_t(entry.bytes[0]) != address))
        return false;
    if (function >= 0 && (entry.bytes.size() < 2 || (uint8_t(entry.bytes[1]) & 0x7F) != function))
        return false;
    return true;
}
