#ifndef SMALLFILESYSTEM_H
#define SMALLFILESYSTEM_H

#include <QString>

// A tmpfs of a given size mounted on a fresh folder of the working directory, for
// tests of full disks; unmounted again by the destructor. Mounting needs root:
//
//     SmallFileSystem disk("full-journal", 4096);
//     if (!disk.isMounted())
//         QSKIP(SmallFileSystem::skipReason);
class SmallFileSystem
{
public:
    SmallFileSystem(const QString &folderName, int sizeBytes);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    static constexpr const char *skipReason = "mounting a small file system needs root";

    bool isMounted() const { return mounted; }
    QString path() const { return folder; }
    QString filePath(const QString &name) const { return folder + "/" + name; }
    // Fills the free space with a file of this name until a write fails for lack of it.
    bool fill(const QString &name);

private:
    QString folder;
    bool mounted = false;
};

#endif
