#include "recordingcompare.h"

#include "measurementdata.h"

#include <cmath>

namespace
{

bool sameValue(double file, double expected, double rounding)
{
    if (std::isnan(expected))
        return std::isnan(file);
    return std::abs(file - expected) <= rounding / 2 + 1e-9;
}

} // namespace

QString recordingDifference(const MeasurementData &expected, const QString &fileName)
{
    MeasurementData file;
    if (!file.importCsv(fileName))
        return "cannot read " + fileName + ": " + file.errorString();
    if (file.timestamps.size() != expected.timestamps.size())
        return QString("%1 holds %2 samples, expected %3")
            .arg(fileName)
            .arg(file.timestamps.size())
            .arg(expected.timestamps.size());
    for (int i = 0; i < file.timestamps.size(); ++i) {
        const bool same = file.timestamps[i] == expected.timestamps[i] &&
                          file.frameNr[i] == expected.frameNr[i] &&
                          file.systemState[i] == expected.systemState[i] &&
                          sameValue(file.nu[i], expected.nu[i], 0.01) &&
                          sameValue(file.eta[i], expected.eta[i], 0.01) &&
                          sameValue(file.rho[i], expected.rho[i], 0.1) &&
                          sameValue(file.T[i], expected.T[i], 0.01) &&
                          sameValue(file.nuUc[i], expected.nuUc[i], 0.01);
        if (!same)
            return QString("sample %1 (frame %2) differs in %3")
                .arg(i)
                .arg(expected.frameNr[i])
                .arg(fileName);
    }
    return QString();
}

void copySamples(const MeasurementData &from, MeasurementData &to)
{
    to.clear();
    for (int i = 0; i < from.timestamps.size(); ++i)
        to.addSample(from.sampleAt(i));
}
