#include "logrecorder.h"

namespace
{

LogRecorder *current = nullptr;

const char *typeName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "?";
}

} // namespace

LogRecorder::LogRecorder(PassOn passOn)
    : passOn(passOn), previousHandler(qInstallMessageHandler(record)), outer(current)
{
    current = this;
}

LogRecorder::~LogRecorder()
{
    current = outer;
    qInstallMessageHandler(previousHandler);
}

QStringList LogRecorder::messages(QtMsgType type) const
{
    QStringList texts;
    for (const Message &message : recorded) {
        if (message.type == type)
            texts << message.text;
    }
    return texts;
}

QStringList LogRecorder::lines() const
{
    QStringList texts;
    for (const Message &message : recorded)
        texts << QString("%1: %2").arg(typeName(message.type), message.text);
    return texts;
}

bool LogRecorder::contains(const QString &text) const
{
    for (const Message &message : recorded) {
        if (message.text.contains(text))
            return true;
    }
    return false;
}

void LogRecorder::record(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    LogRecorder *recorder = current;
    recorder->recorded.append({type, text});
    if (recorder->passOn == PassOnToTest && recorder->previousHandler)
        recorder->previousHandler(type, context, text);
}
