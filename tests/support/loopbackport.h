#ifndef LOOPBACKPORT_H
#define LOOPBACKPORT_H

#include <QString>

#include <cstdint>

// A TCP port on 127.0.0.1 held for a test, so that no other test takes it:
// Refusing turns every connection away; Silent listens with its queue of waiting
// connections full, so that a new connection gets no answer at all, as from a host that
// is down.
class LoopbackPort
{
public:
    enum Behaviour { Refusing, Silent };

    explicit LoopbackPort(Behaviour behaviour);
    ~LoopbackPort();
    LoopbackPort(const LoopbackPort &) = delete;
    LoopbackPort &operator=(const LoopbackPort &) = delete;

    uint16_t port() const { return number; }
    // "scheme://127.0.0.1:PORT"
    QString address(const QString &scheme) const;

private:
    int listener = -1;
    int fillers[4] = {-1, -1, -1, -1};
    uint16_t number = 0;
};

#endif
