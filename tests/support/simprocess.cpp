#include "simprocess.h"

#include "testseed.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <limits>

namespace
{

QString optionValue(const QStringList &arguments, const QString &option)
{
    const int index = arguments.indexOf(option);
    return index >= 0 ? arguments.value(index + 1) : QString();
}

double number(const QJsonValue &value)
{
    return value.isDouble() ? value.toDouble() : std::numeric_limits<double>::quiet_NaN();
}

} // namespace

SimProcess::SimProcess(const QStringList &arguments)
    : arguments(arguments + QStringList{QStringLiteral("--exit-with-parent")})
{
    statePath = optionValue(arguments, QStringLiteral("--state-file"));
    if (statePath.isEmpty()) {
        statePath = directory.filePath(QStringLiteral("state.json"));
        this->arguments << QStringLiteral("--state-file") << statePath;
    }
    framesPath = optionValue(arguments, QStringLiteral("--frames-log"));
    if (framesPath.isEmpty()) {
        framesPath = directory.filePath(QStringLiteral("frames.log"));
        this->arguments << QStringLiteral("--frames-log") << framesPath;
    }
    if (!arguments.contains(QStringLiteral("--seed")))
        this->arguments << QStringLiteral("--seed") << QString::number(testSeed());
    // A file, not a pipe: a chatty simulator must never block on a full pipe.
    process.setStandardErrorFile(directory.filePath(QStringLiteral("stderr.log")));
}

SimProcess::~SimProcess()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(30000);
    }
}

bool SimProcess::start(int timeoutMs)
{
    process.start(QStringLiteral(QUVA_SIM_PATH), arguments);
    if (!process.waitForStarted(timeoutMs))
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    while (!process.canReadLine()) {
        if (process.state() != QProcess::Running || deadline.hasExpired())
            return false;
        process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    const QString line = QString::fromLocal8Bit(process.readLine()).trimmed();
    if (!line.startsWith(QLatin1String("port: ")))
        return false;
    port = line.mid(6);
    return true;
}

bool SimProcess::stop(int timeoutMs)
{
    if (process.state() == QProcess::NotRunning)
        return false;
    process.terminate();
    return process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

void SimProcess::kill()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(30000);
}

bool SimProcess::isRunning() const
{
    return process.state() == QProcess::Running;
}

QString SimProcess::errorOutput() const
{
    QFile file(directory.filePath(QStringLiteral("stderr.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

QJsonObject SimProcess::state() const
{
    QFile file(statePath);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(file.readAll()).object();
}

QVector<uint16_t> SimProcess::registers() const
{
    QVector<uint16_t> words;
    const QJsonArray array = state().value(QStringLiteral("registers")).toArray();
    for (const QJsonValue &value : array)
        words.append(uint16_t(value.toInt()));
    return words;
}

qint64 SimProcess::counter(const QString &name) const
{
    return qint64(state().value(QStringLiteral("counters")).toObject().value(name).toDouble(-1));
}

QHash<QString, qint64> SimProcess::counters() const
{
    QHash<QString, qint64> values;
    const QJsonObject counters = state().value(QStringLiteral("counters")).toObject();
    for (auto it = counters.begin(); it != counters.end(); ++it)
        values.insert(it.key(), qint64(it.value().toDouble()));
    return values;
}

QVector<SimProcess::Frame> SimProcess::frames() const
{
    QVector<Frame> frames;
    QFile file(framesPath);
    if (!file.open(QIODevice::ReadOnly))
        return frames;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        // The last line may still be in the making.
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.isEmpty())
            continue;
        Frame frame;
        frame.frameNr = uint32_t(object.value(QStringLiteral("frame")).toDouble());
        frame.time = QDateTime::fromString(object.value(QStringLiteral("time")).toString(),
                                           Qt::ISODateWithMs);
        for (const QJsonValue &word : object.value(QStringLiteral("words")).toArray())
            frame.words.append(uint16_t(word.toInt()));
        frame.nu = number(object.value(QStringLiteral("nu")));
        frame.rho = number(object.value(QStringLiteral("rho")));
        frame.T = number(object.value(QStringLiteral("T")));
        frame.eta = number(object.value(QStringLiteral("eta")));
        frame.nuUc = number(object.value(QStringLiteral("nuUc")));
        frame.systemState = uint16_t(object.value(QStringLiteral("state")).toInt());
        frames.append(frame);
    }
    return frames;
}

SimProcess::Frame SimProcess::frame(uint32_t frameNr) const
{
    const QVector<Frame> all = frames();
    for (const Frame &frame : all) {
        if (frame.frameNr == frameNr)
            return frame;
    }
    return Frame();
}

bool SimProcess::waitForFrames(int count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return frames().size() >= count; }, timeoutMs);
}
