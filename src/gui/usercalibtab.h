#ifndef USERCALIBTAB_H
#define USERCALIBTAB_H

#include "mappingcalculation.h"
#include "mappingfile.h"

#include <QDateTime>
#include <QVector>
#include <QWidget>

#include <cstdint>

namespace Ui
{
class UserCalibTab;
}

// The Viscosity Mapping tab: takes a data section selected in the live data, fits the
// fluid model to it, derives ν' = k·ν^α from one or two reference points, keeps the result
// in a parameter file and writes it to the sensor's registers 192..201, checking the write
// by reading the block back.
class UserCalibTab : public QWidget
{
    Q_OBJECT

public:
    explicit UserCalibTab(QWidget *parent = nullptr);
    ~UserCalibTab() override;

signals:
    void writeRegisters(uint8_t firstReg, QVector<uint16_t> data);
    // A mapping was written and read back unchanged, for the status bar.
    void statusMessage(QString text);
    void readRegisters(uint8_t firstReg, uint8_t lastReg);

public slots:
    void on_selectionChanged(QDateTime left, QDateTime right);
    void replyReceived(QVector<uint16_t> data);

private slots:
    void on_pushButton_calibrate_clicked();
    void on_pushButton_resetCalib_clicked();
    void on_pushButton_load_clicked();
    void on_pushButton_save_clicked();
    void on_pushButton_writeQUVA_clicked();

private:
    void clearSelection();
    void showResults();
    void showCurves(double lo, double hi);
    // The reference points as the spin boxes show them now.
    void takeReferences();
    QString startDirectory() const;

    Ui::UserCalibTab *ui;

    // The samples of the data section selected in the live data.
    SampleSelection selection;
    // The mapping of the last calculation or load: its references are those it was made
    // from, not what the spin boxes show now. NaN in A, B, C: no fluid model.
    MappingParameters mapping;
    double nuErr; // a fraction: 0.01 is 1 %; NaN: no fit error
};

#endif
