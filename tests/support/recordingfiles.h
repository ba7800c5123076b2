#ifndef RECORDINGFILES_H
#define RECORDINGFILES_H

#include "livesample.h"

#include <QByteArray>
#include <QDateTime>
#include <QVector>

// Measurement samples and the CSV files the program writes of them, for tests that read
// recordings.

// count samples every stepMs from first: nu rises from 10 by 0.01 a sample, the others
// stay put, the state is 0 and there is no mapped viscosity.
QVector<LiveSample> risingSamples(int count, const QDateTime &first, int stepMs = 500);

// The file the CSV export writes of samples, head included.
QByteArray recordingCsv(const QVector<LiveSample> &samples);

#endif
