#include "linesettings.h"

#include <termios.h>

namespace
{

speed_t speedConstant(uint32_t baudrate)
{
    switch (baudrate) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 115200:
        return B115200;
    }
    return B0;
}

uint32_t speedValue(speed_t speed)
{
    switch (speed) {
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B115200:
        return 115200;
    }
    return 0;
}

bool hasParity(int mode)
{
    return mode >= 2;
}
bool oddParity(int mode)
{
    return mode >= 4;
}
bool twoStopBits(int mode)
{
    return mode % 2 == 1;
}

const char *parityName(bool parity, bool odd)
{
    if (!parity)
        return "none";
    return odd ? "odd" : "even";
}

} // namespace

bool LineSettings::isValidBaudrate(uint32_t baudrate)
{
    return speedConstant(baudrate) != B0;
}

std::chrono::nanoseconds LineSettings::characterTime() const
{
    return std::chrono::nanoseconds(1000000000LL * bitsPerCharacter() / baudrate);
}

QString LineSettings::describe() const
{
    return QStringLiteral("%1 baud, %2/%3")
        .arg(baudrate)
        .arg(QLatin1String(parityName(hasParity(mode), oddParity(mode))))
        .arg(twoStopBits(mode) ? 2 : 1);
}

void LineSettings::applyTo(termios &attributes) const
{
    cfmakeraw(&attributes);
    attributes.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR);
    attributes.c_cflag |= CS8 | CLOCAL | CREAD;
    if (hasParity(mode))
        attributes.c_cflag |= PARENB;
    if (oddParity(mode))
        attributes.c_cflag |= PARODD;
    if (twoStopBits(mode))
        attributes.c_cflag |= CSTOPB;
    attributes.c_cc[VMIN] = 0;
    attributes.c_cc[VTIME] = 0;
    cfsetispeed(&attributes, speedConstant(baudrate));
    cfsetospeed(&attributes, speedConstant(baudrate));
}

uint32_t LineSettings::baudrateOf(const termios &attributes)
{
    return speedValue(cfgetospeed(&attributes));
}
