#ifndef LINKSTATE_H
#define LINKSTATE_H

#include <QString>

#include <cstdint>

// The link's connection as the user sees it. A probe that timed out goes on waiting:
// a late answer still connects.
enum class LinkState {
    NotConnected,    // never connected, or disconnected on request
    OpenFailed,      // the port could not be opened
    Connecting,      // the probe is on the wire
    ProbeUnanswered, // the probe timed out; still waiting for an answer
    Connected,       // the sensor answered
    ConnectionLost,  // the port went away while open
};

// The parameters of the last connect request.
struct LinkSettings {
    QString portName;
    uint32_t baudrate = 0;
    uint8_t mode = 0;
    uint8_t address = 0;
};

#endif
