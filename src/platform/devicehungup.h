#ifndef DEVICEHUNGUP_H
#define DEVICEHUNGUP_H

#include <QtGlobal>

// Whether the device behind an open serial port's native handle has gone away (a
// pseudo-terminal's peer closed, an adapter pulled), asked without waiting. A device
// that reported a passing read or write error and is still there has not.
bool deviceHungUp(qintptr handle);

#endif
