#ifndef BUSMONITORDIALOG_H
#define BUSMONITORDIALOG_H

#include "framefilter.h"
#include "framelog.h"

#include <QDialog>
#include <QTimer>

#include <cstdint>

namespace Ui
{
class BusMonitorDialog;
}

// The bus monitor: the latest frames of the link with their time, direction, bytes
// and meaning, and for the blocks the register map knows, their values. Frames are
// formatted only while the monitor is shown and not paused; a filter hides rows.
class BusMonitorDialog : public QDialog
{
    Q_OBJECT

public:
    BusMonitorDialog(FrameLog &frameLog, QWidget *parent = nullptr);
    ~BusMonitorDialog() override;

    // The rows shown, as they are saved: time, direction, frame and meaning, tab-separated.
    QStringList rowTexts() const;
    // The first line of a saved monitor, naming the columns of the rows.
    static QString savedHeaderLine();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void refresh();
    void on_pushButton_pause_toggled(bool paused);
    void on_pushButton_clear_clicked();
    void on_pushButton_save_clicked();
    void on_pushButton_close_clicked();
    void on_spinBox_filterAddress_valueChanged(int value);
    void on_comboBox_filterFunction_currentIndexChanged(int index);
    void on_checkBox_errorsOnly_toggled(bool on);

private:
    FrameFilter filter() const;
    void applyFilter();
    QString decodedText(const FrameLog::Entry &entry);

    Ui::BusMonitorDialog *ui;
    FrameLog &frameLog;
    QTimer refreshTimer;
    uint64_t shownUpTo = 0;              // sequence of the last entry in the table
    QVector<FrameLog::Entry> rowEntries; // the entry of each row of the table
    QByteArray lastRequest;              // a reply is decoded by the request it answers
};

#endif
