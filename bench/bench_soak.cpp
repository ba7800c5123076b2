// Soak of the Modbus link against quva-sim with injected line faults, and configuration
// writes with read-back. Prints the figures; exits 1 when any of the zeros is not zero.
//
//   bench_soak [--exchanges N] [--lanes L] [--writes N] [--write-lanes L]
//              [--fault P] [--seconds S] [--seed N]
//
// Defaults: 10000 exchanges over 8 lanes with 1 % of each fault, no writes.

#include "soakrun.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

namespace
{

void printMap(QTextStream &out, const QString &title, const QMap<QString, int> &map)
{
    out << title << "\n";
    for (auto it = map.begin(); it != map.end(); ++it)
        out << "  " << it.key() << ": " << it.value() << "\n";
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const auto option = [&parser](const char *name, const char *text, const char *value) {
        parser.addOption({name, text, "n", value});
    };
    option("exchanges", "Live-block exchanges over all poll lanes.", "10000");
    option("lanes", "Poll lanes, each a link and a simulator.", "8");
    option("writes", "Configuration writes with read-back over all write lanes.", "0");
    option("write-lanes", "Write lanes.", "10");
    option("fault", "Share of replies spoiled by each fault kind.", "0.01");
    option("seconds", "Stop after this long (0: when the counts are reached).", "0");
    option("seed", "First simulator seed.", "1");
    parser.process(application);

    Soak::Options options;
    options.exchanges = parser.value("exchanges").toInt();
    options.pollLanes = qMax(1, parser.value("lanes").toInt());
    options.writes = parser.value("writes").toInt();
    options.writeLanes = qMax(1, parser.value("write-lanes").toInt());
    options.faultShare = parser.value("fault").toDouble();
    options.seconds = parser.value("seconds").toInt();
    options.seed = parser.value("seed").toUInt();

    const Soak::Figures figures = Soak::run(options);
    QTextStream out(stdout);
    if (!figures.started) {
        out << "cannot start " << QUVA_SIM_PATH << "\n";
        return 2;
    }
    const Soak::PollFigures &poll = figures.poll;
    const Soak::WriteFigures &write = figures.write;
    out << "seconds: " << figures.seconds << "\n";
    if (options.exchanges > 0) {
        out << "exchanges: " << poll.exchanges << " (" << poll.answered << " answered, "
            << poll.failed << " failed)\n";
        out << "exchanges the simulator spoiled: " << poll.faultedExchanges << "\n";
        printMap(out, "faults injected:", poll.injected);
        printMap(out, "errors of failed exchanges:", poll.errors);
        printMap(out, "single fault -> error:", poll.faultToError);
        printMap(out, "errors with no request out (tails of split replies):", poll.lateErrors);
        out << "failed exchanges without an injected fault: " << poll.failedWithoutFault << "\n";
        out << "spoiled replies accepted: " << poll.answeredDespiteFault << "\n";
        out << "split replies taken whole: " << poll.splitTakenWhole << "\n";
        out << "errors without a fault whose reply came late (stalls of a busy machine): "
            << poll.stalled << "\n";
        out << "exchanges where the simulator saw other than one request: "
            << poll.requestCountMismatches << "\n";
        out << "faults followed by an unspoiled exchange: " << poll.faultsFollowedByCleanExchange
            << ", answered at that next request: " << poll.recoveredAtNextRequest << "\n";
        out << "samples stored: " << poll.samplesStored << "\n";
        out << "corrupt samples accepted: " << poll.corruptSamples << "\n";
        out << "duplicate or out-of-order samples stored: " << poll.duplicateOrOutOfOrder << "\n";
        out << "simulator frames captured: " << poll.samplesStored << " of " << poll.framesProduced
            << " ("
            << QString::number(100.0 * poll.samplesStored / qMax<qint64>(1, poll.framesProduced),
                               'f', 1)
            << " %)\n";
    }
    if (options.writes > 0) {
        out << "configuration writes: " << write.writes << " (" << write.exchanges
            << " exchanges)\n";
        printMap(out, "writes by block:", write.byBlock);
        out << "read-back mismatches: " << write.mismatches << "\n";
        out << "link errors during writes: " << write.errors << "\n";
        out << "errors during writes whose reply came late: " << write.stalled << "\n";
    }
    const bool zeros = poll.failedWithoutFault == 0 && poll.answeredDespiteFault == 0 &&
                       poll.requestCountMismatches == 0 && poll.corruptSamples == 0 &&
                       poll.duplicateOrOutOfOrder == 0 &&
                       poll.recoveredAtNextRequest == poll.faultsFollowedByCleanExchange &&
                       write.mismatches == 0 && write.errors == 0;
    out << (zeros ? "all zeros hold\n" : "A ZERO DOES NOT HOLD\n");
    return zeros ? 0 : 1;
}
