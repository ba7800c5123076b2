#ifndef USERCALIBTAB_H
#define USERCALIBTAB_H

#include <QDateTime>
#include <QVector>
#include <QWidget>

#include <cstdint>

namespace Ui {
class UserCalibTab;
}

// The Viscosity Mapping tab.
class UserCalibTab : public QWidget
{
    Q_OBJECT

public:
    explicit UserCalibTab(QWidget *parent = nullptr);
    ~UserCalibTab() override;

signals:
    void writeRegisters(uint8_t firstReg, QVector<uint16_t> data);
    void readRegisters(uint8_t firstReg, uint8_t lastReg);

public slots:
    void on_selectionChanged(QDateTime left, QDateTime right);
    void replyReceived(QVector<uint16_t> data);

private:
    Ui::UserCalibTab *ui;
};

#endif
