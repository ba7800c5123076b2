#include "recorderprocess.h"

#include "measurementdata.h"

#include <QTest>

#include <csignal>

RecorderProcess::RecorderProcess(const QStringList &arguments, const QString &program)
{
    process.start(program, arguments);
}

RecorderProcess::~RecorderProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(30000);
    }
}

const QString &RecorderProcess::output()
{
    out += process.readAllStandardOutput();
    return out;
}

const QString &RecorderProcess::errors()
{
    err += process.readAllStandardError();
    return err;
}

bool RecorderProcess::waitForError(const QString &text, int timeoutMs)
{
    return QTest::qWaitFor([&] { return errors().contains(text); }, timeoutMs);
}

bool RecorderProcess::waitForExit(int timeoutMs)
{
    const bool ended = process.waitForFinished(timeoutMs);
    output();
    errors();
    return ended && process.exitStatus() == QProcess::NormalExit;
}

bool RecorderProcess::stop()
{
    ::kill(pid_t(process.processId()), SIGINT);
    return waitForExit(30000);
}

int RecorderProcess::samples(const QString &path)
{
    MeasurementData store;
    store.importCsv(path);
    return store.frameNr.size();
}
