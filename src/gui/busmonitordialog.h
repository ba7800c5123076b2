#ifndef BUSMONITORDIALOG_H
#define BUSMONITORDIALOG_H

#include "framelog.h"

#include <QDialog>
#include <QTimer>

#include <cstdint>

namespace Ui
{
class BusMonitorDialog;
}

// The bus monitor: the latest frames of the link with their time, direction, bytes
// and meaning. Frames are formatted only while the monitor is shown and not paused.
class BusMonitorDialog : public QDialog
{
    Q_OBJECT

public:
    BusMonitorDialog(FrameLog &frameLog, QWidget *parent = nullptr);
    ~BusMonitorDialog() override;

    // The rows as they are saved: time, direction, frame and meaning, tab-separated.
    QStringList rowTexts() const;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void refresh();
    void on_pushButton_pause_toggled(bool paused);
    void on_pushButton_clear_clicked();
    void on_pushButton_save_clicked();
    void on_pushButton_close_clicked();

private:
    Ui::BusMonitorDialog *ui;
    FrameLog &frameLog;
    QTimer refreshTimer;
    uint64_t shownUpTo = 0; // sequence of the last entry in the table
};

#endif
