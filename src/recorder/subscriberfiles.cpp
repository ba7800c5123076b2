#include "subscriberfiles.h"

#include "csvline.h"
#include "customization.h"
#include "recordingfile.h"

#include <QDir>
#include <QFile>

namespace
{

// The last lines of a continued file that seed its duplicate check are read from at
// most this many bytes at its end.
constexpr qint64 seededBytes = 1 << 20;

} // namespace

SubscriberFiles::SubscriberFiles(const QString &pattern, int maxOpenFiles)
    : pattern(pattern), maxOpen(std::max(1, maxOpenFiles))
{
}

QString SubscriberFiles::pathOf(const QString &serial) const
{
    return QDir::current().absoluteFilePath(QString(pattern).replace("{serial}", serial));
}

SubscriberFiles::Outcome SubscriberFiles::write(const QString &serial, const LiveSample &sample,
                                                QString &error)
{
    Sensor &sensor = known[serial];
    if (sensor.refused)
        return Outcome::Refused;
    OpenFile *opened = openFile(serial, sensor, error);
    if (!opened)
        return sensor.refused ? Outcome::Refused : Outcome::Failed;
    recentlyWritten.splice(recentlyWritten.begin(), recentlyWritten, opened->recent);

    const Key key(sample.frameNr, sample.timestamp.toMSecsSinceEpoch());
    if (opened->seen.contains(key)) {
        ++sensor.duplicates;
        return Outcome::Duplicate;
    }
    char line[maxCsvLineLength];
    const qint64 size = formatCsvLine(line, sample) - line;
    if (opened->file.write(line, size) != size) {
        error = QString("cannot write %1: %2").arg(pathOf(serial), opened->file.errorString());
        // A line reaches the file whole or not at all.
        opened->file.truncate(opened->length);
        return Outcome::Failed;
    }
    opened->length += size;
    opened->unsynced = true;
    remember(*opened, key);
    ++sensor.written;
    return Outcome::Written;
}

std::pair<qint64, qint64> SubscriberFiles::takeSeq(const QString &serial, qint64 seq)
{
    Sensor &sensor = known[serial];
    const qint64 last = sensor.lastSeq;
    sensor.lastSeq = seq;
    if (last > 0 && seq > last + 1)
        return {last + 1, seq - 1};
    return {0, -1};
}

SubscriberFiles::OpenFile *SubscriberFiles::openFile(const QString &serial, Sensor &sensor,
                                                     QString &error)
{
    const auto found = open.constFind(serial);
    if (found != open.constEnd())
        return found->get();
    const QString path = pathOf(serial);
    const RecordingFileDecision decision = decideRecordingFile(path);
    if (decision.action == RecordingFileDecision::Refuse) {
        sensor.refused = true;
        error = decision.error;
        return nullptr;
    }
    if (int(open.size()) >= maxOpen)
        closeLeastRecent();
    auto opened = std::make_shared<OpenFile>();
    if (!openPath(*opened, path, error)) {
        // Out of file handles: fewer files at once, and this one again.
        if (open.isEmpty())
            return nullptr;
        maxOpen = std::max(1, int(open.size()) / 2);
        while (int(open.size()) >= maxOpen)
            closeLeastRecent();
        if (!openPath(*opened, path, error))
            return nullptr;
    }
    recentlyWritten.push_front(serial);
    opened->recent = recentlyWritten.begin();
    open.insert(serial, opened);
    return opened.get();
}

bool SubscriberFiles::openPath(OpenFile &opened, const QString &path, QString &error)
{
    PlatformFile &file = opened.file;
    PlatformFile::Opened result = file.create(path);
    const bool created = result == PlatformFile::Opened::Yes;
    if (result == PlatformFile::Opened::Exists)
        result = file.openRegular(path, true);
    if (result != PlatformFile::Opened::Yes) {
        error = QString("cannot open %1: %2")
                    .arg(path, result == PlatformFile::Opened::NotRegular
                                   ? QString("not a regular file")
                                   : file.errorString());
        return false;
    }
    const auto fail = [&] {
        error = QString("cannot write %1: %2").arg(path, file.errorString());
        file.close();
        if (created)
            QFile::remove(path);
        return false;
    };

    // The tail up to its last complete line: a line cut off by a crash is dropped.
    const qint64 size = file.size();
    const qint64 start = std::max<qint64>(0, size - seededBytes);
    QByteArray tail(int(size - start), Qt::Uninitialized);
    if (size < 0 || file.readAt(tail.data(), tail.size(), start) != tail.size())
        return fail();
    tail.truncate(tail.lastIndexOf('\n') + 1);
    opened.length = start + tail.size();
    if (opened.length == 0) {
        const QByteArray head = csvHead(applicationName, companyName);
        if (!file.truncate(0) || file.write(head.constData(), head.size()) != head.size()) {
            file.truncate(0);
            return fail();
        }
        opened.length = head.size();
    } else if (!file.truncate(opened.length)) {
        return fail();
    }
    file.seekToEnd();

    // The first line of a cut tail may be cut too; it fails to parse and is skipped.
    const QList<QByteArray> lines = tail.split('\n');
    for (int i = std::max(0, lines.size() - rememberedSamples - 1); i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        LiveSample sample;
        if (isCsvDataLine(line.constBegin(), line.constEnd()) &&
            parseCsvLine(line.constBegin(), line.constEnd(), sample) == nullptr)
            remember(opened, Key(sample.frameNr, sample.timestamp.toMSecsSinceEpoch()));
    }
    return true;
}

void SubscriberFiles::remember(OpenFile &opened, const Key &key)
{
    opened.seen.insert(key);
    opened.seenOrder.push_back(key);
    if (int(opened.seenOrder.size()) > rememberedSamples) {
        opened.seen.remove(opened.seenOrder.front());
        opened.seenOrder.pop_front();
    }
}

void SubscriberFiles::closeLeastRecent()
{
    if (recentlyWritten.empty())
        return;
    const QString serial = recentlyWritten.back();
    recentlyWritten.pop_back();
    const std::shared_ptr<OpenFile> closing = open.take(serial);
    if (closing->unsynced)
        closing->file.sync();
}

QString SubscriberFiles::sync()
{
    QString error;
    for (auto it = open.begin(); it != open.end(); ++it) {
        OpenFile &opened = **it;
        if (!opened.unsynced)
            continue;
        if (!opened.file.sync() && error.isEmpty())
            error = QString("cannot write %1: %2").arg(pathOf(it.key()), opened.file.errorString());
        opened.unsynced = false;
    }
    return error;
}

void SubscriberFiles::closeAll()
{
    sync();
    open.clear();
    recentlyWritten.clear();
}
