#ifndef HEADLESSCOMMAND_H
#define HEADLESSCOMMAND_H

#include <initializer_list>

class QCommandLineParser;
class QString;
class QStringList;

// The command line that quva-explorer and quva-recorder share: recording from sensors
// (--record) and consuming a broker's samples (--subscribe) without a window, and
// working in the data folder (--data-folder).

// True when an argument is one of these options, alone or, if the option takes a
// value, as name=value. Looked at before the parser runs, which needs an application.
bool hasOption(int argc, char *argv[], std::initializer_list<const char *> names,
               bool takesValue = false);
bool asksForHelp(int argc, char *argv[]);
bool asksForHeadlessRun(int argc, char *argv[]);

// The recorder's and the consumer's options and --data-folder.
void addHeadlessOptions(QCommandLineParser &parser);
// Parses the arguments, with the help and version options added: -1 to go on; otherwise the
// exit code, 2 for an unknown option or a missing value (the reason and a hint on stderr,
// after "program: "). --help and --version print and end the process, so they need an
// application; the rest does not, so the options can be checked before one starts.
int parseCommandLine(QCommandLineParser &parser, const QStringList &arguments, const char *program);
// Enters the data folder when --data-folder is among the arguments; false with error
// set when that failed. Called before the settings are read, since the folder holds them.
bool enterDataFolderIfAsked(int argc, char *argv[], QString &error);

// Records or consumes as the parsed options say and returns the exit code, 2 for
// options that are wrong (the reason printed on stderr). Only for a parser on which
// --record or --subscribe is set.
int runHeadless(const QCommandLineParser &parser);

#endif
