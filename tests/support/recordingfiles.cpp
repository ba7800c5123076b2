#include "recordingfiles.h"

#include "csvline.h"

#include <limits>

QVector<LiveSample> risingSamples(int count, const QDateTime &first, int stepMs)
{
    QVector<LiveSample> samples(count);
    for (int i = 0; i < count; ++i) {
        LiveSample &sample = samples[i];
        sample.timestamp = first.addMSecs(qint64(i) * stepMs);
        sample.frameNr = uint32_t(i + 1);
        sample.nu = 10 + 0.01 * i;
        sample.eta = 8.5;
        sample.rho = 850;
        sample.T = 40;
        sample.nuUc = std::numeric_limits<double>::quiet_NaN();
    }
    return samples;
}

QByteArray recordingCsv(const QVector<LiveSample> &samples)
{
    QByteArray file = csvHead("QUVA-Explorer", "Tarnwell");
    char line[maxCsvLineLength];
    for (const LiveSample &sample : samples)
        file.append(line, int(formatCsvLine(line, sample) - line));
    return file;
}
