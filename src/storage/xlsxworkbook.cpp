#include "xlsxworkbook.h"

#include "platformfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QThread>

#include <xlsxwriter.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

namespace
{

// Pixel widths of the printable ASCII characters in the default font (Calibri 11), from
// ' ' to '~'; other characters count as 8 pixels.
const unsigned char characterPixels[95] = {
    3, 5,  6, 7, 7, 11, 10, 3,  5,  5, 7, 7, 4, 5, 4, 6,  7, 7, 7, 7, 7, 7,  7,  7,
    7, 7,  4, 4, 7, 7,  7,  7,  13, 9, 8, 8, 9, 7, 7, 9,  9, 4, 5, 8, 6, 12, 10, 10,
    8, 10, 8, 7, 7, 9,  9,  13, 8,  7, 7, 5, 6, 5, 7, 7,  4, 7, 8, 6, 8, 8,  5,  7,
    8, 4,  4, 7, 4, 12, 8,  8,  8,  8, 5, 6, 5, 8, 7, 11, 7, 7, 6, 5, 7, 5,  7};

// Column width in characters that shows text of the given pixel width with a margin:
// Excel draws a column of width w as 7 w + 5 pixels in the default font.
double columnWidth(int pixels)
{
    return (pixels + 7 - 5) / 7.0;
}

int textPixels(const char *begin, const char *end)
{
    int pixels = 0;
    for (const char *p = begin; p != end; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte >= ' ' && byte <= '~')
            pixels += characterPixels[byte - ' '];
        else if ((byte & 0xc0) != 0x80) // the first byte of a UTF-8 sequence
            pixels += 8;
    }
    return pixels;
}

int textPixels(const QByteArray &text)
{
    return textPixels(text.constData(), text.constData() + text.size());
}

// The widest text the General format shows for a number: 11 characters, a minus sign,
// ten digits and the decimal point.
const int maxNumberPixels = 5 + 10 * 7 + 4;

// Pixel width of a number as the General format shows it: rounded to fit 11
// characters, trailing zeros dropped, very large and very small numbers in scientific
// notation.
int numberPixels(double value)
{
    char text[64];
    char *end = text;
    const double magnitude = std::fabs(value);
    if (magnitude == 0) {
        *end++ = '0';
    } else if (magnitude >= 1e-9 && magnitude < 1e11) {
        const int integerDigits = magnitude < 1 ? 1 : int(std::log10(magnitude)) + 1;
        const int decimals = std::max(0, 10 - integerDigits - (value < 0 ? 1 : 0));
        end =
            std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
        if (decimals > 0) {
            while (end[-1] == '0')
                --end;
            if (end[-1] == '.')
                --end;
        }
    } else {
        end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 5).ptr;
    }
    return textPixels(text, end);
}

int dateTimePixels()
{
    static const char shown[] = "2000-01-01 00:00:00.000";
    static const int pixels = textPixels(shown, shown + sizeof shown - 1);
    return pixels;
}

} // namespace

XlsxWorkbook::XlsxWorkbook(const QString &fileName, const QStringList &titles,
                           const QStringList &headers, int sheetRows)
    : fileName(fileName), titles(titles), headers(headers), sheetRows(sheetRows)
{
}

XlsxWorkbook::~XlsxWorkbook()
{
    if (workbook)
        lxw_workbook_free(workbook);
    if (!temporaryName.isEmpty())
        QFile::remove(temporaryName);
}

bool XlsxWorkbook::open()
{
    // Reserve a free name beside the target; the library creates the file when it saves.
    const QFileInfo target(fileName);
    QTemporaryFile reservation(target.absoluteFilePath() + ".XXXXXX");
    if (!reservation.open()) {
        error = reservation.errorString();
        return false;
    }
    temporaryName = reservation.fileName();
    reservation.remove();

    // The rows wait in temporary files until the workbook is compressed; the library's
    // default place for them is not writable on every system.
    temporaryFolder = QFile::encodeName(QDir::tempPath());
    lxw_workbook_options options = {};
    options.constant_memory = 1;
    options.tmpdir = temporaryFolder.data();
    workbook = workbook_new_opt(QFile::encodeName(temporaryName).constData(), &options);
    if (!workbook) {
        error = QStringLiteral("cannot create the workbook");
        return false;
    }
    headerFormat = workbook_add_format(workbook);
    format_set_bold(headerFormat);
    dateFormat = workbook_add_format(workbook);
    format_set_num_format(dateFormat, "YYYY-MM-DD hh:mm:ss.000");
    addSheet();
    return true;
}

void XlsxWorkbook::addSheet()
{
    const QByteArray name = QStringLiteral("Sheet%1").arg(sheets.size() + 1).toUtf8();
    sheet = workbook_add_worksheet(workbook, name.constData());
    if (!sheet) {
        keepFirstError(LXW_ERROR_MEMORY_MALLOC_FAILED);
        return;
    }
    sheets.append(sheet);
    columnPixels.fill(0, headers.size());
    row = 0;
    for (const QString &title : titles) {
        writeText(0, title);
        ++row;
    }
    ++row;
    for (int column = 0; column < headers.size(); ++column) {
        const QByteArray text = headers.at(column).toUtf8();
        keepFirstError(worksheet_write_string(sheet, lxw_row_t(row), lxw_col_t(column),
                                              text.constData(), headerFormat));
        widen(column, textPixels(text));
    }
}

void XlsxWorkbook::nextRow()
{
    if (row + 1 >= sheetRows) {
        fitColumns();
        addSheet();
    }
    ++row;
}

void XlsxWorkbook::writeDateTime(int column, const QDateTime &value)
{
    if (!sheet)
        return;
    int year = 0;
    int month = 0;
    int day = 0;
    value.date().getDate(&year, &month, &day);
    // Spreadsheet dates start in 1900.
    if (!value.isValid() || year < 1900 || year > 9999) {
        writeText(column, value.toString("yyyy-MM-ddTHH:mm:ss.zzz"));
        return;
    }
    const int msecs = value.time().msecsSinceStartOfDay();
    lxw_datetime dateTime = {
        year, month, day, msecs / 3600000, msecs / 60000 % 60, (msecs % 60000) / 1000.0};
    keepFirstError(
        worksheet_write_datetime(sheet, lxw_row_t(row), lxw_col_t(column), &dateTime, dateFormat));
    widen(column, dateTimePixels());
}

void XlsxWorkbook::writeNumber(int column, double value)
{
    if (!sheet || std::isnan(value))
        return;
    if (std::isinf(value)) {
        writeText(column, value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf"));
        return;
    }
    keepFirstError(
        worksheet_write_number(sheet, lxw_row_t(row), lxw_col_t(column), value, nullptr));
    if (columnPixels.at(column) < maxNumberPixels)
        widen(column, numberPixels(value));
}

void XlsxWorkbook::writeText(int column, const QString &text)
{
    if (!sheet)
        return;
    const QByteArray utf8 = text.toUtf8();
    keepFirstError(worksheet_write_string(sheet, lxw_row_t(row), lxw_col_t(column),
                                          utf8.constData(), nullptr));
    widen(column, textPixels(utf8));
}

bool XlsxWorkbook::save(const std::function<void(QThread &)> &waitFor)
{
    bool saved = false;
    std::unique_ptr<QThread> compression(QThread::create([&] { saved = compress(); }));
    compression->start();
    if (waitFor)
        waitFor(*compression);
    compression->wait();
    return saved;
}

bool XlsxWorkbook::compress()
{
    fitColumns();
    // The library does not check its writes to the temporary row store, so a full
    // temporary folder would give a workbook with rows missing.
    for (lxw_worksheet *written : qAsConst(sheets)) {
        FILE *rowStore = written->optimize_tmpfile;
        if (rowStore && (std::fflush(rowStore) != 0 || std::ferror(rowStore))) {
            error = QStringLiteral("cannot write temporary data in ") + QDir::tempPath();
            return false;
        }
    }
    const lxw_error result = workbook_close(workbook);
    workbook = nullptr;
    keepFirstError(result);
    if (firstError != LXW_NO_ERROR) {
        error = QString::fromUtf8(lxw_strerror(lxw_error(firstError)));
        return false;
    }
    if (QFile::exists(fileName))
        QFile::setPermissions(temporaryName, QFile::permissions(fileName));
    if (!replaceFile(temporaryName, fileName, error))
        return false;
    temporaryName.clear();
    return true;
}

void XlsxWorkbook::fitColumns()
{
    if (!sheet)
        return;
    for (int column = 0; column < columnPixels.size(); ++column) {
        if (columnPixels.at(column) > 0)
            keepFirstError(worksheet_set_column(sheet, lxw_col_t(column), lxw_col_t(column),
                                                columnWidth(columnPixels.at(column)), nullptr));
    }
}

void XlsxWorkbook::widen(int column, int pixels)
{
    if (column >= columnPixels.size())
        columnPixels.resize(column + 1);
    columnPixels[column] = std::max(columnPixels.at(column), pixels);
}

void XlsxWorkbook::keepFirstError(int result)
{
    if (firstError == LXW_NO_ERROR)
        firstError = result;
}
