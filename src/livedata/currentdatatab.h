#ifndef CURRENTDATATAB_H
#define CURRENTDATATAB_H

#include <QDateTime>
#include <QVector>
#include <QWidget>

#include <cstdint>

namespace Ui {
class CurrentDataTab;
}

// The Live Data tab: polls the measurements, records and plots them.
class CurrentDataTab : public QWidget
{
    Q_OBJECT

public:
    explicit CurrentDataTab(QWidget *parent = nullptr);
    ~CurrentDataTab() override;

signals:
    void showSystemState(uint16_t state);
    void readRegisters(uint8_t firstReg, uint8_t lastReg);
    void selectionChanged(QDateTime left, QDateTime right);

public slots:
    void replyReceived(QVector<uint16_t> data);

private:
    Ui::CurrentDataTab *ui;
};

#endif
