// How long "Find sensor" takes to probe every address 1..247 at one line setting, against
// quva-sim on a pseudo-terminal serving two sensors (addresses 1 and 200): the same
// search and answer time-out as the dialog's, without the window.
//
//   bench_scan [--runs N] [--baud RATE] [--sim PATH]
//
// A pseudo-terminal does not pace the request; the simulator paces its reply one
// character time per byte. A silent address costs the answer time-out.

#include "benchcontext.h"
#include "simulatorport.h"

#include "scanplan.h"
#include "sensorscan.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <vector>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({"runs", "Searches of all addresses.", "n", "3"});
    parser.addOption({"baud", "Baud rate of the line.", "rate", "19200"});
    parser.addOption(
        {"sim", "The simulator.", "path", QCoreApplication::applicationDirPath() + "/quva-sim"});
    parser.process(application);
    const int runs = std::max(1, parser.value("runs").toInt());
    const uint32_t baudrate = parser.value("baud").toUInt();

    QTextStream out(stdout);
    QProcess sim;
    const QString port =
        startSimulator(sim, parser.value("sim"),
                       {"--baud", QString::number(baudrate), "--address", "1,200", "--seed", "1"});
    if (port.isEmpty()) {
        out << "cannot start " << parser.value("sim") << "\n";
        return 2;
    }
    const QVector<ScanProbe> plan = planSensorScan(port, ScanKind::Addresses, baudrate, 0, 1);
    out << "CPU: " << cpuModel() << "\nQt: " << qVersion() << "\nload at start: " << loadAverage()
        << "\nruns: " << runs << " searches of addresses 1..247 at " << baudrate
        << " baud, none/1, answer time-out " << plan.first().answerTimeoutMs
        << " ms; sensors at 1 and 200\n";
    out.flush();

    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run) {
        SensorScan scan;
        int found = 0;
        QString error;
        QEventLoop loop;
        QObject::connect(&scan, &SensorScan::sensorFound, [&] { ++found; });
        QObject::connect(&scan, &SensorScan::finished, [&](bool, const QString &text) {
            error = text;
            loop.quit();
        });
        QElapsedTimer clock;
        clock.start();
        scan.start(port, plan);
        loop.exec();
        seconds.push_back(clock.elapsed() / 1000.0);
        out << "run " << run + 1 << ": " << QString::number(seconds.back(), 'f', 1) << " s, "
            << found << " sensors found" << (error.isEmpty() ? QString() : ", " + error) << "\n";
        out.flush();
        if (found != 2)
            return 1;
    }
    std::sort(seconds.begin(), seconds.end());
    out << "search of 247 addresses: min " << QString::number(seconds.front(), 'f', 1)
        << " s, median " << QString::number(seconds[seconds.size() / 2], 'f', 1) << " s, max "
        << QString::number(seconds.back(), 'f', 1)
        << " s (target: under 90 s)\nload at end: " << loadAverage() << "\n";
    sim.terminate();
    sim.waitForFinished(30000);
    return 0;
}
