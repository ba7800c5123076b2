#include "measurementdata.h"

#include "app/customization.h"
#include "csvline.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMutexLocker>
#include <QProgressDialog>
#include <QPushButton>
#include <QSaveFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{

// The exports look at the clock every so many rows and tell the dialog their progress
// about every 50 ms, so the event loop runs at least every 100 ms without paying for it
// on every row.
const int rowsPerClockCheck = 256;
const int progressIntervalMs = 50;

// Also the import's block size: far more than the longest line it takes.
const int csvBufferSize = 1 << 20;
static_assert(maxCsvImportLineLength == 65536, "the import's reason names the limit");

void setUpProgress(QProgressDialog &progress)
{
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(1000);
}

// Before the dialog appears, setValue() runs no events; timers and repaints are served
// here then, while the user's clicks wait until the dialog is up or the export is done.
void showProgress(QProgressDialog &progress, int value)
{
    progress.setValue(value);
    if (!progress.isVisible())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

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

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// What a file that is not a regular file is, for the message that refuses it.
QString fileKind(mode_t mode)
{
    if (S_ISDIR(mode))
        return "is a folder, not a file";
    if (S_ISFIFO(mode))
        return "is a named pipe, not a regular file";
    if (S_ISCHR(mode))
        return "is a character device, not a regular file";
    if (S_ISBLK(mode))
        return "is a block device, not a regular file";
    if (S_ISSOCK(mode))
        return "is a socket, not a regular file";
    return "is not a regular file";
}

bool writeAll(QSaveFile &file, const char *begin, const char *end)
{
    return file.write(begin, end - begin) == end - begin;
}

} // namespace

MeasurementData::MeasurementData(QObject *parent) : QObject(parent) {}

int MeasurementData::exportedCount(SampleRows &rows)
{
    QMutexLocker locker(&mutex);
    rows.first = qMax(0, rows.first);
    const int available = qMax(0, timestamps.size() - rows.first);
    return rows.count < 0 ? available : qMin(rows.count, available);
}

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

bool MeasurementData::exportCsv(const QString &fileName, SampleRows rows)
{
    exportCanceled = false;
    QProgressDialog progress(tr("CSV Export"), tr("Cancel"), 0, 100);
    setUpProgress(progress);

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

    const int count = exportedCount(rows);
    progress.setMaximum(count);
    progress.setValue(0);
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    for (int i = 0; written && i < count; ++i) {
        if (i % rowsPerClockCheck == 0 && sinceProgress.hasExpired(progressIntervalMs)) {
            showProgress(progress, i);
            sinceProgress.restart();
        }
        if (progress.wasCanceled()) {
            qDebug() << "MeasurementData: CSV export canceled.";
            exportCanceled = true;
            return false;
        }
        {
            QMutexLocker locker(&mutex);
            const int row = rows.first + i;
            if (row >= timestamps.size())
                break;
            end = formatCsvLine(end, timestamps.at(row), frameNr.at(row), systemState.at(row),
                                T.at(row), rho.at(row), nu.at(row), eta.at(row), nuUc.at(row));
        }
        if (end > limit) {
            written = writeAll(file, begin, end);
            end = begin;
        }
    }
    // A full disk often shows only when the file is committed.
    if (!written || !writeAll(file, begin, end) || !file.commit()) {
        lastError = QString("%1: %2").arg(fileName, file.errorString());
        qWarning().noquote() << "MeasurementData: error while writing to CSV file" << lastError;
        return false;
    }
    progress.setValue(count);
    qDebug() << "MeasurementData: CSV exported:" << fileName;
    return true;
}

bool MeasurementData::importCsv(const QString &fileName, UnendedLastLine unendedLastLine)
{
    lastError.clear();
    const auto cannotRead = [&](const char *logText, const QString &reason) {
        lastError = QString("%1: %2").arg(fileName, reason);
        qWarning().noquote() << logText << lastError;
        return false;
    };
    // Only a regular file has an end: a pipe or a device could keep the import waiting
    // or reading for ever. Opened without blocking, so a pipe is refused at once.
    QFile file;
    const int fd =
        ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return cannotRead("MeasurementData: cannot open CSV file for reading", systemError());
    struct stat status;
    const QString reason = ::fstat(fd, &status) != 0  ? systemError()
                           : !S_ISREG(status.st_mode) ? fileKind(status.st_mode)
                                                      : QString();
    if (!reason.isEmpty()) {
        ::close(fd);
        return cannotRead("MeasurementData: cannot open CSV file for reading", reason);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return cannotRead("MeasurementData: cannot open CSV file for reading", file.errorString());
    }
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
    CsvSample sample;
    RepeatedHour repeatedHour;
    while (!atEnd || filled > 0) {
        if (!atEnd) {
            const qint64 read = file.read(buffer.data() + filled, qint64(buffer.size() - filled));
            if (read < 0)
                return cannotRead("MeasurementData: error while reading CSV file",
                                  file.errorString());
            atEnd = read == 0;
            filled += size_t(read);
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
            addSample(sample.timestamp, sample.frameNr, sample.systemState, sample.T, sample.rho,
                      sample.nu, sample.eta, sample.nuUc);
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

bool MeasurementData::exportXlsx(const QString &fileName, int sheetRows, SampleRows rows)
{
    exportCanceled = false;
    QProgressDialog progress(tr("XLSX Export"), tr("Cancel"), 0, 100);
    setUpProgress(progress);

    XlsxWorkbook workbook(fileName, {applicationName + " Data Export File", companyName + ", 2024"},
                          {"date/time", "measurementNo. ", "kin. viscosity (cSt)",
                           "dyn. viscosity (mPas)", QString::fromUtf8("density (kg/m³)"),
                           QString::fromUtf8("temperature (°C)"), "statusCode",
                           "kin. viscosity mapped (cSt)"},
                          sheetRows);
    if (!workbook.open()) {
        qWarning() << "MeasurementData: cannot open XLSX file for writing" << fileName
                   << workbook.errorString();
        return false;
    }

    const int count = exportedCount(rows);
    progress.setMaximum(count);
    progress.setValue(0);
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    // States hardly change, so their text is made only when they do.
    int shownState = -1;
    QString stateText;
    for (int i = 0; i < count; ++i) {
        if (i % rowsPerClockCheck == 0 && sinceProgress.hasExpired(progressIntervalMs)) {
            showProgress(progress, i);
            sinceProgress.restart();
        }
        if (progress.wasCanceled()) {
            qDebug() << "MeasurementData: XLSX export canceled.";
            exportCanceled = true;
            return false;
        }
        QMutexLocker locker(&mutex);
        const int row = rows.first + i;
        if (row >= timestamps.size())
            break;
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
    }

    // Compressing takes most of the time for large workbooks and cannot be interrupted.
    // It runs in a worker so that the dialog can say so and the event loop goes on.
    progress.setLabelText(tr("XLSX Export\nCompressing the workbook..."));
    progress.setRange(0, 0);
    if (auto *cancelButton = progress.findChild<QPushButton *>())
        cancelButton->setEnabled(false);
    bool saved = false;
    std::unique_ptr<QThread> compression(QThread::create([&] { saved = workbook.save(); }));
    QEventLoop loop;
    connect(compression.get(), &QThread::finished, &loop, &QEventLoop::quit);
    compression->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    compression->wait();
    if (!saved) {
        qWarning() << "MeasurementData: cannot write XLSX file" << fileName
                   << workbook.errorString();
        return false;
    }
    qDebug() << "MeasurementData: XLSX exported:" << fileName;
    return true;
}
