#include "answerwatch.h"

void AnswerWatch::start(const QDateTime &now)
{
    lastAnswerTime = now;
    timeouts = 0;
}

void AnswerWatch::linkResult(const QString &error, const QDateTime &now)
{
    if (error.isEmpty())
        start(now);
    else if (error.endsWith("timeout"))
        ++timeouts;
}
