#ifndef SETTINGSFILE_H
#define SETTINGSFILE_H

#include <QSettings>
#include <QString>

// The program's settings file: "./gui_settings.ini" in the working directory (not beside
// the executable), in INI format. Each part of the program reads and writes its own keys
// with its own defaults; the folder the file dialogs start in is shared, so it is kept here.
class SettingsFile : public QSettings
{
public:
    static constexpr char path[] = "./gui_settings.ini";

    SettingsFile();

    // The key "workingDir": the folder the file dialogs start in, the home folder until a
    // file was chosen.
    QString workingDir() const;
    // Stores the absolute folder of a file the user chose as the next starting folder.
    void setWorkingDirFromFile(const QString &fileName);
};

#endif
