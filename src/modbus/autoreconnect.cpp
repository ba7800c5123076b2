#include "autoreconnect.h"

#include <QDateTime>

AutoReconnect::AutoReconnect(Modbus &modbus, QObject *parent) : QObject(parent), modbus(modbus)
{
    attemptTimer.setSingleShot(true);
    attemptTimer.setTimerType(Qt::PreciseTimer);
    connect(&attemptTimer, &QTimer::timeout, this, &AutoReconnect::attempt);
    connect(&modbus, &Modbus::deviceConnected, this, &AutoReconnect::deviceConnected);
    connect(&modbus, &Modbus::showModbusError, this, &AutoReconnect::modbusError);
}

void AutoReconnect::setEnabled(bool on)
{
    enabled = on;
    if (!on)
        stop();
}

void AutoReconnect::stop()
{
    linkUp = false;
    attemptTimer.stop();
    if (waiting) {
        waiting = false;
        emit statusChanged(QString());
    }
}

void AutoReconnect::deviceConnected()
{
    linkUp = true;
    policy.reconnected();
    attempts = 0;
    attemptTimer.stop();
    if (waiting) {
        waiting = false;
        emit statusChanged(QString());
        emit reconnected();
    }
}

void AutoReconnect::modbusError(QString error)
{
    if (error.isEmpty()) {
        policy.replyArrived();
        return;
    }
    if (waiting) {
        // The attempt failed: the port would not open or the probe got no answer.
        if (!attemptTimer.isActive())
            scheduleAttempt();
        return;
    }
    if (!enabled || !linkUp)
        return;
    const bool lost = error.endsWith("connection lost");
    if (!lost && !(error.endsWith("timeout") && policy.timedOut()))
        return;
    linkUp = false;
    waiting = true;
    if (!lost)
        modbus.disconnectDevice(true);
    emit connectionLost();
    scheduleAttempt();
}

void AutoReconnect::scheduleAttempt()
{
    const int pauseMs = policy.nextPauseMs();
    attemptTimer.start(pauseMs);
    ++attempts;
    emit statusChanged(
        tr("Connection lost; reconnecting automatically, attempt %1 at %2")
            .arg(attempts)
            .arg(QDateTime::currentDateTime().addMSecs(pauseMs).toString("HH:mm:ss")));
}

void AutoReconnect::attempt()
{
    if (waiting)
        modbus.reconnectDevice();
}
