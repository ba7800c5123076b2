#include "simoptions.h"
#include "simulator.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const SimOptionsResult parsed = parseSimOptions(application.arguments());
    switch (parsed.status) {
    case SimOptionsResult::ShowHelp:
    case SimOptionsResult::ShowVersion:
        std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
        return 0;
    case SimOptionsResult::Error:
        std::fprintf(stderr, "quva-sim: %s\nTry 'quva-sim --help'.\n",
                     parsed.text.toLocal8Bit().constData());
        return 2;
    case SimOptionsResult::Run:
        break;
    }
    Simulator simulator(parsed.options);
    return simulator.run();
}
