#ifndef TERMINALSETTINGS_H
#define TERMINALSETTINGS_H

#include <QString>

// The line settings a terminal device has now, as "19200 8E1" (speed, data bits, parity
// N/E/O, stop bits); empty when path cannot be read. A pseudo-terminal drops the flag that
// turns parity on but keeps the one that makes it odd: there, odd parity still reads O and
// even parity reads N.
QString terminalSettings(const QString &path);

#endif
