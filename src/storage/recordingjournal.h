#ifndef RECORDINGJOURNAL_H
#define RECORDINGJOURNAL_H

#include "livesample.h"
#include "platformfile.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// A recording file that samples reach as they are taken, in the CSV export format.
// Lines are formatted in the caller's thread and handed to a writer thread, which
// writes them at once (so a crash of the program loses nothing already appended)
// and syncs the file at least every second (so a power cut loses at most that);
// append() itself never waits for the disk. It also keeps the journal's life: started,
// emptied, set aside under a name of its own, or removed once its samples are saved
// elsewhere; the recorder and the Live Data tab share these rules.
class RecordingJournal : public QObject
{
    Q_OBJECT

public:
    explicit RecordingJournal(QObject *parent = nullptr);
    ~RecordingJournal() override;

    // Opens path for appending: a new or empty file gets the head lines; an existing
    // recording goes on after its last complete line (a line cut off by a crash is
    // dropped). False with errorString() when the file cannot be opened or is not a
    // regular file; a file created here is then removed again.
    bool open(const QString &path);
    bool isOpen() const { return file.isOpen(); }
    QString path() const { return filePath; }
    QString errorString() const { return openError; }

    void append(const LiveSample &sample);
    // Empties the file down to its head lines, after everything appended before.
    void restart();
    // Writes and syncs everything appended so far, then closes the file.
    void close();
    // Data lines that reached the file since it was opened or restarted. A write that
    // stops short (a full disk) is cut back to its last complete line, so this is what
    // the file holds.
    int samplesWritten() const { return linesWritten; }

    // open() that says how it went: started(), or fileError() naming the file.
    bool start(const QString &path);
    // restart(); a journal that could not be started before, or whose file was removed
    // or replaced under it, is started anew first.
    void startOver();
    // Moves the recording to asideName and starts an empty journal under the old name.
    // Returns where the recording is now (the old name when it could not be moved), or
    // an empty string when no journal is open.
    QString setAside(const QString &asideName);
    // Renames the closed journal file at path to asideName; false (with fileError())
    // when it cannot.
    bool moveAside(const QString &path, const QString &asideName);
    // A name beside the journal at path that no file has yet, for a recording set aside:
    // "<name>-<first sample's time>.csv", numbered when taken.
    static QString asideName(const QString &path, const QDateTime &firstSample);
    // Closes and deletes the file: its samples are saved elsewhere, or there were none.
    void remove();

signals:
    // The first write error, reported once per open file; also when the file was removed
    // or replaced, so that samples no longer reach it.
    void writeFailed(QString error);
    // The journal writes again after a failure, once restart() succeeded.
    void resumed();
    // start() opened the journal.
    void started();
    // start() or moving the journal aside failed.
    void fileError(QString error);
    // Complete lines reached the file.
    void appended();

private:
    void writerLoop();

    QString filePath;
    QString openError;
    PlatformFile file; // written by the writer thread while it runs
    QByteArray head;

    std::mutex mutex;
    std::condition_variable wakeUp;
    QByteArray pending; // lines waiting for the writer
    bool restartPending = false;
    bool stopping = false;
    bool failed = false;
    std::atomic<bool> fileGone{false};
    std::atomic<int> linesWritten{0};
    std::thread writer;
};

#endif
