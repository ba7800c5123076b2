#ifndef SIMULATOR_H
#define SIMULATOR_H

#include "faultinjector.h"
#include "measurementmodel.h"
#include "networkline.h"
#include "serialline.h"
#include "servedsensor.h"
#include "simoptions.h"
#include "statereport.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <chrono>
#include <cstdint>
#include <deque>

#include <modbus/modbus.h>

// The I/O loop of the simulated sensor. One thread: measurements, requests and the
// paced bytes of replies are served from one ppoll() loop.
//
// libmodbus does the protocol: a receiving context reads requests straight from
// the line and checks length, CRC and address; a second context builds every
// reply into a pipe, from where the loop takes it, lets the fault injector spoil
// it, and puts it on the line one character time per byte.
class Simulator
{
public:
    explicit Simulator(const SimOptions &options);
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // Opens the line, prints "port: ..." on stdout and serves until SIGINT or
    // SIGTERM. Returns the exit code.
    int run();

private:
    using Clock = std::chrono::steady_clock;

    struct Outgoing {
        Transmission transmission;
        int sent = 0;
        bool started = false;
        ServedSensor *rebootAfter = nullptr;
        Clock::time_point startAt;
        Clock::time_point nextAt;
    };

    bool setUp(QString *error);
    bool loadCalibrationFile(QString *error);
    bool createLink(QString *error);
    void removeLink();
    bool createModbusContexts(QString *error);
    void resetReceiver();

    void produceFrames(Clock::time_point now);
    void handleInput(Clock::time_point now);
    void handleRequest(ServedSensor &sensor, const uint8_t *request, int length,
                       Clock::time_point now);
    ServedSensor *otherServedSensor(const uint8_t *request, int *length);
    QByteArray answer(ServedSensor &sensor, const uint8_t *request, int length, bool *reboot);
    QByteArray exceptionReply(const uint8_t *request, int exceptionCode);
    QByteArray takeReply();
    void sendDueBytes(Clock::time_point now);
    void lineHungUp(Clock::time_point now);
    void dropOutput(Clock::time_point now);
    bool overNetwork() const { return options.network != SimNetwork::None; }
    int lineFd() const { return overNetwork() ? network.clientFd() : line.fd(); }
    QString portText() const;
    void acceptConnection(Clock::time_point now);
    void clientGone(Clock::time_point now);
    // Reads what the connection holds into gatewayInput; false when the peer has gone.
    bool readClient(Clock::time_point now);
    void handleGatewayInput(Clock::time_point now);
    void setSilenced(bool silenced);
    void startReboot(ServedSensor &sensor, Clock::time_point now);
    void finishReboot();
    Clock::time_point nextDeadline(Clock::time_point now) const;

    void writeState();
    void log(const QString &text) const;
    void verbose(const QString &text) const;

    SimOptions options;
    uint64_t seed = 0;
    // One per address served, in the order given; the first is the receiver's own.
    std::deque<ServedSensor> sensors;
    ServedSensor *rebootingSensor = nullptr;
    FaultInjector faults;
    SerialLine line;
    NetworkLine network;
    QByteArray gatewayInput;     // Modbus TCP bytes not yet a whole request
    int gatewayTransaction = -1; // of the Modbus TCP request being answered
    SimStatus status;
    SimCounters counters;

    modbus_t *receiver = nullptr;
    modbus_t *replier = nullptr;
    modbus_mapping_t *mapping = nullptr;
    int replyPipe[2] = {-1, -1};

    QFile framesLog;
    std::deque<Outgoing> output;
    Clock::time_point nextFrameAt;
    Clock::time_point rebootEndsAt;
    Clock::time_point lineWatchedAgainAt;
    bool hungUp = false;
    bool linkCreated = false;
    QString lineComplaint;
};

#endif
