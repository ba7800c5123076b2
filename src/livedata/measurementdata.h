#ifndef MEASUREMENTDATA_H
#define MEASUREMENTDATA_H

#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QVector>

#include "xlsxworkbook.h"

#include <cstdint>

// A run of rows of the store: count -1 runs to the end.
struct SampleRows {
    int first = 0;
    int count = -1;
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
    void clear();

    // The exports show a progress dialog with a Cancel button when they take longer than a
    // second. They write beside the target and replace it only when the file is complete,
    // so a cancelled or failed export (result false) leaves an existing file untouched.
    // Samples added meanwhile are not exported; rows limits the export to a stretch.
    bool exportCsv(const QString &fileName, SampleRows rows = {});
    // What importCsv does with a last line that has no line end: other programs write
    // files that way, but the journal only ever writes whole lines, so there such a line
    // is one cut off by a full disk or a crash.
    enum class UnendedLastLine { Read, Skip };
    // Replaces the store's content with the samples of a regular file; false when the
    // file cannot be read (a pipe, a device or a folder is refused at once) or at the
    // first bad line, whose samples before it stay. A line longer than
    // maxCsvImportLineLength is a bad line, unless it is a comment.
    bool importCsv(const QString &fileName,
                   UnendedLastLine unendedLastLine = UnendedLastLine::Read);
    // sheetRows is the capacity of one worksheet; samples beyond continue on the next sheet.
    bool exportXlsx(const QString &fileName, int sheetRows = XlsxWorkbook::maxSheetRows,
                    SampleRows rows = {});
    // Why the last CSV export or import failed: the file and the system's reason or the
    // bad line; empty after a success.
    QString errorString() const { return lastError; }
    // True when the last export returned false because the user pressed Cancel.
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
    // The number of rows an export of rows writes, read under the lock; a negative
    // first row becomes 0.
    int exportedCount(SampleRows &rows);

    QString lastError;
    bool exportCanceled = false;
};

#endif
