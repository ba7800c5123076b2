#ifndef USERCALIBTAB_H
#define USERCALIBTAB_H

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
    QString startDirectory() const;

    Ui::UserCalibTab *ui;

    // The mapping state. T1..nuRef2 are those of the last calculation or load, not what
    // the spin boxes show now. NaN in A, B, C: no fluid model; NaN in nuErr: no fit error.
    QVector<double> selectionT;
    QVector<double> selectionNu;
    double selectionTMin;
    double selectionTMax;
    double T1;
    double T2;
    double nuRef1;
    double nuRef2;
    double A;
    double B;
    double C;
    double k;
    double alpha;
    double nuErr; // a fraction: 0.01 is 1 %
};

#endif
