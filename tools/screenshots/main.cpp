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
#include "measurementdata.h"
#include "plotpicture.h"
#include "plotwidget.h"
#include "serialportlist.h"
#include "settingsfile.h"
#include "timeplotform.h"
#include "timeplotwidget.h"
#include "viewerwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <random>

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

// The window on a common laptop screen (1366 x 768) and on a 2560 x 1440 screen at scale
// 2 (1280 x 720 at device pixel ratio 2), where the plot's value labels and its fault
// hatch must stay readable; then back at its size.
bool saveScreenSizes(QWidget &window, const QString &output)
{
    const QSize size = window.size();
    window.resize(1366, 768);
    pause(500);
    bool ok = save(window, output + "livedata-1366x768.png");
    window.resize(1280, 720);
    pause(500);
    QImage scaled(window.size() * 2, QImage::Format_ARGB32_Premultiplied);
    scaled.setDevicePixelRatio(2);
    scaled.fill(Qt::white);
    window.render(&scaled);
    const QString path = output + "livedata-2560x1440.png";
    const bool saved = scaled.save(path);
    std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(path));
    window.resize(size);
    pause(500);
    return ok && saved;
}

// The plot alone at "2 months" (56 days) over a sample every 5 s: the simulator's
// cool-downs and warm-ups (80 to 20 degC in 30 minutes, 0.2 % noise), or noise uniform over
// the band. Every column holds hundreds of samples and shows all of them.
bool saveTwoMonths(const QString &path, bool noisy)
{
    const qint64 intervalMs = 5000;
    const qint64 spanMs = qint64(56) * 24 * 3600 * 1000;
    const QDateTime start(QDate(2024, 5, 6), QTime(10, 0));
    std::mt19937 random(5);
    std::normal_distribution<double> gauss(0, 0.002);
    std::uniform_real_distribution<double> uniform(0, 1);
    MeasurementData store;
    for (qint64 ms = 0; ms <= spanMs; ms += intervalMs) {
        const double phase = std::fmod(ms / 1000.0, 3600) / 1800;
        const double x = phase < 1 ? phase : 2 - phase;
        const double T = 20 + 60 * (std::exp(-4 * x) - std::exp(-4.0)) / (1 - std::exp(-4.0));
        const double nu = 0.02 * std::exp(900 / (T + 95)) * (1 + gauss(random));
        const double rho = (870 - 0.65 * (T - 20)) * (1 + gauss(random));
        if (noisy)
            store.addSample(start.addMSecs(ms), 0, 0, uniform(random), uniform(random),
                            uniform(random), uniform(random), uniform(random));
        else
            store.addSample(start.addMSecs(ms), 0, 0, T * (1 + gauss(random)), rho, nu,
                            nu * rho / 1000, nu);
    }
    TimePlotWidget plot;
    plot.resize(1280, 600);
    plot.setData(&store.timestamps,
                 {"kin. Viscosity (cSt)", "kin. Viscosity mapped (cSt)", "dyn. Viscosity (mPas)",
                  "Density (kg/m³)", "Temperature (°C)"},
                 {&store.nu, &store.nuUc, &store.eta, &store.rho, &store.T}, &store.systemState,
                 QVector<double>(5, noisy ? 0.001 : 1));
    plot.setVisibleTimeInterval(store.timestamps.last().addMSecs(-spanMs), store.timestamps.last());
    QImage image(plot.size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    plot.renderPicture(painter);
    painter.end();
    const bool saved = image.save(path);
    std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(path));
    return saved;
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
    ok &= saveScreenSizes(window, output);

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
    ok &= saveTwoMonths(output + "plot-two-months-simulator.png", false);
    ok &= saveTwoMonths(output + "plot-two-months-noisy.png", true);

    // The latest values, large, in a window of their own.
    widget<QPushButton>(window, "pushButton_currentValues")->click();
    QWidget *currentValues = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top->objectName() == "CurrentValuesWindow")
            currentValues = top;
    }
    if (currentValues) {
        currentValues->resize(640, 400);
        pause(800);
        ok &= save(*currentValues, output + "current-values.png");
        currentValues->close();
    } else {
        std::fprintf(stderr, "no current values window\n");
        ok = false;
    }

    // The temperature band fixed at 20 to 80 °C through "Ranges…".
    QTimer::singleShot(300, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        widget<QComboBox>(*dialog, "comboBox_T")->setCurrentIndex(1);
        widget<QLineEdit>(*dialog, "lineEdit_T_min")->setText("20");
        widget<QLineEdit>(*dialog, "lineEdit_T_max")->setText("80");
        pause(300);
        ok &= save(*dialog, output + "ranges-dialog.png");
        widget<QDialogButtonBox>(*dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    });
    widget<QPushButton>(window, "pushButton_ranges")->click();
    pause(300);
    ok &= save(window, output + "livedata-fixed-range.png");

    // The recording written to a file and opened again in a viewer beside the live tab.
    const QString recording = workDir.filePath("cool-down.csv");
    measurementData->exportCsv(recording);
    if (ViewerWindow *viewer = ViewerWindow::openFile(recording, &window)) {
        viewer->resize(1000, 620);
        pause(500);
        auto *viewerPlot = viewer->findChild<TimePlotWidget *>("timePlot");
        drag(viewerPlot, 75 + (viewerPlot->width() - 75) * 30 / 100,
             75 + (viewerPlot->width() - 75) * 55 / 100);
        pause(300);
        ok &= save(*viewer, output + "viewer.png");
        viewer->close();
    } else {
        std::fprintf(stderr, "the recording did not open in a viewer\n");
        ok = false;
    }

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

    // Find sensor, which needs the port to itself: every line setting at address 1.
    widget<QPushButton>(window, "pushButton_disconnect")->click();
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            ok = false;
            return;
        }
        widget<QRadioButton>(*dialog, "radioButton_lineSettings")->click();
        widget<QPushButton>(*dialog, "pushButton_start")->click();
        auto *start = widget<QPushButton>(*dialog, "pushButton_start");
        ok &= waitFor([&] { return start->isEnabled(); }, 30000);
        widget<QTableWidget>(*dialog, "tableWidget_sensors")->selectRow(0);
        pause(300);
        ok &= save(*dialog, output + "find-sensor.png");
        widget<QPushButton>(*dialog, "pushButton_use")->click();
    });
    widget<QPushButton>(window, "pushButton_findSensor")->click();

    // The registers by name, in a window started with the Debug tab.
    settings.setValue("debug", true);
    settings.sync();
    MainWindow service;
    service.resize(1100, 700);
    service.show();
    auto *servicePorts = widget<QComboBox>(service, "comboBox_serialPort");
    waitFor([&] { return servicePorts->findText(entry) >= 0; }, 3000);
    servicePorts->setCurrentIndex(servicePorts->findText(entry));
    widget<QPushButton>(service, "pushButton_connect")->click();
    waitFor([&] { return widget<QGroupBox>(service, "groupBox_settings")->isEnabled(); }, 5000);
    auto *serviceTabs = widget<QTabWidget>(service, "tabWidget");
    serviceTabs->setCurrentIndex(serviceTabs->count() - 1);
    widget<QPushButton>(service, "pushButton_readRegisters")->click();
    auto *registers = widget<QTableWidget>(service, "tableWidget_registers");
    ok &= waitFor([&] { return registers->rowCount() > 0; }, 5000);
    registers->scrollToItem(registers->item(16, 0), QAbstractItemView::PositionAtTop);
    pause(300);
    ok &= save(service, output + "register-table.png");

    // What the status bar says, in the window that is still connected.
    ok &= saveWhatTheStatusBarSays(service, simulator, output);

    simulator.terminate();
    simulator.waitForFinished(5000);
    return ok ? 0 : 1;
}
