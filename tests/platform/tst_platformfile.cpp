// The file calls of the platform unit, held to one contract on every system: this
// program runs against the POSIX side here and against the Win32 side under Wine.

#include "platformfile.h"
#include "testfiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TestPlatformFile : public QObject
{
    Q_OBJECT

private slots:
    void createIsExclusive();
    void openRefusesWhatIsNotARegularFile_data();
    void openRefusesWhatIsNotARegularFile();
    void readAtLeavesThePosition();
    void truncateCutsAndWritesOnThere();
    void statusWithoutOpening();
    void replaceTakesTheTargetsPlace();

private:
    QTemporaryDir folder;
    QString path(const QString &name) const { return folder.filePath(name); }
};

void TestPlatformFile::createIsExclusive()
{
    PlatformFile file;
    QCOMPARE(file.create(path("new.csv")), PlatformFile::Opened::Yes);
    QCOMPARE(file.write("abc\n", 4), 4);
    QVERIFY(file.sync());
    QCOMPARE(file.size(), 4);

    PlatformFile second;
    QCOMPARE(second.create(path("new.csv")), PlatformFile::Opened::Exists);
    QVERIFY(!second.isOpen());
    QVERIFY(!second.errorString().isEmpty());
    file.close();
    QCOMPARE(readFile(path("new.csv")), QByteArray("abc\n"));
}

void TestPlatformFile::openRefusesWhatIsNotARegularFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("error");
    QTest::newRow("missing") << "missing.csv" << int(PlatformFile::Opened::Missing) << QString();
    QTest::newRow("folder") << "sub" << int(PlatformFile::Opened::NotRegular)
                            << "is a folder, not a file";
#ifdef Q_OS_WIN
    QTest::newRow("device") << "NUL" << int(PlatformFile::Opened::NotRegular)
                            << "is a device, not a regular file";
#else
    QTest::newRow("device") << "/dev/null" << int(PlatformFile::Opened::NotRegular)
                            << "is a character device, not a regular file";
#endif
}

void TestPlatformFile::openRefusesWhatIsNotARegularFile()
{
    QFETCH(QString, name);
    QFETCH(int, expected);
    QFETCH(QString, error);
    QVERIFY(QDir(folder.path()).mkpath("sub"));
    const QString target = QDir::isAbsolutePath(name) || name == "NUL" ? name : path(name);
    PlatformFile file;
    QCOMPARE(int(file.openRegular(target, false)), expected);
    QVERIFY(!file.isOpen());
    if (!error.isEmpty())
        QCOMPARE(file.errorString(), error);
}

void TestPlatformFile::readAtLeavesThePosition()
{
    PlatformFile file;
    QCOMPARE(file.create(path("at.csv")), PlatformFile::Opened::Yes);
    QCOMPARE(file.write("0123456789", 10), 10);
    char buffer[8] = {};
    QCOMPARE(file.readAt(buffer, 4, 2), 4);
    QCOMPARE(QByteArray(buffer, 4), QByteArray("2345"));
    QCOMPARE(file.readAt(buffer, 4, 10), 0);
    // The next write goes on at the end, not after what was read.
    QCOMPARE(file.write("X", 1), 1);
    file.close();
    QCOMPARE(readFile(path("at.csv")), QByteArray("0123456789X"));

    QCOMPARE(file.openRegular(path("at.csv"), false), PlatformFile::Opened::Yes);
    QCOMPARE(file.read(buffer, 8), 8);
    QCOMPARE(file.read(buffer, 8), 3);
    QCOMPARE(QByteArray(buffer, 3), QByteArray("89X"));
    QCOMPARE(file.read(buffer, 8), 0);
}

void TestPlatformFile::truncateCutsAndWritesOnThere()
{
    QVERIFY(writeFile(path("cut.csv"), "0123456789"));
    PlatformFile file;
    QCOMPARE(file.openRegular(path("cut.csv"), true), PlatformFile::Opened::Yes);
    QVERIFY(file.truncate(3));
    QCOMPARE(file.write("Z", 1), 1);
    QCOMPARE(file.seekToEnd(), 4);
    QCOMPARE(file.size(), 4);
    file.close();
    QCOMPARE(readFile(path("cut.csv")), QByteArray("012Z"));
}

void TestPlatformFile::statusWithoutOpening()
{
    QVERIFY(writeFile(path("status.csv"), "12345"));
    QVERIFY(QDir(folder.path()).mkpath("status-folder"));
    const FileStatus regular = fileStatus(path("status.csv"));
    QCOMPARE(regular.kind, FileStatus::Regular);
    QCOMPARE(regular.size, 5);
    QCOMPARE(fileStatus(path("status-folder")).kind, FileStatus::Other);
    QCOMPARE(fileStatus(path("no-such.csv")).kind, FileStatus::Missing);
}

void TestPlatformFile::replaceTakesTheTargetsPlace()
{
    QVERIFY(writeFile(path("target.csv"), "old"));
    QVERIFY(writeFile(path("source.tmp"), "new"));
    QString error;
    QVERIFY2(replaceFile(path("source.tmp"), path("target.csv"), error), qPrintable(error));
    QCOMPARE(readFile(path("target.csv")), QByteArray("new"));
    QVERIFY(!QFile::exists(path("source.tmp")));

    QVERIFY(!replaceFile(path("source.tmp"), path("target.csv"), error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(readFile(path("target.csv")), QByteArray("new"));
}

QTEST_GUILESS_MAIN(TestPlatformFile)
#include "tst_platformfile.moc"
