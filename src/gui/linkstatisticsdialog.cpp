#include "linkstatisticsdialog.h"
#include "ui_linkstatisticsdialog.h"

#include <QFontDatabase>

LinkStatisticsDialog::LinkStatisticsDialog(LinkStatistics &statistics, QWidget *parent)
    : QDialog(parent), ui(new Ui::LinkStatisticsDialog), statistics(statistics)
{
    ui->setupUi(this);
    ui->label_statistics->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    refreshTimer.setInterval(1000);
    connect(&refreshTimer, &QTimer::timeout, this, &LinkStatisticsDialog::refresh);
}

LinkStatisticsDialog::~LinkStatisticsDialog()
{
    delete ui;
}

void LinkStatisticsDialog::showEvent(QShowEvent *event)
{
    refresh();
    refreshTimer.start();
    QDialog::showEvent(event);
}

void LinkStatisticsDialog::hideEvent(QHideEvent *event)
{
    refreshTimer.stop();
    QDialog::hideEvent(event);
}

void LinkStatisticsDialog::refresh()
{
    ui->label_statistics->setText(statistics.summary().join('\n'));
}

void LinkStatisticsDialog::on_pushButton_reset_clicked()
{
    statistics.reset();
    refresh();
}

void LinkStatisticsDialog::on_pushButton_close_clicked()
{
    hide();
}
