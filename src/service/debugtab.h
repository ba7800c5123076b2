#ifndef DEBUGTAB_H
#define DEBUGTAB_H

#include <QVector>
#include <QWidget>

#include <cstdint>

namespace Ui {
class DebugTab;
}

// The Debug tab: register dump and calibration programming.
class DebugTab : public QWidget
{
    Q_OBJECT

public:
    explicit DebugTab(QWidget *parent = nullptr);
    ~DebugTab() override;

signals:
    void readRegisters(uint8_t firstReg, uint8_t lastReg);
    void writeRegisters(uint8_t firstReg, QVector<uint16_t> data);

public slots:
    void replyReceived(QVector<uint16_t> data);

private:
    Ui::DebugTab *ui;
};

#endif
