#include "busmonitordialog.h"
#include "ui_busmonitordialog.h"

#include "customization.h"
#include "registerframetext.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QHeaderView>
#include <QMessageBox>
#include <QSaveFile>
#include <QScrollBar>

namespace
{
constexpr int rowLimit = 2000;

enum Column { TimeColumn, DirectionColumn, FrameColumn, MeaningColumn, DecodedColumn };

// The function codes of the filter's entries, "any" first.
const int filterFunctions[] = {-1, 3, 6, 16};
} // namespace

BusMonitorDialog::BusMonitorDialog(FrameLog &frameLog, QWidget *parent)
    : QDialog(parent), ui(new Ui::BusMonitorDialog), frameLog(frameLog)
{
    ui->setupUi(this);
    ui->tableWidget_frames->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    ui->tableWidget_frames->verticalHeader()->setDefaultSectionSize(
        ui->tableWidget_frames->fontMetrics().height() + 4);
    ui->tableWidget_frames->setColumnWidth(TimeColumn, 110);
    ui->tableWidget_frames->setColumnWidth(DirectionColumn, 40);
    ui->tableWidget_frames->setColumnWidth(MeaningColumn, 170);
    ui->tableWidget_frames->setColumnWidth(DecodedColumn, 380);
    // A long reply keeps its bytes readable as the window widens; the tooltip has them all.
    ui->tableWidget_frames->horizontalHeader()->setSectionResizeMode(FrameColumn,
                                                                     QHeaderView::Stretch);
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
    const FrameFilter shown = filter();
    for (const FrameLog::Entry &entry : entries) {
        const int row = table->rowCount();
        table->insertRow(row);
        const QStringList texts{FrameLog::timeText(entry), FrameLog::directionText(entry),
                                FrameLog::hexText(entry.bytes), FrameLog::describe(entry),
                                decodedText(entry)};
        for (int column = 0; column < texts.size(); ++column)
            table->setItem(row, column, new QTableWidgetItem(texts[column]));
        table->item(row, FrameColumn)->setToolTip(texts[FrameColumn]);
        table->item(row, DecodedColumn)->setToolTip(texts[DecodedColumn]);
        table->setRowHidden(row, !shown.matches(entry));
        rowEntries.append(entry);
    }
    while (table->rowCount() > rowLimit) {
        table->removeRow(0);
        rowEntries.removeFirst();
    }
    table->setUpdatesEnabled(true);
    shownUpTo = entries.last().sequence;
    if (atEnd)
        table->scrollToBottom();
}

QString BusMonitorDialog::decodedText(const FrameLog::Entry &entry)
{
    switch (entry.direction) {
    case FrameLog::Sent:
        lastRequest = entry.bytes;
        return registerRequestText(entry.bytes);
    case FrameLog::Received:
        return registerReplyText(lastRequest, entry.bytes, deviceFirmwareDate);
    case FrameLog::Event:
        break;
    }
    return QString();
}

QStringList BusMonitorDialog::rowTexts() const
{
    QStringList rows;
    for (int row = 0; row < rowEntries.size(); ++row) {
        if (!ui->tableWidget_frames->isRowHidden(row))
            rows << FrameLog::formatLine(rowEntries[row]);
    }
    return rows;
}

QString BusMonitorDialog::savedHeaderLine()
{
    return "Time\tDirection\tFrame\tMeaning";
}

FrameFilter BusMonitorDialog::filter() const
{
    FrameFilter filter;
    filter.address =
        ui->spinBox_filterAddress->value() == 0 ? -1 : ui->spinBox_filterAddress->value();
    filter.function = filterFunctions[qMax(0, ui->comboBox_filterFunction->currentIndex())];
    filter.errorsOnly = ui->checkBox_errorsOnly->isChecked();
    return filter;
}

void BusMonitorDialog::applyFilter()
{
    const FrameFilter shown = filter();
    for (int row = 0; row < rowEntries.size(); ++row)
        ui->tableWidget_frames->setRowHidden(row, !shown.matches(rowEntries[row]));
}

void BusMonitorDialog::on_spinBox_filterAddress_valueChanged(int)
{
    applyFilter();
}

void BusMonitorDialog::on_comboBox_filterFunction_currentIndexChanged(int)
{
    applyFilter();
}

void BusMonitorDialog::on_checkBox_errorsOnly_toggled(bool)
{
    applyFilter();
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
    rowEntries.clear();
}

void BusMonitorDialog::on_pushButton_save_clicked()
{
    const QString fileName = QFileDialog::getSaveFileName(this, tr("Save bus monitor"), QString(),
                                                          tr("Text files (*.txt)"));
    if (fileName.isEmpty())
        return;
    QSaveFile file(fileName);
    const QByteArray text =
        (QStringList{savedHeaderLine()} + rowTexts()).join('\n').toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        QMessageBox::warning(this, tr("Save bus monitor"),
                             tr("Could not save %1: %2").arg(fileName, file.errorString()));
    }
}

void BusMonitorDialog::on_pushButton_close_clicked()
{
    hide();
}
