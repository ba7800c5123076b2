// Starts the simulated sensor, drives the main window as a user would (choose the
// port, press Connect) and saves pictures of the window for the README.

#include "app/customization.h"
#include "app/mainwindow.h"
#include "settings/serialportlist.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

namespace {

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void pause(int ms)
{
    waitFor([] { return false; }, ms);
}

bool save(QWidget &window, const QString &path)
{
    const bool saved = window.grab().save(path);
    std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(path));
    return saved;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QString outputDir = argc > 1 ? argv[1] : "docs";
    QDir().mkpath(outputDir);
    const QString outputPath = QDir(outputDir).absolutePath();

    // A working folder of its own with the pictures, so the user's settings file is
    // neither read nor changed.
    QTemporaryDir workDir;
    const QStringList assets = QDir(QUVA_ASSETS_DIR).entryList(QDir::Files);
    for (const QString &asset : assets)
        QFile::copy(QString(QUVA_ASSETS_DIR) + "/" + asset, workDir.filePath(asset));
    QDir::setCurrent(workDir.path());
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    readCustomization(settings);
    useCLocale();

    QProcess simulator;
    simulator.start(QUVA_SIM_PATH, {"--rate", "2"});
    if (!simulator.waitForReadyRead(10000)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    const QString port = QString(simulator.readLine()).trimmed().remove("port: ");
    setUserGivenPorts({port});

    MainWindow window;
    window.resize(1100, 700);
    window.show();

    auto *ports = window.findChild<QComboBox *>("comboBox_serialPort");
    const QString entry = port + " : user-given port";
    if (!waitFor([&] { return ports->findText(entry) >= 0; }, 3000))
        return 1;
    ports->setCurrentIndex(ports->findText(entry));
    window.findChild<QPushButton *>("pushButton_connect")->click();
    auto *settingsGroup = window.findChild<QGroupBox *>("groupBox_settings");
    if (!waitFor([&] { return settingsGroup->isEnabled(); }, 5000)) {
        std::fprintf(stderr, "the simulated sensor did not answer\n");
        return 1;
    }
    pause(500);
    bool ok = save(window, outputPath + "/settings-connected.png");

    simulator.terminate();
    simulator.waitForFinished(5000);
    return ok ? 0 : 1;
}
