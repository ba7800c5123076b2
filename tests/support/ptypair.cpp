#include "ptypair.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    char name[256] = {};
    int slaveFd = -1;
    if (openpty(&masterFd, &slaveFd, name, nullptr, nullptr) != 0) {
        masterFd = -1;
        return;
    }
    termios settings;
    tcgetattr(slaveFd, &settings);
    cfmakeraw(&settings);
    tcsetattr(slaveFd, TCSANOW, &settings);
    // Keeping one slave descriptor open lets the code under test close and reopen
    // the port without the master seeing a hang-up in between.
    slaveKeepAliveFd = slaveFd;
    fcntl(masterFd, F_SETFL, fcntl(masterFd, F_GETFL) | O_NONBLOCK);
    path = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair()
{
    closeMaster();
    if (slaveKeepAliveFd >= 0)
        ::close(slaveKeepAliveFd);
}

QByteArray PtyPair::readFrame(int timeoutMs, int quietMs)
{
    QByteArray bytes;
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer quiet;
    while (masterFd >= 0) {
        // The code under test runs in this thread's event loop.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const QByteArray chunk = readAvailable();
        if (!chunk.isEmpty()) {
            bytes += chunk;
            quiet.start();
            continue;
        }
        if (!bytes.isEmpty() && quiet.elapsed() >= quietMs)
            break;
        if (bytes.isEmpty() && clock.elapsed() >= timeoutMs)
            break;
        pollfd descriptor = {masterFd, POLLIN, 0};
        ::poll(&descriptor, 1, 2);
    }
    return bytes;
}

QByteArray PtyPair::readAvailable()
{
    QByteArray bytes;
    char buffer[512];
    while (masterFd >= 0) {
        const ssize_t count = ::read(masterFd, buffer, sizeof buffer);
        if (count <= 0)
            break;
        bytes.append(buffer, int(count));
    }
    return bytes;
}

bool PtyPair::write(const QByteArray &bytes)
{
    qint64 written = 0;
    while (masterFd >= 0 && written < bytes.size()) {
        const ssize_t count =
            ::write(masterFd, bytes.constData() + written, size_t(bytes.size() - written));
        if (count < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (count > 0)
            written += count;
    }
    return written == bytes.size();
}

bool PtyPair::waitUntilPortHoldsInput(int timeoutMs)
{
    pollfd descriptor = {slaveKeepAliveFd, POLLIN, 0};
    return ::poll(&descriptor, 1, timeoutMs) == 1 && (descriptor.revents & POLLIN);
}

void PtyPair::closeMaster()
{
    if (masterFd >= 0)
        ::close(masterFd);
    masterFd = -1;
}
