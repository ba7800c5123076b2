#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "modbus/autoreconnect.h"
#include "modbus/modbus.h"

#include <QLabel>
#include <QMainWindow>
#include <QString>

#include <cstdint>

namespace Ui
{
class MainWindow;
}

class BusMonitorDialog;
class DebugTab;
class LinkStatisticsDialog;

// The only top-level window: builds the tabs, wires them to the one Modbus link and
// shows the sensor's state and the last link error in the status bar.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private slots:
    void showSystemState(uint16_t state);
    void showModbusError(QString error);
    void showPortOpenFailure(QString reason);
    void showJournalFailure(QString error);

private:
    void openLargeEnough();

    Ui::MainWindow *ui;
    QLabel stateLabel;
    QLabel errorLabel;
    QLabel portProblemLabel; // why the port would not open, beside "connect failed"
    QLabel reconnectLabel;
    QLabel journalIndicator;
    Modbus modbus;
    AutoReconnect autoReconnect{modbus};
    DebugTab *debugTab = nullptr;
    LinkStatisticsDialog *linkDialog = nullptr;
    BusMonitorDialog *busMonitor = nullptr;
    bool shownBefore = false;
};

#endif
