#ifndef STATEREPORT_H
#define STATEREPORT_H

#include "linesettings.h"
#include "liveencoding.h"
#include "sensorregisters.h"

#include <QByteArray>
#include <QDateTime>

#include <cstdint>

struct SimCounters {
    uint64_t requests = 0;   // well-formed requests for this address
    uint64_t replies = 0;    // replies put on the line, exceptions included
    uint64_t exceptions = 0; // writes rejected by the register rules or by libmodbus
    uint64_t ignoredOtherAddress = 0;
    uint64_t ignoredLineSettings = 0;
    uint64_t ignoredRebooting = 0;
    uint64_t invalidRequests = 0; // bad CRC, incomplete
    uint64_t injectedDrop = 0;
    uint64_t injectedBadCrc = 0;
    uint64_t injectedWrongAddress = 0;
    uint64_t injectedSplit = 0;
    uint64_t injectedException = 0;
    uint64_t injectedGarbage = 0;
    uint64_t frames = 0;
    uint64_t reboots = 0;
};

struct SimStatus {
    int address = 1;   // the address the sensor answers now
    LineSettings line; // the line settings it answers with now
    bool rebooting = false;
};

// The --state-file document: register image, committed settings, line, counters.
QByteArray stateDocument(const SensorRegisters &registers, const SimStatus &status,
                         const SimCounters &counters);

// One --frames-log line (JSON, newline-terminated); missing values are null.
QByteArray frameLogLine(const LiveFrame &frame, const QDateTime &time);

#endif
