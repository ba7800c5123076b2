#include "loopbackport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

LoopbackPort::LoopbackPort(Behaviour behaviour)
{
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        qFatal("LoopbackPort: cannot bind a port on 127.0.0.1");
    number = ntohs(address.sin_port);
    if (behaviour == Refusing)
        return;
    // Linux drops the handshake of a listener whose queue is full: with room for one, the
    // connections below fill it and the next one is never answered.
    if (::listen(listener, 0) != 0)
        qFatal("LoopbackPort: cannot listen");
    for (int &filler : fillers) {
        filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(filler, reinterpret_cast<sockaddr *>(&address), sizeof address);
    }
}

LoopbackPort::~LoopbackPort()
{
    for (int filler : fillers) {
        if (filler >= 0)
            ::close(filler);
    }
    ::close(listener);
}

QString LoopbackPort::address(const QString &scheme) const
{
    return QString("%1://127.0.0.1:%2").arg(scheme).arg(number);
}
