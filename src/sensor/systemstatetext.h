#ifndef SYSTEMSTATETEXT_H
#define SYSTEMSTATETEXT_H

#include <QString>

#include <cstdint>

// The text of a sensor state word: the texts of its set bits, in ascending bit
// order, joined by ", " or, with multiline, by line feeds. Bits without a text
// (0x0200, 0x1000..0x8000) still add their separator; no known bit gives "normal".
QString systemStateText(uint16_t state, bool multiline);

// The status bar's line for a state: "Current System State: ..." while the sensor is
// connected, and, once the connection ended, a line that says it is the last one seen.
QString systemStateLine(uint16_t state, bool live);

#endif
