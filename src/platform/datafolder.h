#ifndef DATAFOLDER_H
#define DATAFOLDER_H

#include <QString>

// The folder an installed program started from the menu works in, in place of the
// working directory: $XDG_DATA_HOME/quva-explorer, or ~/.local/share/quva-explorer
// when XDG_DATA_HOME is unset, empty or not an absolute path (as the XDG base
// directory rules say).
QString dataFolderPath(const QString &xdgDataHome, const QString &home);

// Creates the data folder of this user's environment (on Windows
// %LOCALAPPDATA%\QUVA-Explorer) if needed and makes it the
// working directory. On failure returns false and sets error to a message naming the
// folder and the reason; the working directory is then unchanged.
bool enterDataFolder(QString &error);

#endif
