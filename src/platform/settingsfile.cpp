#include "settingsfile.h"

#include <QDir>
#include <QFileInfo>

namespace
{

const QString workingDirKey = "workingDir";

} // namespace

SettingsFile::SettingsFile() : QSettings(path, QSettings::IniFormat) {}

QString SettingsFile::workingDir() const
{
    return value(workingDirKey, QDir::homePath()).toString();
}

void SettingsFile::setWorkingDirFromFile(const QString &fileName)
{
    setValue(workingDirKey, QFileInfo(fileName).absolutePath());
}
