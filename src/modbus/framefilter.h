#ifndef FRAMEFILTER_H
#define FRAMEFILTER_H

#include "framelog.h"

// Which entries of the bus monitor are shown. A frame is kept by its address byte and
// its function code (an exception reply counts as its request's function); events
// ("time-out", "connection lost") carry neither and pass those two tests.
struct FrameFilter {
    int address = -1;  // -1: any
    int function = -1; // -1: any
    bool errorsOnly = false;

    bool matches(const FrameLog::Entry &entry) const;
};

// A reply that failed its checks or is an exception, or an event that ended an exchange
// or a connection.
bool isErrorEntry(const FrameLog::Entry &entry);

#endif
