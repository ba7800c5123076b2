#include "mappingfile.h"

#include <QSettings>
#include <QStringList>

#include <algorithm>

namespace
{

const QString suffix = QStringLiteral(".quc");

} // namespace

QString mappingFileName(const QString &chosenName)
{
    if (chosenName.endsWith(suffix, Qt::CaseSensitive))
        return chosenName;
    return chosenName + suffix;
}

bool saveMappingFile(const QString &fileName, const MappingParameters &parameters)
{
    QSettings file(fileName, QSettings::IniFormat);
    file.setValue("T1", parameters.T1);
    file.setValue("nuRef1", parameters.nuRef1);
    file.setValue("T2", parameters.T2);
    file.setValue("nuRef2", parameters.nuRef2);
    file.setValue("A", parameters.A);
    file.setValue("B", parameters.B);
    file.setValue("C", parameters.C);
    file.setValue("k", parameters.k);
    file.setValue("alpha", parameters.alpha);
    file.sync();
    return file.status() == QSettings::NoError;
}

bool loadMappingFile(const QString &fileName, MappingParameters &parameters)
{
    QSettings file(fileName, QSettings::IniFormat);
    if (file.status() != QSettings::NoError)
        return false;

    const QStringList keys = file.childKeys();
    const QStringList known = {"T1", "nuRef1", "T2", "nuRef2", "A", "B", "C", "k", "alpha"};
    const bool anyKnown = std::any_of(known.cbegin(), known.cend(),
                                      [&keys](const QString &key) { return keys.contains(key); });
    if (!anyKnown)
        return false;

    parameters.T1 = file.value("T1", 0.0).toDouble();
    parameters.nuRef1 = file.value("nuRef1", 0.0).toDouble();
    parameters.T2 = file.value("T2", 0.0).toDouble();
    parameters.nuRef2 = file.value("nuRef2", 0.0).toDouble();
    parameters.A = file.value("A", 0.0).toDouble();
    parameters.B = file.value("B", 0.0).toDouble();
    parameters.C = file.value("C", 0.0).toDouble();
    parameters.k = file.value("k", 0.0).toDouble();
    parameters.alpha = file.value("alpha", 0.0).toDouble();
    return true;
}
