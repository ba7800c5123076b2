#ifndef RECORDINGJOURNAL_H
#define RECORDINGJOURNAL_H

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

// A recording file that samples reach as they are taken, in the CSV export format.
// Lines are formatted in the caller's thread and handed to a writer thread, which
// writes them at once (so a crash of the program loses nothing already appended)
// and syncs the file at least every second (so a power cut loses at most that);
// append() itself never waits for the disk.
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
    bool isOpen() const { return fd >= 0; }
    QString path() const { return filePath; }
    QString errorString() const { return openError; }

    void append(const QDateTime &timestamp, uint32_t frameNr, uint16_t systemState, double T,
                double rho, double nu, double eta, double nuUc);
    // Empties the file down to its head lines, after everything appended before.
    void restart();
    // Writes and syncs everything appended so far, then closes the file.
    void close();
    // Data lines that reached the file since it was opened or restarted. A write that
    // stops short (a full disk) is cut back to its last complete line, so this is what
    // the file holds.
    int samplesWritten() const { return linesWritten; }

signals:
    // The first write error, reported once per open file.
    void writeFailed(QString error);
    // The journal writes again after a failure, once restart() succeeded.
    void resumed();
    // Complete lines reached the file.
    void appended();

private:
    void writerLoop();

    QString filePath;
    QString openError;
    int fd = -1;
    QByteArray head;

    std::mutex mutex;
    std::condition_variable wakeUp;
    QByteArray pending; // lines waiting for the writer
    bool restartPending = false;
    bool stopping = false;
    bool failed = false;
    std::atomic<int> linesWritten{0};
    std::thread writer;
};

#endif
