#include "customization.h"
#include "headlesscommand.h"
#include "settingsfile.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

// quva-recorder: what quva-explorer does with --record or --subscribe, in a program that
// needs no display and no desktop libraries, for a plant computer that only records.
int main(int argc, char *argv[])
{
#ifndef Q_OS_WIN
    // Without TZ glibc re-reads the zone file on every local-time conversion; naming
    // the same zone explicitly makes each conversion several times cheaper.
    if (!std::getenv("TZ"))
        setenv("TZ", ":/etc/localtime", 1);
#endif

    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationVersion(QUVA_VERSION);

    QString error;
    if (!enterDataFolderIfAsked(argc, argv, error)) {
        std::fprintf(stderr, "quva-recorder: %s\n", qPrintable(error));
        return 1;
    }
    SettingsFile settings;
    readCustomization(settings);

    QCommandLineParser parser;
    parser.setApplicationDescription("Records the " + productName +
                                     " sensor, or consumes its samples from an MQTT broker, "
                                     "without a window.");
    parser.addHelpOption();
    parser.addVersionOption();
    addHeadlessOptions(parser);
#ifdef Q_OS_WIN
    // A console program prints its help and version. Qt shows them in a message box when
    // the console has no window, as under a service or the task scheduler, where nobody
    // would answer it.
    if (parser.parse(QCoreApplication::arguments()) &&
        (parser.isSet("version") || parser.isSet("help") || parser.isSet("help-all"))) {
        const QString text = parser.isSet("version")
                                 ? QCoreApplication::applicationName() + ' ' +
                                       QCoreApplication::applicationVersion() + '\n'
                                 : parser.helpText();
        std::fputs(qPrintable(text), stdout);
        return 0;
    }
#endif
    const int code = parseCommandLine(parser, QCoreApplication::arguments(), "quva-recorder");
    if (code >= 0)
        return code;
    useCLocale();

    if (!parser.isSet("subscribe") && !parser.isSet("record")) {
        std::fprintf(stderr, "quva-recorder: give --record FILE.csv or --subscribe URL; "
                             "--help lists the options.\n");
        return 2;
    }
    return runHeadless(parser);
}
