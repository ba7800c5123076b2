#ifndef RECORDINGCOMPARE_H
#define RECORDINGCOMPARE_H

#include <QString>

class MeasurementData;

// How the samples of the CSV file fileName differ from expected's, sample for sample, to
// the file's rounding (two decimals, one for the density); empty when they do not.
QString recordingDifference(const MeasurementData &expected, const QString &fileName);

// A copy of the store's samples, to compare with after the store changed.
void copySamples(const MeasurementData &from, MeasurementData &to);

#endif
