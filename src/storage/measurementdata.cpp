#include "measurementdata.h"

#include "customization.h"
#include "csvline.h"
#include "platformfile.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <QSaveFile>

#include <cstring>
#include <vector>

namespace
{

// The exports look at the clock every so many rows and tell their progress about every
// 50 ms, so that a dialog can run the event loop often without costing every row.
const int rowsPerClockCheck = 256;
const int progressIntervalMs = 50;

// Also the import's block size: far more than the longest line it takes.
const int csvBufferSize = 1 << 20;
static_assert(maxCsvImportLineLength == 65536, "the import's reason names the limit");

// In the hour that repeats when summer time ends, a wall-clock time names two moments and
// the file does not say which (the C library picks one by what it resolved before). The
// import takes the earlier one unless that would put the sample before the last one, so
// that a recording across the change reads back whole and in order.
class RepeatedHour
{
public:
    QDateTime inOrder(const QDateTime &timestamp, const QVector<QDateTime> &stored)
    {
        const QDate date = timestamp.date();
        if (date != checkedDate) {
            checkedDate = date;
            shift = QDateTime(date, QTime(0, 0)).offsetFromUtc() -
                    QDateTime(date.addDays(1), QTime(0, 0)).offsetFromUtc();
        }
        if (shift <= 0)
            return timestamp;
        const QString wallClock = timestamp.toString(csvDateTimeFormat);
        const QDateTime earlier = timestamp.addSecs(-shift);
        const QDateTime later = timestamp.addSecs(shift);
        const QDateTime first =
            earlier.toString(csvDateTimeFormat) == wallClock ? earlier : timestamp;
        const QDateTime second = later.toString(csvDateTimeFormat) == wallClock ? later : timestamp;
        return !stored.isEmpty() && first < stored.last() ? second : first;
    }

private:
    QDate checkedDate;
    int shift = 0;
};

bool writeAll(QSaveFile &file, const char *begin, const char *end)
{
    return file.write(begin, end - begin) == end - begin;
}

} // namespace

MeasurementData *measurementData = new MeasurementData();

MeasurementData::MeasurementData(QObject *parent) : QObject(parent) {}

bool MeasurementData::addSample(const QDateTime &timestamp, uint32_t frameNr, uint16_t systemState,
                                double T, double rho, double nu, double eta, double nuUc)
{
    QMutexLocker locker(&mutex);
    if (!timestamps.isEmpty() && timestamp < timestamps.last()) {
        qWarning() << "MeasurementData: new timestamp"
                   << timestamp.toString("yyyy-MM-ddTHH:mm:ss.zzz")
                   << "is older than last data time"
                   << timestamps.last().toString("yyyy-MM-ddTHH:mm:ss.zzz");
        return false;
    }
    timestamps.append(timestamp);
    this->frameNr.append(frameNr);
    this->systemState.append(systemState);
    this->T.append(T);
    this->rho.append(rho);
    this->nu.append(nu);
    this->eta.append(eta);
    this->nuUc.append(nuUc);
    return true;
}

bool MeasurementData::addSample(const LiveSample &sample)
{
    return addSample(sample.timestamp, sample.frameNr, sample.systemState, sample.T, sample.rho,
                     sample.nu, sample.eta, sample.nuUc);
}

LiveSample MeasurementData::sampleAt(int row) const
{
    return {timestamps.at(row), frameNr.at(row), nu.at(row),          eta.at(row),
            rho.at(row),        T.at(row),       systemState.at(row), nuUc.at(row)};
}

template <typename WriteRow>
bool MeasurementData::exportRows(SampleRows rows, const ExportProgress &progress,
                                 const QString &fileName, const char *format, WriteRow writeRow)
{
    int count = 0;
    {
        QMutexLocker locker(&mutex);
        rows.first = qMax(0, rows.first);
        const int available = qMax(0, timestamps.size() - rows.first);
        count = rows.count < 0 ? available : qMin(rows.count, available);
    }
    const auto goOn = [&](int written) {
        if (!progress.rowsWritten || progress.rowsWritten(written, count))
            return true;
        lastError = QString("%1: %2").arg(fileName, tr("cancelled"));
        qDebug().noquote() << "MeasurementData:" << format << "export canceled.";
        exportCanceled = true;
        return false;
    };
    if (!goOn(0))
        return false;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    for (int i = 0; i < count; ++i) {
        if (i % rowsPerClockCheck == 0 && sinceProgress.hasExpired(progressIntervalMs)) {
            if (!goOn(i))
                return false;
            sinceProgress.restart();
        }
        QMutexLocker locker(&mutex);
        const int row = rows.first + i;
        if (row >= timestamps.size())
            break;
        if (!writeRow(row))
            return false;
    }
    return true;
}

void MeasurementData::clear()
{
    {
        QMutexLocker locker(&mutex);
        timestamps.clear();
        frameNr.clear();
        systemState.clear();
        T.clear();
        rho.clear();
        nu.clear();
        eta.clear();
        nuUc.clear();
    }
    emit cleared();
}

bool MeasurementData::exportCsv(const QString &fileName, SampleRows rows,
                                const ExportProgress &progress)
{
    exportCanceled = false;
    QSaveFile file(fileName);
    lastError.clear();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        lastError = QString("%1: %2").arg(fileName, file.errorString());
        qWarning().noquote() << "MeasurementData: cannot open CSV file for writing" << lastError;
        return false;
    }
    const QByteArray head = csvHead(applicationName, companyName);
    std::vector<char> buffer(csvBufferSize);
    char *const begin = buffer.data();
    char *const limit = begin + buffer.size() - maxCsvLineLength;
    char *end = begin;
    bool written = writeAll(file, head.constData(), head.constData() + head.size());

    const auto writeRow = [&](int row) {
        end = formatCsvLine(end, sampleAt(row));
        if (end > limit) {
            written = writeAll(file, begin, end);
            end = begin;
        }
        return written;
    };
    const bool complete = written && exportRows(rows, progress, fileName, "CSV", writeRow);
    if (exportCanceled)
        return false;
    // A full disk often shows only when the file is committed.
    if (!complete || !writeAll(file, begin, end) || !file.commit()) {
        lastError = QString("%1: %2").arg(fileName, file.errorString());
        qWarning().noquote() << "MeasurementData: error while writing to CSV file" << lastError;
        return false;
    }
    qDebug() << "MeasurementData: CSV exported:" << fileName;
    return true;
}

bool MeasurementData::importCsv(const QString &fileName, UnendedLastLine unendedLastLine,
                                const std::function<bool(qint64 bytesRead)> &progress)
{
    lastError.clear();
    const auto cannotRead = [&](const char *logText, const QString &reason) {
        lastError = QString("%1: %2").arg(fileName, reason);
        qWarning().noquote() << logText << lastError;
        return false;
    };
    // Only a regular file has an end: a pipe or a device could keep the import waiting
    // or reading for ever, so anything else is refused at once.
    PlatformFile file;
    if (file.openRegular(fileName, false) != PlatformFile::Opened::Yes)
        return cannotRead("MeasurementData: cannot open CSV file for reading", file.errorString());
    clear();

    // Read as bytes in blocks of a fixed size, so that memory stays the same whatever the
    // file holds. As in a text-mode read every CR is dropped, and a UTF-8 byte-order mark
    // at the start is skipped as the UTF-8 text stream does.
    std::vector<char> buffer(csvBufferSize);
    std::vector<char> lineWithoutCr;
    size_t filled = 0;
    bool atEnd = false;
    bool inLongComment = false; // skipping the rest of a comment line longer than the limit
    int lineNumber = 0;
    LiveSample sample;
    RepeatedHour repeatedHour;
    qint64 bytesRead = 0;
    while (!atEnd || filled > 0) {
        if (!atEnd) {
            const qint64 read = file.read(buffer.data() + filled, qint64(buffer.size() - filled));
            if (read < 0)
                return cannotRead("MeasurementData: error while reading CSV file",
                                  file.errorString());
            atEnd = read == 0;
            filled += size_t(read);
            bytesRead += read;
            if (progress && !progress(bytesRead))
                return cannotRead("MeasurementData: CSV import canceled:", "canceled");
        }
        const char *next = buffer.data();
        const char *const end = next + filled;
        while (next != end) {
            const auto *lineEnd = static_cast<const char *>(std::memchr(next, '\n', end - next));
            if (inLongComment) {
                next = lineEnd ? lineEnd + 1 : end;
                inLongComment = !lineEnd;
                continue;
            }
            if (!lineEnd && !atEnd) {
                if (end - next <= maxCsvImportLineLength)
                    break;
                // Longer than any line can be: a comment is skipped to its end, anything
                // else refused at its number.
                if (*next != '#') {
                    ++lineNumber;
                    return badLine(lineNumber, "longer than 65536 bytes", fileName);
                }
                ++lineNumber;
                inLongComment = true;
                next = end;
                break;
            }
            if (!lineEnd && unendedLastLine == UnendedLastLine::Skip) {
                next = end;
                break;
            }
            const char *lineBegin = next;
            const char *contentEnd = lineEnd ? lineEnd : end;
            next = lineEnd ? lineEnd + 1 : end;
            ++lineNumber;
            if (contentEnd - lineBegin > maxCsvImportLineLength && *lineBegin != '#')
                return badLine(lineNumber, "longer than 65536 bytes", fileName);

            if (std::memchr(lineBegin, '\r', contentEnd - lineBegin)) {
                lineWithoutCr.clear();
                for (const char *p = lineBegin; p != contentEnd; ++p) {
                    if (*p != '\r')
                        lineWithoutCr.push_back(*p);
                }
                lineBegin = lineWithoutCr.data();
                contentEnd = lineBegin + lineWithoutCr.size();
            }
            if (lineNumber == 1 && contentEnd - lineBegin >= 3 &&
                std::memcmp(lineBegin, "\xef\xbb\xbf", 3) == 0)
                lineBegin += 3;
            if (!isCsvDataLine(lineBegin, contentEnd))
                continue;
            if (const char *reason = parseCsvLine(lineBegin, contentEnd, sample))
                return badLine(lineNumber, reason, fileName);
            sample.timestamp = repeatedHour.inOrder(sample.timestamp, timestamps);
            addSample(sample);
        }
        filled = size_t(end - next);
        std::memmove(buffer.data(), next, filled);
    }
    return true;
}

bool MeasurementData::badLine(int lineNumber, const char *reason, const QString &fileName)
{
    qWarning() << "MeasurementData: CSV import line:" << lineNumber << reason;
    lastError = QString("%1: line %2: %3").arg(fileName).arg(lineNumber).arg(reason);
    return false;
}

bool MeasurementData::exportXlsx(const QString &fileName, int sheetRows, SampleRows rows,
                                 const ExportProgress &progress)
{
    exportCanceled = false;
    XlsxWorkbook workbook(fileName, exportTitleLines(applicationName, companyName),
                          {"date/time", "measurementNo. ", "kin. viscosity (cSt)",
                           "dyn. viscosity (mPas)", QString::fromUtf8("density (kg/m³)"),
                           QString::fromUtf8("temperature (°C)"), "statusCode",
                           "kin. viscosity mapped (cSt)"},
                          sheetRows);
    lastError.clear();
    if (!workbook.open()) {
        lastError = QString("%1: %2").arg(fileName, workbook.errorString());
        qWarning() << "MeasurementData: cannot open XLSX file for writing" << fileName
                   << workbook.errorString();
        return false;
    }

    // States hardly change, so their text is made only when they do.
    int shownState = -1;
    QString stateText;
    const bool complete = exportRows(rows, progress, fileName, "XLSX", [&](int row) {
        if (systemState.at(row) != shownState) {
            shownState = systemState.at(row);
            stateText = QStringLiteral("0x%1").arg(shownState, 4, 16, QLatin1Char('0'));
        }
        workbook.nextRow();
        workbook.writeDateTime(0, timestamps.at(row));
        workbook.writeNumber(1, frameNr.at(row));
        workbook.writeNumber(2, nu.at(row));
        workbook.writeNumber(3, eta.at(row));
        workbook.writeNumber(4, rho.at(row));
        workbook.writeNumber(5, T.at(row));
        workbook.writeText(6, stateText);
        workbook.writeNumber(7, nuUc.at(row));
        return true;
    });
    if (!complete)
        return false;
    if (!workbook.save(progress.compressing)) {
        lastError = QString("%1: %2").arg(fileName, workbook.errorString());
        qWarning() << "MeasurementData: cannot write XLSX file" << fileName
                   << workbook.errorString();
        return false;
    }
    qDebug() << "MeasurementData: XLSX exported:" << fileName;
    return true;
}
