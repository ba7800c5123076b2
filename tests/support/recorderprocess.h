#ifndef RECORDERPROCESS_H
#define RECORDERPROCESS_H

#include <QProcess>
#include <QString>
#include <QStringList>

// The recorder without a window as a process of the test, with what it has said so far:
//
//     RecorderProcess recorder({"--record", "run.csv", "--port", sim.portName()});
//     QVERIFY(recorder.waitForError("Connection lost at"));
//     QVERIFY(recorder.stop());
class RecorderProcess
{
public:
    explicit RecorderProcess(const QStringList &arguments,
                             const QString &program = QUVA_RECORDER_PATH);
    ~RecorderProcess();

    const QString &output();
    const QString &errors();
    // Waits until stderr holds text.
    bool waitForError(const QString &text, int timeoutMs = 60000);
    // Waits for the end by itself; true when it ended normally, with exitCode() then set.
    bool waitForExit(int timeoutMs = 60000);
    // SIGINT, then waits; true when it ended normally.
    bool stop();
    int exitCode() const { return process.exitCode(); }

    // The samples a CSV file of the recorder holds; 0 when it cannot be read.
    static int samples(const QString &path);

private:
    QProcess process;
    QString out;
    QString err;
};

#endif
