#ifndef DEBUGTAB_H
#define DEBUGTAB_H

#include <QDateTime>
#include <QString>
#include <QVector>
#include <QWidget>

#include <cstdint>
#include <functional>

namespace Ui
{
class DebugTab;
}

// The name of a register dump: the sensor's serial number and the minute it was taken,
// "dump-0A-1B-2C-3D-2024-03-05T14-07.bin".
QString dumpFileName(uint32_t serialNumber, const QDateTime &time);

// The service page: a dump of registers 0..148 to a diagnostic file, and programming
// the factory calibration block from a calibration file with a read-back check.
class DebugTab : public QWidget
{
    Q_OBJECT

public:
    explicit DebugTab(QWidget *parent = nullptr);
    ~DebugTab() override;

    // Where the time that names a dump comes from: the system clock unless set.
    void setClock(std::function<QDateTime()> clock);

signals:
    void readRegisters(uint8_t firstReg, uint8_t lastReg);
    void writeRegisters(uint8_t firstReg, QVector<uint16_t> data);

public slots:
    void replyReceived(QVector<uint16_t> data);

private slots:
    void on_pushButton_readAllRegisters_clicked();
    void on_pushButton_progCalib_clicked();
    void readRegisterTable();

private:
    enum PendingOperation { None = 0, Dump = 1, CalibrationReadBack = 2, RegisterTableRead = 3 };

    void dumpReplyReceived(const QVector<uint16_t> &data);
    void calibrationReplyReceived(const QVector<uint16_t> &data);
    // Collects the dump's two replies into registerBuffer and shows them in the table;
    // true once the second has arrived.
    bool collectDumpReply(const QVector<uint16_t> &data);
    void showCalibrationDate(const QVector<uint16_t> &registers);

    Ui::DebugTab *ui;
    QVector<uint16_t> registerBuffer;
    int pendingOperation = None;
    std::function<QDateTime()> clock = &QDateTime::currentDateTime;
};

#endif
