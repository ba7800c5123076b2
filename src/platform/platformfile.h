#ifndef PLATFORMFILE_H
#define PLATFORMFILE_H

#include <QString>

// What the recording journal, the import and the recorder need of the operating system
// beyond Qt's files: refusing pipes and devices without blocking on them, creating a
// file only when it is new, reading at an offset, cutting a file back, syncing it to
// the disk, and replacing a file in one step. Everything here speaks in Qt types; only
// this unit's sources call the system, one for each system.

// A file opened by the system's own calls, closed when the object goes.
class PlatformFile
{
public:
    enum class Opened { Yes, Missing, Exists, NotRegular, Failed };

    PlatformFile() = default;
    ~PlatformFile();
    PlatformFile(const PlatformFile &) = delete;
    PlatformFile &operator=(const PlatformFile &) = delete;

    // Creates path for reading and writing; Exists when a file of that name is there.
    Opened create(const QString &path);
    // Opens an existing path without waiting on a pipe or a device; anything but a
    // regular file is closed again and refused as NotRegular.
    Opened openRegular(const QString &path, bool writable);
    bool isOpen() const { return handle >= 0; }
    void close();

    // -1 on failure.
    qint64 size();
    // Reads on from the current position: the count read, 0 at the end, -1 on failure.
    qint64 read(char *data, qint64 size);
    qint64 readAt(char *data, qint64 size, qint64 offset);
    // Writes all of data at the current position and returns the count written, which
    // is less than size only when a write failed.
    qint64 write(const char *data, qint64 size);
    // Cuts the file to length and goes on writing there.
    bool truncate(qint64 length);
    // Goes to the end; returns the position, -1 on failure.
    qint64 seekToEnd();
    // Returns once what was written is on the disk.
    bool sync();
    // Whether path still names this open file: false once the file was removed or
    // another file was put in its place, when writing on would reach no one.
    bool isAt(const QString &path);

    // Why the last operation failed, or for NotRegular what the file is instead
    // ("is a folder, not a file", "is a named pipe, not a regular file", ...).
    QString errorString() const { return error; }

private:
    bool failed();

    int handle = -1;
    QString error;
};

// What is at a path, found without opening it: opening a device can already do something.
struct FileStatus {
    enum Kind { Missing, Regular, Other, Failed };
    Kind kind = Failed;
    qint64 size = 0;
    QString error; // for Failed, the system's reason
};
FileStatus fileStatus(const QString &path);

// Moves source onto target, replacing it in one step so that target is never missing or
// half written; false with the system's reason in error.
bool replaceFile(const QString &source, const QString &target, QString &error);

#endif
