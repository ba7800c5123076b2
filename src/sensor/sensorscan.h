#ifndef SENSORSCAN_H
#define SENSORSCAN_H

#include "modbus.h"
#include "scanplan.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <cstdint>

// A sensor that answered a probe of a search.
struct ScanHit {
    uint8_t address = 0;
    uint32_t baudrate = 0;
    uint8_t mode = 0;
    uint32_t serialNumber = 0;
    QDateTime firmwareDate;
};

// The sensor behind the 47 words of registers 0..46 that answered probe. Its line
// settings are those it reports in registers 34..35 and 37 when they are among the 18 it
// offers: a line may pass a request whose parity or stop bits differ from the sensor's
// (a pseudo-terminal does), and the sensor's own registers say what it talks.
ScanHit scanHitFromReply(const ScanProbe &probe, const QVector<uint16_t> &words);

// Runs the probes of a search one after the other on a link of its own, which nothing
// else listens to, and says which sensors answered. It only reads. The port is opened
// when the search starts and closed when it ends.
class SensorScan : public QObject
{
    Q_OBJECT

public:
    explicit SensorScan(QObject *parent = nullptr);

    void start(const QString &port, const QVector<ScanProbe> &plan);
    void cancel();
    bool isRunning() const { return running; }
    // The probe on the wire, or the last one sent.
    ScanProbe currentProbe() const { return plan.value(next); }

signals:
    // Once per sensor (address and serial number), when it first answers.
    void sensorFound(const ScanHit &hit);
    // done of total probes have had their answer or their time-out.
    void progressed(int done, int total);
    // The search ended: all probes done, cancelled, or the port would not open (error).
    void finished(bool cancelled, const QString &error);

private slots:
    void replyReceived(QVector<uint16_t> words);
    void errorShown(QString error);
    void portOpenFailed(QString reason);
    void sendProbe();

private:
    void probeDone();
    void stop();

    Modbus link;
    QTimer
        nextProbeTimer; // the next probe goes out from the event loop, not from a slot of the link
    QString port;
    QVector<ScanProbe> plan;
    int next = 0;
    bool running = false;
    bool probeOnWire = false;
    bool lineOpen = false;
    uint32_t openBaudrate = 0;
    uint8_t openMode = 0;
    QVector<ScanHit> hits;
};

#endif
