#include "headlesscommand.h"

#include "datafolder.h"
#include "headlessrecorder.h"
#include "recorderoptions.h"
#ifndef QUVA_NO_MQTT
#include "mqttsubscriber.h"
#endif

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstring>

bool hasOption(int argc, char *argv[], std::initializer_list<const char *> names, bool takesValue)
{
    for (int i = 1; i < argc; ++i) {
        for (const char *name : names) {
            const std::size_t length = std::strlen(name);
            if (std::strncmp(argv[i], name, length) == 0 &&
                (argv[i][length] == '\0' || (takesValue && argv[i][length] == '=')))
                return true;
        }
    }
    return false;
}

bool asksForHelp(int argc, char *argv[])
{
    return hasOption(argc, argv, {"-h", "-?", "--help", "--help-all", "-v", "--version"});
}

bool asksForHeadlessRun(int argc, char *argv[])
{
    return hasOption(argc, argv, {"--record", "--subscribe"}, true);
}

void addHeadlessOptions(QCommandLineParser &parser)
{
    addRecorderOptions(parser);
    parser.addOption({"data-folder",
                      "Work in the folder $XDG_DATA_HOME/quva-explorer (by default "
                      "~/.local/share/quva-explorer), created if missing, instead of the "
                      "working directory: it then holds gui_settings.ini, the recording "
                      "journal and the dumps. The menu entry starts the program so."});
}

int parseCommandLine(QCommandLineParser &parser, const QStringList &arguments, const char *program)
{
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "%s: %s\n%s: --help lists the options.\n", program,
                     qPrintable(parser.errorText()), program);
        return 2;
    }
    if (parser.isSet("version"))
        parser.showVersion();
    if (parser.isSet("help") || parser.isSet("help-all"))
        parser.showHelp(0);
    return -1;
}

bool enterDataFolderIfAsked(int argc, char *argv[], QString &error)
{
    if (asksForHelp(argc, argv) || !hasOption(argc, argv, {"--data-folder"}))
        return true;
    return enterDataFolder(error);
}

int runHeadless(const QCommandLineParser &parser)
{
#ifdef QUVA_NO_MQTT
    if (parser.isSet("mqtt") || parser.isSet("subscribe")) {
        std::fprintf(stderr, "Error: this build has no MQTT: --mqtt and --subscribe are not "
                             "available\n");
        return 2;
    }
#else
    if (parser.isSet("subscribe")) {
        const ParsedSubscriberOptions parsed = parseSubscriberOptions(parser);
        if (!parsed.options) {
            std::fprintf(stderr, "%s\n", qPrintable(parsed.error));
            return 2;
        }
        MqttSubscriber subscriber(*parsed.options);
        return subscriber.run();
    }
#endif
    const ParsedRecorderOptions parsed = parseRecorderOptions(parser);
    if (!parsed.options) {
        std::fprintf(stderr, "%s\n", qPrintable(parsed.error));
        return 2;
    }
    HeadlessRecorder recorder(*parsed.options);
    return recorder.run();
}
