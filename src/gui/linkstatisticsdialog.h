#ifndef LINKSTATISTICSDIALOG_H
#define LINKSTATISTICSDIALOG_H

#include "linkstatistics.h"

#include <QDialog>
#include <QTimer>

namespace Ui
{
class LinkStatisticsDialog;
}

// The "Link" panel: the link's counts and times, refreshed once a second while it
// is shown, and a Reset that starts them afresh.
class LinkStatisticsDialog : public QDialog
{
    Q_OBJECT

public:
    LinkStatisticsDialog(LinkStatistics &statistics, QWidget *parent = nullptr);
    ~LinkStatisticsDialog() override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void refresh();
    void on_pushButton_reset_clicked();
    void on_pushButton_close_clicked();

private:
    Ui::LinkStatisticsDialog *ui;
    LinkStatistics &statistics;
    QTimer refreshTimer;
};

#endif
