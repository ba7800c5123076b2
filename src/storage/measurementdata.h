#ifndef MEASUREMENTDATA_H
#define MEASUREMENTDATA_H

#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QVector>

#include "livesample.h"
#include "xlsxworkbook.h"

#include <cstdint>
#include <functional>

// A run of rows of the store: count -1 runs to the end.
struct SampleRows {
    int first = 0;
    int count = -1;
};

// How an export tells how far it is; either part may be left empty.
struct ExportProgress {
    // Told at the start and then about every 50 ms how many of total rows are written;
    // false cancels the export.
    std::function<bool(int written, int total)> rowsWritten;
    // The XLSX export's last step, compressing the workbook, cannot be cancelled and runs
    // in worker; returns once worker finished (see XlsxWorkbook::save).
    std::function<void(QThread &worker)> compressing;
};

// Every sample taken since start-up, oldest first, as parallel columns. The columns
// are never replaced, only appended to and emptied, so readers may keep pointers to
// them. The mutex guards appending, clearing and the exporters' row-wise reads; it
// is not recursive, so code holding it must not call addSample() or clear().
class MeasurementData : public QObject
{
    Q_OBJECT

public:
    explicit MeasurementData(QObject *parent = nullptr);

    // Appends one sample; refuses (false, with a warning) a timestamp earlier than
    // the last stored one.
    bool addSample(const QDateTime &timestamp, uint32_t frameNr, uint16_t systemState, double T,
                   double rho, double nu, double eta, double nuUc);
    bool addSample(const LiveSample &sample);
    // The sample in row, read without the lock: the caller holds it or is the only writer.
    LiveSample sampleAt(int row) const;
    void clear();

    // The exports tell progress how far they are, and stop when it cancels. They write
    // beside the target and replace it only when the file is complete, so a cancelled or
    // failed export (result false) leaves an existing file untouched. Samples added
    // meanwhile are not exported; rows limits the export to a stretch.
    bool exportCsv(const QString &fileName, SampleRows rows = {},
                   const ExportProgress &progress = {});
    // What importCsv does with a last line that has no line end: other programs write
    // files that way, but the journal only ever writes whole lines, so there such a line
    // is one cut off by a full disk or a crash.
    enum class UnendedLastLine { Read, Skip };
    // Replaces the store's content with the samples of a regular file; false when the
    // file cannot be read (a pipe, a device or a folder is refused at once) or at the
    // first bad line, whose samples before it stay. A line longer than
    // maxCsvImportLineLength is a bad line, unless it is a comment. progress is told the
    // bytes read so far after each block of the file; false cancels the import (false).
    bool importCsv(const QString &fileName, UnendedLastLine unendedLastLine = UnendedLastLine::Read,
                   const std::function<bool(qint64 bytesRead)> &progress = {});
    // sheetRows is the capacity of one worksheet; samples beyond continue on the next sheet.
    bool exportXlsx(const QString &fileName, int sheetRows = XlsxWorkbook::maxSheetRows,
                    SampleRows rows = {}, const ExportProgress &progress = {});
    // Why the last export or import failed: the file and the system's reason or the bad
    // line; empty after a success.
    QString errorString() const { return lastError; }
    // True when the last export returned false because it was cancelled.
    bool lastExportCanceled() const { return exportCanceled; }

    QVector<QDateTime> timestamps;
    QVector<uint32_t> frameNr;
    QVector<uint16_t> systemState;
    QVector<double> T;
    QVector<double> rho;
    QVector<double> nu;
    QVector<double> eta;
    QVector<double> nuUc;
    QMutex mutex;

signals:
    // The columns were emptied; what follows is a new recording (or an import), so
    // whatever was derived from the old samples is stale.
    void cleared();

private:
    bool badLine(int lineNumber, const char *reason, const QString &fileName);
    // Calls writeRow with each row of rows under the lock, telling progress how far it is;
    // false when writeRow failed or progress cancelled (then with the error set for
    // fileName and format).
    template <typename WriteRow>
    bool exportRows(SampleRows rows, const ExportProgress &progress, const QString &fileName,
                    const char *format, WriteRow writeRow);

    QString lastError;
    bool exportCanceled = false;
};

// The one measurement store of the process, created before main() runs.
extern MeasurementData *measurementData;

#endif
