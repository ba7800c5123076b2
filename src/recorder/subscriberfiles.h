#ifndef SUBSCRIBERFILES_H
#define SUBSCRIBERFILES_H

#include "livesample.h"
#include "platformfile.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <utility>

// The consumer's CSV files, one per sensor, named by a pattern with {serial}. A line is
// written at once, in the caller's thread, so that what write() reported as written is
// in the file; a line cut short (a full disk) is cut back and reported as failed, and the
// same sample can be written again later. At most maxOpenFiles are open at once: the one
// written longest ago is closed and opened again when its sensor sends again. A file
// opened (new, continued, or again) seeds its duplicate check from its own last lines,
// so a continued file gets no line twice.
class SubscriberFiles
{
public:
    enum class Outcome {
        Written,
        Duplicate, // (frame, time) already in the file
        Refused,   // the file is not a recording of this program: the sensor is not kept
        Failed,    // not written now; error says why
    };

    struct Sensor {
        int written = 0;
        int duplicates = 0;
        bool refused = false;
        qint64 lastSeq = 0; // of the last sample written in this run; 0: none yet
    };

    // How many recent samples per open file are remembered to recognise a duplicate.
    static constexpr int rememberedSamples = 10000;

    SubscriberFiles(const QString &pattern, int maxOpenFiles);

    // serial is normalised. error: for Refused and Failed, the line to show.
    Outcome write(const QString &serial, const LiveSample &sample, QString &error);
    // After a sample with seq was written: the seq numbers skipped since the sensor's last
    // one, as first and last; an empty pair (0, -1) when none. A lower seq (another file of
    // the recorder) starts again.
    std::pair<qint64, qint64> takeSeq(const QString &serial, qint64 seq);
    // Syncs what was written since the last sync; the first error, or empty.
    QString sync();
    void closeAll();

    QString pathOf(const QString &serial) const;
    const std::map<QString, Sensor> &sensors() const { return known; }
    int openFiles() const { return int(open.size()); }

private:
    using Key = std::pair<uint32_t, qint64>; // frame, time in ms since the epoch

    struct OpenFile {
        PlatformFile file;
        qint64 length = 0; // up to the end of the last complete line
        bool unsynced = false;
        QSet<Key> seen;
        std::deque<Key> seenOrder;
        std::list<QString>::iterator recent;
    };

    OpenFile *openFile(const QString &serial, Sensor &sensor, QString &error);
    bool openPath(OpenFile &opened, const QString &path, QString &error);
    void remember(OpenFile &opened, const Key &key);
    void closeLeastRecent();

    QString pattern;
    int maxOpen;
    std::map<QString, Sensor> known;
    QHash<QString, std::shared_ptr<OpenFile>> open;
    std::list<QString> recentlyWritten; // most recent first
};

#endif
