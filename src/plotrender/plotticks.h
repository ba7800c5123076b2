#ifndef PLOTTICKS_H
#define PLOTTICKS_H

#include <QDateTime>
#include <QString>
#include <QVector>

// Grid values and axis labels shared by the time plot and the XY plot.

// Grid values between low and high at 1, 2 or 5 times a power of ten, about
// intervalCount of them; empty for an empty, negative or non-finite span.
QVector<double> valueTicks(double low, double high, int intervalCount);

// A value as at most 8 significant digits with an engineering exponent ("123.456e3",
// "500e-3"); values from 1 up to below 100000 get no exponent.
QString formatTickValue(double value);

// Tick times strictly between left and right, at multiples (counted in UTC from the
// epoch) of a step chosen from the span; stepMs receives that step. Empty, with step 0,
// unless left < right.
QVector<QDateTime> timeTicks(const QDateTime &left, const QDateTime &right, qint64 &stepMs);

#endif
