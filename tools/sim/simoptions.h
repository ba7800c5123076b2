#ifndef SIMOPTIONS_H
#define SIMOPTIONS_H

#include "linesettings.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

// Probabilities per request of the line faults the simulator injects.
struct LineFaults {
    double drop = 0;
    double badCrc = 0;
    double wrongAddress = 0;
    double split = 0;
    double exception = 0;
    double garbage = 0;
    int splitPauseMs = 300;
};

// The fluid and its cool-down curve.
struct FluidSettings {
    double viscosityA = 0.02;   // cSt
    double viscosityB = 900;    // °C
    double viscosityC = 95;     // °C
    double density20 = 870;     // kg/m³ at 20 °C
    double densitySlope = 0.65; // kg/m³ less per °C
    double cooldownMinutes = 30;
    double noise = 0.002; // relative
    double faultEverySeconds = 0;
    double faultForSeconds = 10;
    uint16_t faultBits = 0x0001;
};

// Where the simulator listens instead of a serial line: a device server passing RTU
// frames through TCP, or a Modbus TCP gateway.
enum class SimNetwork { None, RtuOverTcp, ModbusTcp };

struct SimOptions {
    QString device;
    QString link;
    SimNetwork network = SimNetwork::None;
    int tcpPort = 0;              // on 127.0.0.1; 0: one the system picks
    int address = 1;              // the first of addresses
    QVector<int> addresses = {1}; // every address served, one sensor each
    LineSettings line;
    double turnaroundMs = 5;
    bool anyLineSettings = false;

    uint16_t hardwareRevision = 3;
    uint32_t serialNumber = 0x0012ABCD;
    uint32_t serialStep = 1; // from one address's serial number to the next one's
    QDateTime firmwareDate = QDateTime(QDate(2024, 10, 10), QTime(11, 8, 48), Qt::UTC);

    double rate = 1; // measurements per second
    FluidSettings fluid;

    int rebootMs = 1500;
    int silencedBySignal = 0; // the address SIGUSR1 silences and SIGUSR2 revives; 0: none
    int ignoreWritesFirst = -1;
    int ignoreWritesLast = -1;
    QString calibrationFile;

    bool seedGiven = false;
    uint64_t seed = 0;
    LineFaults faults;

    QString stateFile;
    QString framesLog;
    bool verbose = false;
    bool exitWithParent = false;
};

struct SimOptionsResult {
    enum Status { Run, ShowHelp, ShowVersion, Error };

    Status status = Error;
    SimOptions options;
    QString text; // the help or version text, or the error message
};

// Parses the command line (arguments[0] is the program); validates every value.
SimOptionsResult parseSimOptions(const QStringList &arguments);

#endif
