// The link's own statistics over a soak against quva-sim with injected line faults,
// printed beside the faults the simulator says it injected.
//
//   bench_linkstats [--exchanges N] [--fault P] [--seed N]
//
// One link reads the live block back to back, as fast as the 100 ms end-of-frame
// rule allows. Defaults: 2000 exchanges with 1 % of each fault.

#include "benchcontext.h"

#include "simprocess.h"

#include "modbus.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSysInfo>
#include <QTextStream>

namespace
{

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"exchanges", "Live-block exchanges.", "n", "2000"});
    parser.addOption({"fault", "Share of replies spoiled by each fault kind.", "p", "0.01"});
    parser.addOption({"seed", "Simulator seed.", "n", "1"});
    parser.process(application);
    const int exchanges = parser.value("exchanges").toInt();
    const QString share = parser.value("fault");

    SimProcess simulator({"--seed", parser.value("seed"), "--drop", share, "--bad-crc", share,
                          "--split", share, "--exception", share, "--wrong-address", share,
                          "--garbage", share});
    QTextStream out(stdout);
    if (!simulator.start()) {
        out << "cannot start the simulator\n";
        return 2;
    }

    Modbus modbus;
    int done = -1; // the probe is not counted
    QEventLoop loop;
    QObject::connect(&modbus, &Modbus::showModbusError, [&](const QString &) {
        if (++done >= exchanges) {
            loop.quit();
            return;
        }
        // After an error the link drops its queue; ask again as a poll would.
        QTimer::singleShot(0, &modbus, [&] { modbus.readRegisters(16, 30); });
    });
    QObject::connect(&modbus, &Modbus::deviceConnected, [&] {
        QTimer::singleShot(0, &modbus, [&] { modbus.readRegisters(16, 30); });
    });
    QElapsedTimer clock;
    clock.start();
    modbus.connectDevice(simulator.portName(), 19200, 0, 1);
    loop.exec();
    const double seconds = clock.elapsed() / 1000.0;

    out << "CPU: " << cpuModel() << "\nQt: " << qVersion() << "\nruns: 1, " << exchanges
        << " exchanges in " << seconds << " s\n\nThe link's statistics:\n";
    for (const QString &line : modbus.statistics().summary())
        out << "  " << line << "\n";
    out << "\nThe simulator's counters:\n";
    const QHash<QString, qint64> counters = simulator.counters();
    for (const char *name :
         {"requests", "replies", "injectedDrop", "injectedBadCrc", "injectedSplit",
          "injectedException", "injectedWrongAddress", "injectedGarbage"})
        out << "  " << name << ": " << counters.value(name) << "\n";
    return 0;
}
