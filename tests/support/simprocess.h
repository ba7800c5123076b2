#ifndef SIMPROCESS_H
#define SIMPROCESS_H

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <cstdint>

// Runs quva-sim, the simulated sensor, for a test, on a fresh pseudo-terminal.
// Unless the arguments name their own, a state file and a frames log are kept in
// a private temporary folder, so that state() and frames() always work, and the
// simulator's faults and noise follow the test's seed (testseed.h):
//
//     SimProcess sim({"--rate", "10", "--seed", "1"});
//     QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
//     modbus.connectDevice(sim.portName(), 19200, 0, 1);
//     ...
//     QCOMPARE(sim.registers().at(38), uint16_t(10));
//
// The destructor stops the simulator with SIGTERM; should the test die instead,
// the simulator ends by itself (--exit-with-parent). Tests, the soak and its benchmark
// all run the simulator through this one class.
class SimProcess
{
public:
    // One line of the frames log: a measurement as the sensor encoded it.
    struct Frame {
        uint32_t frameNr = 0;    // 0: no such frame
        QDateTime time;          // UTC, when it was produced
        QVector<uint16_t> words; // registers 16..30
        // The values those words encode; NaN where the sensor reports none.
        double nu = 0;
        double rho = 0;
        double T = 0;
        double eta = 0;
        double nuUc = 0;
        uint16_t systemState = 0;
    };

    explicit SimProcess(const QStringList &arguments = {});
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Starts the simulator and waits for its "port: /dev/pts/N" line.
    bool start(int timeoutMs = 30000);
    // SIGTERM, then waits; true when it ended with exit code 0.
    bool stop(int timeoutMs = 30000);
    // SIGKILL, as when the sensor is pulled: its pseudo-terminal vanishes at once.
    void kill();
    bool isRunning() const;
    // For SIGSTOP and SIGCONT: a sensor that hangs without letting go of its port.
    qint64 processId() const { return process.processId(); }

    QString portName() const { return port; }
    // Everything the simulator wrote to stderr so far, for failure messages.
    QString errorOutput() const;

    QString stateFilePath() const { return statePath; }
    QString framesLogPath() const { return framesPath; }

    // The state file as it is now: "registers", "unlocked", "rebooting", "line",
    // "committed" and "counters".
    QJsonObject state() const;
    // The register image 0..255 of the state file.
    QVector<uint16_t> registers() const;
    // One of the state file's counters ("requests", "injectedDrop", ...); -1 when
    // there is no such counter.
    qint64 counter(const QString &name) const;
    // All of the state file's counters.
    QHash<QString, qint64> counters() const;

    // The measurements logged so far, oldest first.
    QVector<Frame> frames() const;
    // The logged measurement with this number; frameNr 0 when there is none.
    Frame frame(uint32_t frameNr) const;
    // Waits, running the event loop, until at least count measurements are logged.
    bool waitForFrames(int count, int timeoutMs = 30000) const;

private:
    QTemporaryDir directory;
    QStringList arguments;
    QString statePath;
    QString framesPath;
    QString port;
    QProcess process;
};

#endif
