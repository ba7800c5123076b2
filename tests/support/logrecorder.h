#ifndef LOGRECORDER_H
#define LOGRECORDER_H

#include <QStringList>
#include <QtGlobal>

// Records the messages logged while it lives. It passes them on to the handler it
// replaced (Qt Test's, so that ignoreMessage and the test log still see them) unless it
// is told to keep them to itself. Recorders nest; the innermost one records.
class LogRecorder
{
public:
    enum PassOn { PassOnToTest, KeepToItself };

    explicit LogRecorder(PassOn passOn = PassOnToTest);
    ~LogRecorder();
    LogRecorder(const LogRecorder &) = delete;
    LogRecorder &operator=(const LogRecorder &) = delete;

    // The texts of the messages of one type, in the order they came.
    QStringList messages(QtMsgType type) const;
    // Every message as "debug: ...", "info: ", "warning: ", "critical: " or "fatal: ".
    QStringList lines() const;
    bool contains(const QString &text) const;
    void clear() { recorded.clear(); }

private:
    static void record(QtMsgType type, const QMessageLogContext &context, const QString &text);

    struct Message {
        QtMsgType type;
        QString text;
    };
    QList<Message> recorded;
    PassOn passOn;
    QtMessageHandler previousHandler;
    LogRecorder *outer;
};

#endif
