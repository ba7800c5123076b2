#ifndef LINESETTINGS_H
#define LINESETTINGS_H

#include <QString>

#include <chrono>
#include <cstdint>

struct termios;

// Baud rate and mode of a serial line; the mode uses the sensor's coding of
// register 37: 0 none/1, 1 none/2, 2 even/1, 3 even/2, 4 odd/1, 5 odd/2, 8 data bits.
struct LineSettings {
    uint32_t baudrate = 19200;
    int mode = 0;

    static bool isValidBaudrate(uint32_t baudrate);
    static bool isValidMode(int mode) { return mode >= 0 && mode <= 5; }

    // Start bit, 8 data bits, parity and stop bits: 11 with parity or two stop bits.
    int bitsPerCharacter() const { return mode == 0 ? 10 : 11; }
    std::chrono::nanoseconds characterTime() const;

    // "19200 baud, none/1"
    QString describe() const;

    // Raw mode with these settings.
    void applyTo(termios &attributes) const;
    // The baud rate a port is set to; 0 for any but the sensor's three.
    static uint32_t baudrateOf(const termios &attributes);
};

#endif
