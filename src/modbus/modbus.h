#ifndef MODBUS_H
#define MODBUS_H

#include "framelog.h"
#include "linkstate.h"
#include "linkstatistics.h"
#include "networkaddress.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <cstdint>
#include <memory>

class LinkTransport;

// The tool's only Modbus RTU master. One request is on the wire at a time; the
// others wait in requestQueue in the order they were asked for. Any error empties
// the queue: callers that poll simply ask again. A reply ends when the line has
// been quiet for 100 ms; replies carry no tag, so every consumer gets every read
// and recognises its own by the number of words. The bytes go over a serial port, or over
// TCP for a network address (networkaddress.h): RTU frames as they are for tcp://, Modbus
// TCP frames for mbtcp://, whose reply also ends as soon as its MBAP length is complete.
class Modbus : public QObject
{
    Q_OBJECT

public:
    // A reply ends after this much quiet on the line.
    static constexpr int frameEndMs = 100;
    // How long a request waits for the first byte of its reply, unless set otherwise.
    static constexpr int defaultResponseTimeoutMs = 3000;
    // The probe of a connect reads registers 0 to this one: the sensor's identity and
    // configuration, which the first reply hands to the settings panel.
    static constexpr uint8_t probeLastRegister = 46;

    explicit Modbus(QObject *parent = nullptr);
    ~Modbus() override;

    // For the requests written from now on; a recorder on a line of several sensors
    // shortens it, so that a silent sensor holds the line no longer than an exchange.
    void setResponseTimeout(int milliseconds) { responseTimer.setInterval(milliseconds); }

    // Counts and times since Connect, and the latest frames; a reopen keeps both.
    LinkStatistics &statistics() { return linkStatistics; }
    FrameLog &frameLog() { return frames; }
    // Why the last connection was lost, when its transport said more ("connection closed
    // by the peer"); empty otherwise.
    QString connectionLossReason() const { return lossReason; }

signals:
    void replyReceived(QVector<uint16_t> data);
    void deviceConnected();
    void deviceDisconnected();
    void showModbusError(QString error);
    // Every change of the connection state, with the parameters of the last connect.
    void linkStateChanged(LinkState state, const LinkSettings &settings);
    // Writes requested back to back form a run; it succeeded when its last write was
    // answered without an error, and failed when an error or a disconnect ended it.
    void writeRunFinished(bool succeeded);
    // After "Modbus Error: connect failed": why the port would not open, and the remedy.
    void portOpenFailed(QString reason);

public slots:
    void connectDevice(QString portName, uint32_t baudrate, uint8_t mode, uint8_t address);
    void disconnectDevice(bool hard);
    // Opens the port of the last connectDevice again and probes it, keeping the
    // statistics: a reconnect after a lost connection rather than a new Connect.
    void reconnectDevice();
    void readRegisters(uint8_t firstReg, uint8_t lastReg);
    // A read from the sensor at address on the same line, sent while the port is open
    // whether or not the sensor of the last connect has answered: on a line of several
    // sensors one that is missing must not keep the others from being read.
    void readRegistersAt(uint8_t address, uint8_t firstReg, uint8_t lastReg);
    void writeRegisters(uint8_t firstReg, QVector<uint16_t> data);

private slots:
    void onReadyRead();
    void readReply();
    void timeout();

private:
    void sendRequest(uint8_t functionCode, const QByteArray &payload);
    void sendRequestTo(uint8_t slave, uint8_t functionCode, const QByteArray &payload);
    void sendFrame(const QByteArray &frame);
    void reportError(const QString &reason);
    void connectionLost();
    void setLinkState(LinkState state);
    void endWriteRun(bool succeeded);
    void openPort();
    void useTransportFor(const QString &port);
    void transportOpened();
    void transportOpenFailed();
    qint64 now() const;

    std::unique_ptr<LinkTransport> transport;
    NetworkKind network = NetworkKind::None; // of the transport in use
    bool awaitingOpen = false;               // a network connection is being made
    uint16_t transaction = 0;                // of the Modbus TCP request on the wire
    QByteArray received;                     // a Modbus TCP reply read before it is complete
    QString lossReason;
    QString portName;
    uint32_t baudrate = 0;
    uint8_t mode = 0;
    uint8_t address = 0;
    uint8_t replyAddress = 0; // the address of the request on the wire
    QTimer frameEndTimer;
    QTimer responseTimer;
    bool connecting = false;
    bool connected = false;
    bool waitingForReply = false;
    QList<QByteArray> requestQueue;
    LinkState linkState = LinkState::NotConnected;
    bool writeRunOpen = false;
    LinkStatistics linkStatistics;
    FrameLog frames;
    QElapsedTimer exchangeClock;  // runs from when the request was handed to the port
    double requestDurationMs = 0; // how long the request takes on the line
    double firstByteMs = -1;
};

#endif
