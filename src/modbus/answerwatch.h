#ifndef ANSWERWATCH_H
#define ANSWERWATCH_H

#include <QDateTime>
#include <QString>

// Whether a connected sensor still answers: the time of its last good reply and the
// response time-outs since. A sensor that hangs keeps its port open, so the link stays
// connected; this tells the window that what it shows is no longer current. The times
// come from the caller.
class AnswerWatch
{
public:
    // The link connected (the sensor just answered) or ended: nothing missed so far.
    void start(const QDateTime &now);
    // What the link reported of a request: the empty text for a good reply, a text
    // ending in "timeout" for a response time-out; other errors change nothing.
    void linkResult(const QString &error, const QDateTime &now);

    // Time-outs since the last good reply; the sensor is quiet while there are any.
    bool isQuiet() const { return timeouts > 0; }
    int timeoutCount() const { return timeouts; }
    QDateTime lastAnswer() const { return lastAnswerTime; }

private:
    QDateTime lastAnswerTime;
    int timeouts = 0;
};

#endif
