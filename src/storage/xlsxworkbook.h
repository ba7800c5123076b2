#ifndef XLSXWORKBOOK_H
#define XLSXWORKBOOK_H

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class QThread;

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

// An XLSX workbook written row by row with little memory. It is built in a temporary
// file beside the target and moved onto it only when complete, so a cancelled or failed
// export never touches an existing file. Every sheet starts with the title lines, an
// empty row and the bold column headers; rows beyond a sheet's capacity continue on the
// next sheet ("Sheet1", "Sheet2", ...) under the same head. Column widths are fitted to
// the texts shown, as a spreadsheet's autofit does.
class XlsxWorkbook
{
public:
    // Rows of one worksheet in the file format.
    static constexpr int maxSheetRows = 1048576;

    XlsxWorkbook(const QString &fileName, const QStringList &titles, const QStringList &headers,
                 int sheetRows = maxSheetRows);
    // Discards a workbook that was not saved.
    ~XlsxWorkbook();
    XlsxWorkbook(const XlsxWorkbook &) = delete;
    XlsxWorkbook &operator=(const XlsxWorkbook &) = delete;

    // Starts the workbook and writes the first sheet's head; false when the target's
    // folder cannot take the file.
    bool open();
    // Starts the next data row; the write functions fill its cells (columns from 0).
    void nextRow();
    // A date-time cell in local time, shown as "YYYY-MM-DD hh:mm:ss.000".
    void writeDateTime(int column, const QDateTime &value);
    // NaN leaves the cell empty; infinities, which the format cannot hold, become text.
    void writeNumber(int column, double value);
    void writeText(int column, const QString &text);
    // Compresses the workbook and moves it onto the target. That takes seconds for large
    // workbooks and cannot be interrupted, so it runs in a worker thread; waitFor, when
    // given, is called with the running worker and returns once it finished, serving the
    // caller's events meanwhile.
    bool save(const std::function<void(QThread &worker)> &waitFor = {});
    QString errorString() const { return error; }

private:
    bool compress();
    void addSheet();
    void fitColumns();
    void widen(int column, int pixels);
    void keepFirstError(int result);

    QString fileName;
    QString temporaryName;
    QStringList titles;
    QStringList headers;
    int sheetRows;
    QByteArray temporaryFolder;
    lxw_workbook *workbook = nullptr;
    lxw_worksheet *sheet = nullptr;
    lxw_format *headerFormat = nullptr;
    lxw_format *dateFormat = nullptr;
    QVector<lxw_worksheet *> sheets;
    int row = 0;
    // Widest text of each column on the current sheet, in pixels of the default font.
    QVector<int> columnPixels;
    int firstError = 0;
    QString error;
};

#endif
