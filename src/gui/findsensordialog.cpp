#include "findsensordialog.h"
#include "ui_findsensordialog.h"

#include "registermap.h"
#include "registerrows.h"

FindSensorDialog::FindSensorDialog(const QString &port, uint32_t baudrate, uint8_t mode,
                                   uint8_t address, QWidget *parent)
    : QDialog(parent), ui(new Ui::FindSensorDialog), port(port), baudrate(baudrate), mode(mode),
      address(address)
{
    ui->setupUi(this);
    ui->label_port->setText(tr("Port: %1").arg(port));
    const bool network = isNetworkAddress(port);
    ui->radioButton_addresses->setText(network ? tr("Every unit identifier, %1 to %2")
                                                     .arg(ScanLimits::FirstAddress)
                                                     .arg(ScanLimits::LastAddress)
                                               : tr("Every address, %1 to %2, at %3 baud, %4")
                                                     .arg(ScanLimits::FirstAddress)
                                                     .arg(ScanLimits::LastAddress)
                                                     .arg(baudrate)
                                                     .arg(lineModeText(mode)));
    ui->radioButton_lineSettings->setText(
        tr("Every baud rate and parity / stop bits (18 pairs) at address %1").arg(address));
    ui->radioButton_lineSettings->setEnabled(!network);
    ui->tableWidget_sensors->setColumnWidth(0, 70);
    ui->tableWidget_sensors->setColumnWidth(1, 90);
    ui->tableWidget_sensors->setColumnWidth(2, 120);
    ui->tableWidget_sensors->setColumnWidth(3, 120);
    connect(&scan, &SensorScan::sensorFound, this, &FindSensorDialog::showSensor);
    connect(&scan, &SensorScan::progressed, this, &FindSensorDialog::showProgress);
    connect(&scan, &SensorScan::finished, this, &FindSensorDialog::scanFinished);
}

FindSensorDialog::~FindSensorDialog()
{
    delete ui;
}

ScanHit FindSensorDialog::chosenSensor() const
{
    const int row = ui->tableWidget_sensors->currentRow();
    return row >= 0 && row < hits.size() ? hits[row] : ScanHit();
}

void FindSensorDialog::on_pushButton_start_clicked()
{
    const ScanKind kind =
        ui->radioButton_addresses->isChecked() ? ScanKind::Addresses : ScanKind::LineSettings;
    ui->tableWidget_sensors->setRowCount(0);
    hits.clear();
    setRunning(true);
    scan.start(port, planSensorScan(port, kind, baudrate, mode, address));
}

void FindSensorDialog::on_pushButton_cancel_clicked()
{
    scan.cancel();
}

void FindSensorDialog::reject()
{
    scan.cancel();
    QDialog::reject();
}

void FindSensorDialog::on_pushButton_use_clicked()
{
    if (!scan.isRunning() && ui->tableWidget_sensors->currentRow() >= 0)
        accept();
}

void FindSensorDialog::on_pushButton_close_clicked()
{
    reject();
}

void FindSensorDialog::on_tableWidget_sensors_itemSelectionChanged()
{
    ui->pushButton_use->setEnabled(!scan.isRunning() &&
                                   !ui->tableWidget_sensors->selectedItems().isEmpty());
}

void FindSensorDialog::on_tableWidget_sensors_cellDoubleClicked(int row, int)
{
    ui->tableWidget_sensors->selectRow(row);
    on_pushButton_use_clicked();
}

void FindSensorDialog::showSensor(const ScanHit &hit)
{
    QTableWidget *table = ui->tableWidget_sensors;
    const int row = table->rowCount();
    table->insertRow(row);
    const QStringList texts{QString::number(hit.address), QString::number(hit.baudrate),
                            lineModeText(hit.mode), formatSerialNumber(hit.serialNumber),
                            formatDeviceDate(hit.firmwareDate)};
    for (int column = 0; column < texts.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(texts[column]));
    hits.append(hit);
}

void FindSensorDialog::showProgress(int done, int total)
{
    ui->progressBar->setMaximum(total);
    ui->progressBar->setValue(done);
    if (done >= total)
        return;
    const ScanProbe probe = scan.currentProbe();
    ui->label_status->setText(isNetworkAddress(port)
                                  ? tr("Probing unit identifier %1 ...").arg(probe.address)
                                  : tr("Probing address %1 at %2 baud, %3 ...")
                                        .arg(probe.address)
                                        .arg(probe.baudrate)
                                        .arg(lineModeText(probe.mode)));
}

void FindSensorDialog::scanFinished(bool cancelled, const QString &error)
{
    setRunning(false);
    if (!error.isEmpty())
        ui->label_status->setText(error);
    else
        ui->label_status->setText((cancelled ? tr("Cancelled. ") : QString()) +
                                  (hits.isEmpty() ? tr("No sensor answered.")
                                                  : tr("Sensors found: %1.").arg(hits.size())));
}

void FindSensorDialog::setRunning(bool running)
{
    ui->pushButton_start->setEnabled(!running);
    ui->pushButton_cancel->setEnabled(running);
    ui->radioButton_addresses->setEnabled(!running);
    ui->radioButton_lineSettings->setEnabled(!running && !isNetworkAddress(port));
    on_tableWidget_sensors_itemSelectionChanged();
}
