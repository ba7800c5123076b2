#ifndef CURRENTVALUES_H
#define CURRENTVALUES_H

#include "livesample.h"

#include <QString>
#include <QVector>

#include <cstdint>

// What the current-values window shows of the latest sample, apart from the widgets.

// One quantity's line: whether it is shown and its value as text ("–" when missing), in
// the order nu, nuUc, eta, rho, T.
struct CurrentValue {
    bool shown = false;
    QString value;
};
constexpr int currentValueCount = 5;

// The lines for sample; visableGraphs is the plot's bit set (GraphFlag), and the mapped
// viscosity is shown only where mapping is on.
QVector<CurrentValue> currentValues(const LiveSample &sample, unsigned int visableGraphs,
                                    bool mapping);
// The lines before any sample: those visableGraphs shows, each "–".
QVector<CurrentValue> currentValuesWithoutSample(unsigned int visableGraphs, bool mapping);

// "3 s ago", "2 min 5 s ago", "1 h 4 min ago"; a sample stamped after now (a clock set
// back) counts as taken now.
QString sampleAgeText(qint64 ageMs);
// More than three poll periods without a new sample.
bool sampleIsLate(qint64 ageMs, int pollIntervalMs);
// Whether the state's text is the one of state 0, "normal".
bool stateIsNormal(uint16_t state);

#endif
