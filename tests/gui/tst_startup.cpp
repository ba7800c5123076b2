// How the program starts wherever it is installed: pictures compiled in, with files
// of the same name taking precedence; the data folder of a menu start; the help and
// the version on a machine without a display.

#include "datafolder.h"
#include "pictures.h"
#include "usercalibtab.h"
#include "settingstab.h"

#include <QImageWriter>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace
{

QSize shownSize(QWidget &tab, const char *label)
{
    return tab.findChild<QLabel *>(label)->pixmap(Qt::ReturnByValue).size();
}

bool writeImage(const QString &path, QSize size, const char *format)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::green);
    QImageWriter writer(path, format);
    return writer.write(image);
}

// The program's environment on a machine without a display.
QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    return environment;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void picturesFromResourcesUnlessAFileIsThere();
    void windowIconBesideTheExecutableFirst();
    void dataFolderPath_data();
    void dataFolderPath();
    void dataFolderHoldsTheFilesOfAMenuStart();
    void unusableDataFolderIsRefused();
    void helpAndVersionWithoutDisplay();

private:
    std::unique_ptr<QTemporaryDir> folder;
    QString previousDirectory;
};

void TestStartup::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    previousDirectory = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder->path()));
}

void TestStartup::cleanup()
{
    QDir::setCurrent(previousDirectory);
    folder.reset();
}

void TestStartup::picturesFromResourcesUnlessAFileIsThere()
{
    {
        SettingsTab settings;
        QCOMPARE(shownSize(settings, "label_USB_KIT"), QSize(300, 150));
        QCOMPARE(shownSize(settings, "label_analogFormula"), QSize(420, 64));
        UserCalibTab mapping;
        QVERIFY(!shownSize(mapping, "label_visc_map").isEmpty());
    }

    // A customised picture wins; a file that is no picture falls back to the resource.
    QVERIFY(writeImage("USB-KIT.png", QSize(7, 5), "png"));
    QFile broken("analog-formula.svg");
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    SettingsTab settings;
    QCOMPARE(shownSize(settings, "label_USB_KIT"), QSize(7, 5));
    QCOMPARE(shownSize(settings, "label_analogFormula"), QSize(420, 64));
}

void TestStartup::windowIconBesideTheExecutableFirst()
{
    QTemporaryDir executableDir;
    QVERIFY(!loadWindowIcon(executableDir.path()).availableSizes().isEmpty());
    QVERIFY(!loadWindowIcon(executableDir.path()).availableSizes().contains(QSize(7, 7)));

    QVERIFY(writeImage(executableDir.filePath("Company-Logo.ico"), QSize(7, 7), "ico"));
    QCOMPARE(loadWindowIcon(executableDir.path()).availableSizes(), QList<QSize>{QSize(7, 7)});
}

void TestStartup::dataFolderPath_data()
{
    QTest::addColumn<QString>("xdgDataHome");
    QTest::addColumn<QString>("expected");
    QTest::newRow("XDG_DATA_HOME set") << "/data/user/"
                                       << "/data/user/quva-explorer";
    QTest::newRow("unset") << ""
                           << "/home/u/.local/share/quva-explorer";
    QTest::newRow("relative, so ignored") << "data"
                                          << "/home/u/.local/share/quva-explorer";
}

void TestStartup::dataFolderPath()
{
    QFETCH(QString, xdgDataHome);
    QFETCH(QString, expected);
    QCOMPARE(::dataFolderPath(xdgDataHome, "/home/u"), expected);
}

void TestStartup::dataFolderHoldsTheFilesOfAMenuStart()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", folder->filePath("share"));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    QDir().mkdir("start");
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(folder->filePath("start"));
    program.start(QUVA_EXPLORER_PATH, {"--data-folder"});
    QVERIFY(program.waitForStarted());
    const QString journal = folder->filePath("share/quva-explorer/recording-journal.csv");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(journal), 30000);
    program.kill();
    QVERIFY(program.waitForFinished());
    QCOMPARE(QDir("start").entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void TestStartup::unusableDataFolderIsRefused()
{
    QFile blocker("share");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QProcessEnvironment environment = withoutDisplay();
    environment.insert("XDG_DATA_HOME", folder->filePath("share"));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QUVA_EXPLORER_PATH,
                  {"--data-folder", "--record", "run.csv", "--port", "/dev/null"});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitCode(), 1);
    QCOMPARE(QString(program.readAllStandardError()), "quva-explorer: Cannot use the data folder " +
                                                          folder->filePath("share/quva-explorer") +
                                                          ": Not a directory.\n");
    QCOMPARE(QDir().entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"share"});
}

void TestStartup::helpAndVersionWithoutDisplay()
{
    QProcess program;
    program.setProcessEnvironment(withoutDisplay());
    for (const char *option : {"--help", "-h"}) {
        program.start(QUVA_EXPLORER_PATH, {option});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const QString help = program.readAllStandardOutput();
        QVERIFY2(help.startsWith("Usage: ") && help.contains("--data-folder"), qPrintable(help));
    }
    for (const QString &executable : {QString(QUVA_EXPLORER_PATH), QString(QUVA_SIM_PATH)}) {
        program.start(executable, {"--version"});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(QString(program.readAllStandardOutput()),
                 QFileInfo(executable).fileName() + " " QUVA_VERSION "\n");
    }
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
