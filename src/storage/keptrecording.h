#ifndef KEPTRECORDING_H
#define KEPTRECORDING_H

#include <QString>

class MeasurementData;

// Before the store lets go of samples that no file holds (a clear, an import), they are
// kept in a file of their own, and only a file that was read back and found to hold them
// is ever named to the user.

// The samples of the store that no file holds: savedSamples is the store's size at the
// last successful export or import; the rows after them were taken live or restored.
int unexportedSamples(const MeasurementData &store, int savedSamples);

// Whether the CSV file fileName holds the store's samples, row for row (the same frame
// numbers and times); false with error naming the file and what is wrong.
bool holdsRecording(const MeasurementData &store, const QString &fileName, QString &error);

// Writes every sample of the store to fileName and reads the file back: true only when it
// holds them (holdsRecording); otherwise false with error, and no such file is left.
bool keepRecording(MeasurementData &store, const QString &fileName, QString &error);

// Whether the two names reach the same file (through links or "..", too).
bool isSameFile(const QString &a, const QString &b);

#endif
