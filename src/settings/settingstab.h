#ifndef SETTINGSTAB_H
#define SETTINGSTAB_H

#include <QString>
#include <QVector>
#include <QWidget>

#include <cstdint>

namespace Ui {
class SettingsTab;
}

// The Settings tab: connection panel and the sensor's configuration.
class SettingsTab : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsTab(QWidget *parent = nullptr);
    ~SettingsTab() override;

signals:
    void connectDevice(QString portName, uint32_t baudrate, uint8_t mode, uint8_t address);
    void disconnectDevice(bool hard);
    void readRegisters(uint8_t firstReg, uint8_t lastReg);
    void writeRegisters(uint8_t firstReg, QVector<uint16_t> data);

public slots:
    void replyReceived(QVector<uint16_t> data);
    void deviceConnected();
    void deviceDisconnected();

private:
    Ui::SettingsTab *ui;
};

#endif
