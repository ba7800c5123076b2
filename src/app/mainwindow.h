#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "modbus/modbus.h"

#include <QLabel>
#include <QMainWindow>
#include <QString>

#include <cstdint>

namespace Ui
{
class MainWindow;
}

class DebugTab;

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
    void showJournalFailure(QString error);

private:
    void openLargeEnough();

    Ui::MainWindow *ui;
    QLabel stateLabel;
    QLabel errorLabel;
    QLabel journalIndicator;
    Modbus modbus;
    DebugTab *debugTab = nullptr;
    bool shownBefore = false;
};

#endif
