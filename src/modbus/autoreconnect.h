#ifndef AUTORECONNECT_H
#define AUTORECONNECT_H

#include "modbus.h"
#include "reconnectpolicy.h"

#include <QObject>
#include <QString>
#include <QTimer>

// Gets a lost link back, for the window when the user asked for it and for the
// recorder always: once the sensor has answered, "connection lost" or a run of
// time-outs closes the port, and it is reopened and probed after growing pauses until
// the sensor answers again. A Connect or Disconnect of the user's own ends the waiting.
class AutoReconnect : public QObject
{
    Q_OBJECT

public:
    explicit AutoReconnect(Modbus &modbus, QObject *parent = nullptr);

    bool isWaiting() const { return waiting; }

signals:
    // What the status bar says while it waits; empty when it no longer waits.
    void statusChanged(QString text);
    // The link counts as lost and the waiting begins; the sensor answers again.
    void connectionLost();
    void reconnected();

public slots:
    void setEnabled(bool on);
    // The user connects or disconnects: no more attempts of its own.
    void stop();

private slots:
    void deviceConnected();
    void modbusError(QString error);
    void attempt();

private:
    void scheduleAttempt();

    Modbus &modbus;
    ReconnectPolicy policy;
    QTimer attemptTimer;
    bool enabled = false;
    bool linkUp = false;
    bool waiting = false;
    int attempts = 0;
};

#endif
