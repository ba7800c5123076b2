#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "connectionstatelabel.h"
#include "autoreconnect.h"
#include "modbus.h"

#include <QLabel>
#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <cstdint>

namespace Ui
{
class MainWindow;
}

class BusMonitorDialog;
class DebugTab;
class LinkStatisticsDialog;

// The only top-level window: builds the tabs, wires them to the one Modbus link and
// shows in the status bar the sensor's state, what just succeeded, the connection
// state and the last link error.
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
    void showLinkState(LinkState state);
    // A short note on what just succeeded, shown for a few seconds.
    void showNotice(const QString &text);
    void showPortOpenFailure(QString reason);
    void showJournalFailure(QString error);

private:
    void openLargeEnough();

    Ui::MainWindow *ui;
    QLabel stateLabel;
    QLabel errorLabel;
    QLabel noticeLabel;
    QTimer noticeTimer;
    ConnectionStateLabel connectionState;
    int lastSystemState = -1; // none shown yet
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
