#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "answerwatch.h"
#include "autoreconnect.h"
#include "connectionstatelabel.h"
#include "elidedlabel.h"
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
    // The system state line: live, or marked with when the sensor last answered.
    void showStateLine();

    Ui::MainWindow *ui;
    QLabel stateLabel;
    ElidedLabel errorLabel;
    ElidedLabel noticeLabel;
    QTimer noticeTimer;
    ConnectionStateLabel connectionState;
    int lastSystemState = -1;     // none shown yet
    bool stateIsLive = false;     // a sample came since the link last went down
    ElidedLabel portProblemLabel; // why the port would not open, beside "connect failed"
    AnswerWatch answerWatch;      // whether the connected sensor still answers
    QLabel journalIndicator;
    Modbus modbus;
    AutoReconnect autoReconnect{modbus};
    DebugTab *debugTab = nullptr;
    LinkStatisticsDialog *linkDialog = nullptr;
    BusMonitorDialog *busMonitor = nullptr;
    bool shownBefore = false;
};

#endif
