#ifndef FINDSENSORDIALOG_H
#define FINDSENSORDIALOG_H

#include "sensorscan.h"

#include <QDialog>
#include <QString>
#include <QVector>

#include <cstdint>

namespace Ui
{
class FindSensorDialog;
}

// "Find sensor": probes every address at the panel's line setting, or every line setting
// at its address, on a link of its own, and lists the sensors that answer. "Use" (or a
// double click) closes it accepted with the chosen sensor.
class FindSensorDialog : public QDialog
{
    Q_OBJECT

public:
    FindSensorDialog(const QString &port, uint32_t baudrate, uint8_t mode, uint8_t address,
                     QWidget *parent = nullptr);
    ~FindSensorDialog() override;

    ScanHit chosenSensor() const;

public slots:
    void reject() override;

private slots:
    void on_pushButton_start_clicked();
    void on_pushButton_cancel_clicked();
    void on_pushButton_use_clicked();
    void on_pushButton_close_clicked();
    void on_tableWidget_sensors_itemSelectionChanged();
    void on_tableWidget_sensors_cellDoubleClicked(int row, int column);
    void showSensor(const ScanHit &hit);
    void showProgress(int done, int total);
    void scanFinished(bool cancelled, const QString &error);

private:
    void setRunning(bool running);

    Ui::FindSensorDialog *ui;
    SensorScan scan;
    QString port;
    uint32_t baudrate;
    uint8_t mode;
    uint8_t address;
    QVector<ScanHit> hits; // in the table's order
};

#endif
