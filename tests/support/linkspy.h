#ifndef LINKSPY_H
#define LINKSPY_H

#include "modbus.h"
#include "registermap.h"

#include <QSignalSpy>
#include <QStringList>

class PtyPair;

// The link with spies on all its signals, and helpers that wait for one exchange.
struct LinkSpy {
    Modbus modbus;
    QSignalSpy replies{&modbus, SIGNAL(replyReceived(QVector<uint16_t>))};
    QSignalSpy connected{&modbus, SIGNAL(deviceConnected())};
    QSignalSpy disconnected{&modbus, SIGNAL(deviceDisconnected())};
    QSignalSpy errors{&modbus, SIGNAL(showModbusError(QString))};
    QSignalSpy writeRuns{&modbus, SIGNAL(writeRunFinished(bool))};
    // The connection states in the order they came.
    QList<LinkState> states;

    LinkSpy();

    // Every showModbusError text so far, the empty ones of successful replies included.
    QStringList errorTexts() const;
    // Waits until count showModbusError signals have come.
    bool waitForErrors(int count, int timeoutMs = 30000);

    // Connects to a sensor (the simulator) and waits until it answered the probe.
    bool connectTo(const QString &port, uint32_t baudrate = 19200, uint8_t address = 1);
    // Connects on a pty whose master side the test plays: answers the probe with a
    // 47-word information block.
    bool connectTo(PtyPair &pty, uint8_t address = 1);

    // The first error text after the given number of showModbusError signals.
    QString errorAfter(int signalCount, int timeoutMs = 30000);
    // The words of one read; empty when it failed.
    QVector<uint16_t> read(uint8_t firstReg, uint8_t lastReg);
    // Queues all writes at once, as the tabs do; "" when every one was acknowledged,
    // else the first error text.
    QString write(const QVector<RegisterWrite> &writes);
};

#endif
