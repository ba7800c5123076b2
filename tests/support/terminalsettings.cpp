#include "terminalsettings.h"

#include <QFile>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace
{

int speedOf(speed_t speed)
{
    switch (speed) {
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B115200:
        return 115200;
    default:
        return -1;
    }
}

int dataBitsOf(tcflag_t flags)
{
    switch (flags & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

} // namespace

QString terminalSettings(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return QString();
    termios attributes;
    const bool read = tcgetattr(fd, &attributes) == 0;
    ::close(fd);
    if (!read)
        return QString();
    const tcflag_t flags = attributes.c_cflag;
    const char parity = (flags & PARODD) ? 'O' : (flags & PARENB) ? 'E' : 'N';
    return QString("%1 %2%3%4")
        .arg(speedOf(cfgetospeed(&attributes)))
        .arg(dataBitsOf(flags))
        .arg(parity)
        .arg(flags & CSTOPB ? 2 : 1);
}
