#ifndef SERIALLINE_H
#define SERIALLINE_H

#include "linesettings.h"

#include <QString>

// The simulator's end of the line: the master side of a new pseudo-terminal, whose
// slave side the tool opens as its serial port, or an existing serial device.
class SerialLine
{
public:
    SerialLine() = default;
    ~SerialLine();
    SerialLine(const SerialLine &) = delete;
    SerialLine &operator=(const SerialLine &) = delete;

    bool openPseudoTerminal(const LineSettings &line, QString *error);
    bool openDevice(const QString &path, const LineSettings &line, QString *error);

    int fd() const { return lineFd; }
    QString portName() const { return name; }
    bool isPseudoTerminal() const { return pseudoTerminal; }

    // Sets speed and framing on a device; on a pseudo-terminal only the defaults the
    // peer finds when it opens the port without setting them.
    bool configure(const LineSettings &line, QString *error);

    // On a pseudo-terminal the peer's baud rate is visible (Linux keeps no parity on
    // a pseudo-terminal, so that cannot be compared); a device's line is physics.
    bool peerMatches(const LineSettings &line, QString *peerBaudrate) const;

    // The peer closed the port: bytes already written but never read would greet the
    // next opener, so they go.
    void discardUnreadOutput();

    // Reads and forgets what has arrived; returns the number of bytes.
    int drainInput();

private:
    int lineFd = -1;
    QString name;
    bool pseudoTerminal = false;
};

#endif
