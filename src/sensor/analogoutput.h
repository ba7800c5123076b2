#ifndef ANALOGOUTPUT_H
#define ANALOGOUTPUT_H

#include <QDateTime>
#include <QString>
#include <QVector>

#include <cstdint>
#include <optional>

// The 4–20 mA outputs: a source code naming the live register the output follows,
// and the output's values at 4 mA and 20 mA as raw integers at that register's scale.
// The code table chooses the scale; the firmware date decides which codes exist.

struct AnalogOutputSetting {
    QString source; // combo box text, "None" for an unknown code
    double min = 0; // value at 4 mA
    double max = 0; // value at 20 mA
};

// The unit shown beside a source text; "-" for "None" and anything unknown.
QString analogUnit(const QString &source);

AnalogOutputSetting decodeAnalogOutput(uint16_t code, uint16_t raw4, uint16_t raw20);

// The three words (code, raw4, raw20) for a source and its limits, or nothing when
// the limits or the sensor's firmware do not allow that source.
std::optional<QVector<uint16_t>> encodeAnalogOutput(const QString &source, double min, double max,
                                                    const QDateTime &firmwareDate);

#endif
