#ifndef PTYPAIR_H
#define PTYPAIR_H

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair for link tests: the code under test opens slavePath() as
// its serial port, the test plays the peer on the master side.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isOpen() const { return masterFd >= 0; }
    QString slavePath() const { return path; }

    // Bytes that arrive within timeoutMs, read until the line has been quiet for
    // quietMs (one request as the master sees it).
    QByteArray readFrame(int timeoutMs = 2000, int quietMs = 30);
    // Everything available right now, without waiting.
    QByteArray readAvailable();
    bool write(const QByteArray &bytes);
    // Waits until bytes written by the peer are waiting to be read on the port side.
    bool waitUntilPortHoldsInput(int timeoutMs = 2000);
    // Closes the master side: the slave side sees a hang-up.
    void closeMaster();

private:
    int masterFd = -1;
    int slaveKeepAliveFd = -1;
    QString path;
};

#endif
