#ifndef SETTINGSTAB_H
#define SETTINGSTAB_H

#include "linkstate.h"
#include "serialportlist.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QList>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <cstdint>

namespace Ui
{
class SettingsTab;
}

// The Settings tab: the connection panel, which turns the user's choice of port and
// line parameters into connect and disconnect requests, and the panel that shows the
// sensor's identity and configuration and writes changes back in one unlocked run.
class SettingsTab : public QWidget
{
    Q_OBJECT

public:
    explicit SettingsTab(QWidget *parent = nullptr);
    ~SettingsTab() override;

    bool reconnectsAutomatically() const;

signals:
    void connectDevice(QString portName, uint32_t baudrate, uint8_t mode, uint8_t address);
    void disconnectDevice(bool hard);
    void readRegisters(uint8_t firstReg, uint8_t lastReg);
    void writeRegisters(uint8_t firstReg, QVector<uint16_t> data);
    // "Write Settings" was confirmed by the sensor, for the status bar.
    void statusMessage(QString text);
    void reconnectAutomaticallyChanged(bool on);

public slots:
    void replyReceived(QVector<uint16_t> data);
    void deviceConnected();
    void deviceDisconnected();
    // The link's write run ended; the one after "Write Settings" is said to be done.
    void writeRunFinished(bool succeeded);
    // "Find sensor..." needs the port to itself: it is offered only while not connected.
    void showLinkState(LinkState state);

private slots:
    void scanPorts();
    void on_pushButton_connect_clicked();
    void on_pushButton_disconnect_clicked();
    void on_pushButton_findSensor_clicked();
    void on_pushButton_write_clicked();
    void on_checkBox_autoReconnect_toggled(bool on);
    void on_comboBox_analog_0_currentTextChanged(const QString &text);
    void on_comboBox_analog_1_currentTextChanged(const QString &text);

private:
    // The widgets of analog output 0 or 1 and the first register of its block.
    struct AnalogOutputWidgets {
        QComboBox *source;
        QLabel *unit;
        QDoubleSpinBox *min;
        QDoubleSpinBox *max;
        uint8_t firstReg;
    };
    AnalogOutputWidgets analogOutputWidgets(int output) const;
    bool modbusParametersChanged() const;
    void connectToNetworkAddress(const QString &text);

    Ui::SettingsTab *ui;
    QTimer portScanTimer;
    QList<SerialPortEntry> knownPorts;
    QString rememberedPort; // selected by the first scan when listed, then forgotten
    QMessageBox *rebootNotice;
    // The note for the status bar once the run of "Write Settings" has been answered.
    QString pendingWriteNote;
    bool portListShown = false;
    // Connected to a network address: the panel's baud rate and mode follow the sensor's.
    bool overNetwork = false;
};

#endif
