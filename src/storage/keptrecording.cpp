#include "keptrecording.h"

#include "measurementdata.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

int unexportedSamples(const MeasurementData &store, int savedSamples)
{
    return qMax(0, store.timestamps.size() - savedSamples);
}

bool holdsRecording(const MeasurementData &store, const QString &fileName, QString &error)
{
    MeasurementData kept;
    if (!kept.importCsv(fileName)) {
        error = kept.errorString();
        return false;
    }
    bool same = kept.timestamps.size() == store.timestamps.size();
    for (int row = 0; same && row < kept.timestamps.size(); ++row)
        same = kept.frameNr[row] == store.frameNr[row] &&
               kept.timestamps[row] == store.timestamps[row];
    if (!same)
        error = QString("%1 does not hold the recording's %2 samples (it holds %3)")
                    .arg(QDir::toNativeSeparators(fileName))
                    .arg(store.timestamps.size())
                    .arg(kept.timestamps.size());
    return same;
}

bool keepRecording(MeasurementData &store, const QString &fileName, QString &error)
{
    if (!store.exportCsv(fileName)) {
        error = store.errorString();
        return false;
    }
    if (holdsRecording(store, fileName, error))
        return true;
    QFile::remove(fileName);
    return false;
}

bool isSameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists())
        return first.canonicalFilePath() == second.canonicalFilePath();
    return QDir::cleanPath(first.absoluteFilePath()) == QDir::cleanPath(second.absoluteFilePath());
}
