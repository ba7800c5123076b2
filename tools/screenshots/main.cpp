// Starts the simulated sensor and drives the main window as a user would (choose the
// port, press Connect at a wrong address and then the right one, watch a cool-down, drag a
// selection over it, zoom in and place the cursors, calculate and write a mapping, ask to
// clear, freeze and unplug the sensor), saving pictures of the windows for the documents
// in docs/.

#include "busmonitordialog.h"
#include "connectionstatelabel.h"
#include "customization.h"
#include "linkstatisticsdialog.h"
#include "mainwindow.h"
#include "plotpicture.h"
#include "plotwidget.h"
#include "serialportlist.h"
#include "settingsfile.h"
#include "timeplotform.h"
#include "timeplotwidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <csignal>
#include <cstdio>

namespace
{

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

template <typename T> T *widget(QWidget &parent, const char *name)
{
    T *child = parent.findChild<T *>(name);
    if (!child)
        qFatal("no widget %s", name);
    return child;
}

// A drag with the left button from one column of the plot to another.
void drag(QWidget *plot, int fromX, int toX)
{
    const int y = plot->height() / 2;
    auto send = [plot](QEvent::Type type, int x, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(x, plot->height() / 2), Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(plot, &event);
    };
    send(QEvent::MouseButtonPress, fromX, Qt::LeftButton);
    for (int x = fromX; x <= toX; x += 10)
        send(QEvent::MouseMove, x, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, toX, Qt::NoButton);
    QMouseEvent hover(QEvent::MouseMove, QPointF(toX, y), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(plot, &hover);
}

// Clicks OK in the next message box; the box runs its own event loop.
void acceptNextMessageBox()
{
    QTimer::singleShot(300, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->accept();
        else
            acceptNextMessageBox();
    });
}

// At 1366 x 768: the question of a clear with samples not exported, the sensor frozen
// (SIGSTOP) and, with "Reconnect automatically" on, its port gone (the simulator killed).
bool saveWhatTheStatusBarSays(MainWindow &window, QProcess &simulator, const QString &output)
{
    window.resize(1366, 768);
    auto *tabs = widget<QTabWidget>(window, "tabWidget");
    tabs->setCurrentIndex(1);
    pause(500);

    bool ok = false;
    QTimer::singleShot(500, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            ok = save(*box, output + "clear-unexported.png");
            box->button(QMessageBox::No)->click();
        }
    });
    widget<QPushButton>(window, "pushButton_clear")->click();

    auto *connectionState = widget<ConnectionStateLabel>(window, "connectionState");
    ::kill(pid_t(simulator.processId()), SIGSTOP);
    ok &= waitFor([&] { return connectionState->text().contains("(2 time-outs)"); }, 20000);
    pause(300);
    ok &= save(window, output + "status-quiet-sensor.png");
    ::kill(pid_t(simulator.processId()), SIGCONT);
    ok &= waitFor([&] { return connectionState->text().startsWith("Connected to "); }, 20000);

    tabs->setCurrentIndex(0);
    widget<QCheckBox>(window, "checkBox_autoReconnect")->setChecked(true);
    simulator.kill();
    ok &= waitFor([&] { return connectionState->text().contains("attempt 2 at"); }, 30000);
    pause(300);
    ok &= save(window, output + "status-port-gone.png");
    widget<QCheckBox>(window, "checkBox_autoReconnect")->setChecked(false);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QString outputDir = argc > 1 ? argv[1] : "docs";
    QDir().mkpath(outputDir);
    const QString output = QDir(outputDir).absolutePath() + "/";

    // A working folder of its own, so the user's settings file and recording journal
    // are neither read nor changed; the pictures come from the program's resources.
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());
    {
        SettingsFile settings;
        settings.setValue("customization/viscosityMapping", true);
        settings.setValue("currentData/intervalTimeIndex", 1);
        settings.setValue("currentData/visableGraphs", GraphFlag::Default);
    }
    SettingsFile settings;
    readCustomization(settings);
    useCLocale();

    // A quick cool-down with one fault stretch in it.
    QProcess simulator;
    simulator.start(QUVA_SIM_PATH, {"--rate", "4", "--cooldown-minutes", "0.75", "--seed", "11",
                                    "--fault-every", "38", "--fault-for", "4"});
    if (!simulator.waitForReadyRead(10000)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    const QString port = QString(simulator.readLine()).trimmed().remove("port: ");
    setUserGivenPorts({port});

    MainWindow window;
    window.resize(1100, 700);
    window.show();
    auto *tabs = widget<QTabWidget>(window, "tabWidget");

    auto *ports = widget<QComboBox>(window, "comboBox_serialPort");
    const QString entry = port + " : user-given port";
    if (!waitFor([&] { return ports->findText(entry) >= 0; }, 3000))
        return 1;
    ports->setCurrentIndex(ports->findText(entry));

    // First at an address the sensor does not have: the probe goes unanswered.
    auto *address = widget<QSpinBox>(window, "spinBox_connectAddress");
    auto *connectionState = widget<ConnectionStateLabel>(window, "connectionState");
    address->setValue(2);
    widget<QPushButton>(window, "pushButton_connect")->click();
    if (!waitFor([&] { return connectionState->state() == LinkState::ProbeUnanswered; }, 8000)) {
        std::fprintf(stderr, "the probe was not reported unanswered\n");
        return 1;
    }
    pause(300);
    bool ok = save(*window.statusBar(), output + "status-no-answer.png");

    address->setValue(1);
    widget<QPushButton>(window, "pushButton_connect")->click();
    if (!waitFor([&] { return widget<QGroupBox>(window, "groupBox_settings")->isEnabled(); },
                 5000)) {
        std::fprintf(stderr, "the simulated sensor did not answer\n");
        return 1;
    }
    pause(500);
    ok &= save(window, output + "settings-connected.png");

    // Record the cool-down, then drag over it.
    tabs->setCurrentIndex(1);
    std::printf("recording the cool-down for 50 s\n");
    pause(50000);
    auto *plot = window.findChild<TimePlotWidget *>("timePlot");
    drag(plot, 75 + (plot->width() - 75) * 22 / 100, 75 + (plot->width() - 75) * 64 / 100);
    pause(300);
    ok &= save(window, output + "livedata-recording.png");

    // Look closer: zoom in about the selection's middle (Ctrl+wheel), place the cursors A
    // and B (Alt+click) inside it; the table below the plot shows their values and the
    // selection's statistics. The plot alone also goes out at device pixel ratio 2.
    const auto column = [plot](int percent) { return 75 + (plot->width() - 75) * percent / 100; };
    const QPoint middle(column(43), plot->height() / 2);
    QWheelEvent zoom(middle, plot->mapToGlobal(middle), QPoint(), QPoint(0, 240), Qt::NoButton,
                     Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &zoom);
    for (int percent : {22, 72}) {
        const QPoint at(column(percent), plot->height() / 3);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent click(type, at, plot->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::AltModifier);
            QApplication::sendEvent(plot, &click);
        }
    }
    pause(300);
    ok &= save(window, output + "livedata-zoom-cursors.png");
    const PlotPicture picture(
        plot->size(), [plot](QPainter &painter) { plot->renderPicture(painter); },
        "The Live Data plot at device pixel ratio 2");
    const bool savedHiDpi = picture.image(2).save(output + "plot-hidpi.png");
    std::printf("%s %s\n", savedHiDpi ? "saved" : "could not save",
                qPrintable(output + "plot-hidpi.png"));
    ok &= savedHiDpi;

    // The mapping from two reference points.
    tabs->setCurrentIndex(2);
    widget<QDoubleSpinBox>(window, "doubleSpinBox_T1")->setValue(40);
    widget<QDoubleSpinBox>(window, "doubleSpinBox_nuRef1")->setValue(17.5);
    widget<QDoubleSpinBox>(window, "doubleSpinBox_T2")->setValue(70);
    widget<QDoubleSpinBox>(window, "doubleSpinBox_nuRef2")->setValue(5.0);
    widget<QPushButton>(window, "pushButton_calibrate")->click();
    PlotWidget *result = nullptr;
    waitFor(
        [&] {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (auto *candidate = qobject_cast<PlotWidget *>(top);
                    candidate && top->isVisible())
                    result = candidate;
            }
            return result != nullptr;
        },
        3000);
    if (result) {
        result->resize(800, 560);
        pause(300);
        ok &= save(*result, output + "mapping-plot.png");
        result->close();
    } else {
        std::fprintf(stderr, "no mapping was calculated\n");
        ok = false;
    }
    acceptNextMessageBox();
    widget<QPushButton>(window, "pushButton_writeQUVA")->click();
    pause(2000);
    ok &= save(window, output + "mapping-tab.png");

    // The link's figures and its latest frames, opened from the status bar.
    widget<QToolButton>(window, "toolButton_link")->click();
    auto *linkDialog = window.findChild<LinkStatisticsDialog *>();
    pause(1200);
    ok &= save(*linkDialog, output + "link-statistics.png");
    linkDialog->hide();
    widget<QToolButton>(window, "toolButton_busMonitor")->click();
    auto *monitor = window.findChild<BusMonitorDialog *>();
    pause(1000);
    ok &= save(*monitor, output + "bus-monitor.png");
    monitor->hide();

    ok &= saveWhatTheStatusBarSays(window, simulator, output);

    simulator.terminate();
    simulator.waitForFinished(5000);
    return ok ? 0 : 1;
}
