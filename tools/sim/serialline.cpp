#include "serialline.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace
{

QString systemError(const QString &what)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

SerialLine::~SerialLine()
{
    if (lineFd >= 0)
        ::close(lineFd);
}

bool SerialLine::openPseudoTerminal(const LineSettings &line, QString *error)
{
    lineFd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (lineFd < 0) {
        *error = systemError(QStringLiteral("cannot create a pseudo-terminal"));
        return false;
    }
    char path[128];
    if (grantpt(lineFd) != 0 || unlockpt(lineFd) != 0 ||
        ptsname_r(lineFd, path, sizeof path) != 0) {
        *error = systemError(QStringLiteral("cannot unlock the pseudo-terminal"));
        return false;
    }
    name = QString::fromLocal8Bit(path);
    pseudoTerminal = true;
    return configure(line, error);
}

bool SerialLine::openDevice(const QString &path, const LineSettings &line, QString *error)
{
    lineFd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (lineFd < 0) {
        *error = systemError(QStringLiteral("cannot open %1").arg(path));
        return false;
    }
    name = path;
    return configure(line, error);
}

bool SerialLine::configure(const LineSettings &line, QString *error)
{
    // On a pseudo-terminal master, the terminal attributes are the slave's.
    termios attributes{};
    if (tcgetattr(lineFd, &attributes) != 0) {
        if (!pseudoTerminal && errno == ENOTTY)
            return true;
        *error = systemError(QStringLiteral("cannot read the line settings of %1").arg(name));
        return false;
    }
    line.applyTo(attributes);
    if (tcsetattr(lineFd, TCSANOW, &attributes) != 0) {
        *error = systemError(QStringLiteral("cannot set the line settings of %1").arg(name));
        return false;
    }
    return true;
}

bool SerialLine::peerMatches(const LineSettings &line, QString *peerBaudrate) const
{
    if (!pseudoTerminal)
        return true;
    termios attributes{};
    if (tcgetattr(lineFd, &attributes) != 0)
        return true;
    const uint32_t baudrate = LineSettings::baudrateOf(attributes);
    *peerBaudrate =
        baudrate ? QStringLiteral("%1 baud").arg(baudrate) : QStringLiteral("an unusual baud rate");
    return baudrate == line.baudrate;
}

void SerialLine::discardUnreadOutput()
{
    if (!pseudoTerminal)
        return;
    // Flushing from the master side leaves the slave's input queue alone.
    const int slave =
        ::open(name.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0)
        return;
    tcflush(slave, TCIFLUSH);
    ::close(slave);
}

int SerialLine::drainInput()
{
    int total = 0;
    char buffer[256];
    for (;;) {
        const ssize_t count = ::read(lineFd, buffer, sizeof buffer);
        if (count <= 0)
            return total;
        total += int(count);
    }
}
