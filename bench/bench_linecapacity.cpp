// How many sensors one line carries within the recorder's 500 ms poll period: the time
// of one exchange (the request, the reply and the 100 ms of quiet that end it) measured
// over a pseudo-terminal against quva-sim, at 19200 and at 115200 baud.
//
//   bench_linecapacity [--exchanges N] [--sim PATH]
//
// A pseudo-terminal does not pace the request; the simulator paces its reply one
// character time per byte. The request's own time on a real line (its bytes at the baud
// rate) is added to each measured exchange.

#include "benchcontext.h"
#include "simulatorport.h"

#include "modbus.h"
#include "modbusframe.h"
#include "registermap.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{

// Milliseconds of each exchange of the live block, the first (the probe) not counted.
std::vector<double> exchangeTimes(const QString &port, uint32_t baudrate, int exchanges)
{
    Modbus modbus;
    std::vector<double> times;
    QElapsedTimer clock;
    QEventLoop loop;
    const auto ask = [&] {
        clock.start();
        modbus.readRegisters(Registers::LiveFirst, Registers::LiveLast);
    };
    QObject::connect(&modbus, &Modbus::showModbusError, [&](const QString &error) {
        if (!error.isEmpty() || int(times.size()) >= exchanges) {
            loop.quit();
            return;
        }
        if (clock.isValid())
            times.push_back(clock.nsecsElapsed() / 1e6);
        QTimer::singleShot(0, &modbus, ask);
    });
    modbus.connectDevice(port, baudrate, 0, 1);
    loop.exec();
    modbus.disconnectDevice(true);
    times.resize(std::min<size_t>(times.size(), size_t(exchanges)));
    return times;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"exchanges", "Exchanges measured per baud rate.", "n", "200"});
    parser.addOption(
        {"sim", "The simulator.", "path", QCoreApplication::applicationDirPath() + "/quva-sim"});
    parser.process(application);
    const int exchanges = std::max(1, parser.value("exchanges").toInt());
    const double periodMs = 500;
    // 8 request bytes of 10 bits (start, 8 data, stop).
    const int requestBits =
        int(buildReadRequest(1, Registers::LiveFirst, Registers::LiveLast).size()) * 10;

    QTextStream out(stdout);
    out << "CPU: " << cpuModel() << "\nQt: " << qVersion() << "\nruns: " << exchanges
        << " exchanges of registers 16..30 per baud rate, none/1\n";
    for (const uint32_t baudrate : {19200u, 115200u}) {
        QProcess sim;
        const QString port =
            startSimulator(sim, parser.value("sim"),
                           {"--baud", QString::number(baudrate), "--seed", "1", "--rate", "10"});
        if (port.isEmpty()) {
            out << "cannot start " << parser.value("sim") << "\n";
            return 2;
        }
        std::vector<double> times = exchangeTimes(port, baudrate, exchanges);
        sim.terminate();
        sim.waitForFinished(30000);
        if (times.empty()) {
            out << baudrate << " baud: no exchange\n";
            return 1;
        }
        const double requestMs = 1000.0 * requestBits / baudrate;
        for (double &time : times)
            time += requestMs;
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        out << baudrate << " baud: exchange min " << QString::number(times.front(), 'f', 1)
            << " ms, median " << QString::number(median, 'f', 1) << " ms, max "
            << QString::number(times.back(), 'f', 1) << " ms (request "
            << QString::number(requestMs, 'f', 1) << " ms on the line included); sensors per "
            << periodMs << " ms period: " << int(std::floor(periodMs / median))
            << " at the median, " << int(std::floor(periodMs / times.back()))
            << " at the slowest exchange\n";
    }
    return 0;
}
