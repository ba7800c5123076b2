#include "busmonitordialog.h"
#include "ui_busmonitordialog.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QHeaderView>
#include <QMessageBox>
#include <QSaveFile>
#include <QScrollBar>

namespace
{
constexpr int rowLimit = 2000;
}

BusMonitorDialog::BusMonitorDialog(FrameLog &frameLog, QWidget *parent)
    : QDialog(parent), ui(new Ui::BusMonitorDialog), frameLog(frameLog)
{
    ui->setupUi(this);
    ui->tableWidget_frames->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    ui->tableWidget_frames->verticalHeader()->setDefaultSectionSize(
        ui->tableWidget_frames->fontMetrics().height() + 4);
    ui->tableWidget_frames->setColumnWidth(0, 110);
    ui->tableWidget_frames->setColumnWidth(1, 40);
    ui->tableWidget_frames->setColumnWidth(2, 330);
    refreshTimer.setInterval(250);
    connect(&refreshTimer, &QTimer::timeout, this, &BusMonitorDialog::refresh);
}

BusMonitorDialog::~BusMonitorDialog()
{
    delete ui;
}

void BusMonitorDialog::showEvent(QShowEvent *event)
{
    if (!ui->pushButton_pause->isChecked()) {
        refresh();
        refreshTimer.start();
    }
    QDialog::showEvent(event);
}

void BusMonitorDialog::hideEvent(QHideEvent *event)
{
    refreshTimer.stop();
    QDialog::hideEvent(event);
}

void BusMonitorDialog::refresh()
{
    const QVector<FrameLog::Entry> entries = frameLog.entriesAfter(shownUpTo);
    if (entries.isEmpty())
        return;
    QTableWidget *table = ui->tableWidget_frames;
    QScrollBar *scrollBar = table->verticalScrollBar();
    const bool atEnd = scrollBar->value() == scrollBar->maximum();
    table->setUpdatesEnabled(false);
    for (const FrameLog::Entry &entry : entries) {
        const int row = table->rowCount();
        table->insertRow(row);
        const QStringList texts{FrameLog::timeText(entry), FrameLog::directionText(entry),
                                FrameLog::hexText(entry.bytes), FrameLog::describe(entry)};
        for (int column = 0; column < texts.size(); ++column)
            table->setItem(row, column, new QTableWidgetItem(texts[column]));
    }
    while (table->rowCount() > rowLimit)
        table->removeRow(0);
    table->setUpdatesEnabled(true);
    shownUpTo = entries.last().sequence;
    if (atEnd)
        table->scrollToBottom();
}

QStringList BusMonitorDialog::rowTexts() const
{
    const QTableWidget *table = ui->tableWidget_frames;
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column)
            cells << table->item(row, column)->text();
        rows << cells.join('\t');
    }
    return rows;
}

void BusMonitorDialog::on_pushButton_pause_toggled(bool paused)
{
    ui->pushButton_pause->setText(paused ? tr("Resume") : tr("Pause"));
    if (paused) {
        refreshTimer.stop();
    } else if (isVisible()) {
        refresh();
        refreshTimer.start();
    }
}

void BusMonitorDialog::on_pushButton_clear_clicked()
{
    frameLog.clear();
    ui->tableWidget_frames->setRowCount(0);
}

void BusMonitorDialog::on_pushButton_save_clicked()
{
    const QString fileName = QFileDialog::getSaveFileName(this, tr("Save bus monitor"), QString(),
                                                          tr("Text files (*.txt)"));
    if (fileName.isEmpty())
        return;
    QSaveFile file(fileName);
    QByteArray text = rowTexts().join('\n').toUtf8();
    if (!text.isEmpty())
        text.append('\n');
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        QMessageBox::warning(this, tr("Save bus monitor"),
                             tr("Could not save %1: %2").arg(fileName, file.errorString()));
    }
}

void BusMonitorDialog::on_pushButton_close_clicked()
{
    hide();
}
