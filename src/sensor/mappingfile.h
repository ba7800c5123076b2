#ifndef MAPPINGFILE_H
#define MAPPINGFILE_H

#include <QString>

// The mapping parameter file (*.quc): an INI file of the settings store with nine doubles
// at the top level. Values round-trip exactly, NaN included.
struct MappingParameters {
    double T1 = 0;
    double nuRef1 = 0;
    double T2 = 0;
    double nuRef2 = 0;
    double A = 0;
    double B = 0;
    double C = 0;
    double k = 0;
    double alpha = 0;
};

// The name a chosen save name is stored under: ".quc" is appended unless the name already
// ends with it (case-sensitive, so "mapping.QUC" becomes "mapping.QUC.quc").
QString mappingFileName(const QString &chosenName);

// Sets the nine keys; other keys of an existing file stay. False when the file could not
// be written.
bool saveMappingFile(const QString &fileName, const MappingParameters &parameters);

// Reads the nine keys, a missing one as 0. False, with parameters untouched, when the file
// cannot be read, is not an INI file, or holds none of the keys.
bool loadMappingFile(const QString &fileName, MappingParameters &parameters);

#endif
