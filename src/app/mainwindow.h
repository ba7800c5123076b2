#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "connectionstatelabel.h"
#include "modbus/modbus.h"

#include <QLabel>
#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <cstdint>

namespace Ui
{
class MainWindow;
}

class DebugTab;

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
    QLabel journalIndicator;
    Modbus modbus;
    DebugTab *debugTab = nullptr;
    bool shownBefore = false;
};

#endif
