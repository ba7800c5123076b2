#ifndef NETWORKLINE_H
#define NETWORKLINE_H

#include <QString>

#include <cstdint>

// The simulator's end of a network link: a TCP port on 127.0.0.1 and the one connection
// it serves. A new connection replaces the one before, as with a device server that
// lets the last client in.
class NetworkLine
{
public:
    NetworkLine() = default;
    ~NetworkLine();
    NetworkLine(const NetworkLine &) = delete;
    NetworkLine &operator=(const NetworkLine &) = delete;

    // port 0: one the system picks. The address may be taken again at once after a restart.
    bool listen(int port, QString *error);
    // Takes the waiting connection, closing the one before; false when none was waiting.
    bool acceptClient();
    void closeClient();

    int listenFd() const { return listener; }
    int clientFd() const { return client; }
    uint16_t port() const { return boundPort; }

private:
    int listener = -1;
    int client = -1;
    uint16_t boundPort = 0;
};

#endif
