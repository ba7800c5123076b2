#include "currentvalues.h"

#include "systemstatetext.h"
#include "timeplotform.h"

#include <QCoreApplication>

#include <cmath>

namespace
{

QString valueText(double value, int decimals)
{
    return std::isnan(value) ? QStringLiteral("–") : QString::number(value, 'f', decimals);
}

// The quantities in the order of the lines, with their bits.
const unsigned int lineFlags[currentValueCount] = {GraphFlag::Nu, GraphFlag::NuUc, GraphFlag::Eta,
                                                   GraphFlag::Rho, GraphFlag::T};

bool isShown(int line, unsigned int visableGraphs, bool mapping)
{
    return (visableGraphs & lineFlags[line]) && (mapping || lineFlags[line] != GraphFlag::NuUc);
}

} // namespace

QVector<CurrentValue> currentValues(const LiveSample &sample, unsigned int visableGraphs,
                                    bool mapping)
{
    // The decimals of the CSV export: 1 for the density, 2 for the others.
    const QString texts[currentValueCount] = {valueText(sample.nu, 2), valueText(sample.nuUc, 2),
                                              valueText(sample.eta, 2), valueText(sample.rho, 1),
                                              valueText(sample.T, 2)};
    QVector<CurrentValue> lines(currentValueCount);
    for (int line = 0; line < currentValueCount; ++line)
        lines[line] = {isShown(line, visableGraphs, mapping), texts[line]};
    return lines;
}

QVector<CurrentValue> currentValuesWithoutSample(unsigned int visableGraphs, bool mapping)
{
    QVector<CurrentValue> lines(currentValueCount);
    for (int line = 0; line < currentValueCount; ++line)
        lines[line] = {isShown(line, visableGraphs, mapping), QStringLiteral("–")};
    return lines;
}

QString sampleAgeText(qint64 ageMs)
{
    const qint64 seconds = qMax<qint64>(0, ageMs) / 1000;
    const auto tr = [](const char *text) {
        return QCoreApplication::translate("CurrentValuesWindow", text);
    };
    if (seconds < 60)
        return tr("%1 s ago").arg(seconds);
    if (seconds < 3600)
        return tr("%1 min %2 s ago").arg(seconds / 60).arg(seconds % 60);
    return tr("%1 h %2 min ago").arg(seconds / 3600).arg(seconds / 60 % 60);
}

bool sampleIsLate(qint64 ageMs, int pollIntervalMs)
{
    return ageMs > 3 * qint64(pollIntervalMs);
}

bool stateIsNormal(uint16_t state)
{
    return systemStateText(state, false) == systemStateText(0, false);
}
