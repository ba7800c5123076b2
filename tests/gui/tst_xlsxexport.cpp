#include "customization.h"
#include "exportprogressdialog.h"
#include "measurementdata.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <limits>

// The workbooks are read back with openpyxl, as another program would read them.
class TestXlsxExport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void emptyStore();
    void cells();
    void columnWidthsFitTheTexts();
    void fullSheetContinuesOnTheNext();
    void replacesExistingFile();
    void dialogSaysWhenCompressing();
};

namespace
{

const double notANumber = std::numeric_limits<double>::quiet_NaN();

QJsonArray readSheets(const QString &fileName)
{
    QProcess reader;
    reader.start(QUVA_PYTHON,
                 {QUVA_SOURCE_DIR "/tests/support/readxlsx.py", QFileInfo(fileName).filePath()});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0) {
        qWarning() << reader.readAllStandardError();
        return QJsonArray();
    }
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object()["sheets"].toArray();
}

QJsonObject cell(const QJsonObject &sheet, int row, int column)
{
    return sheet["rows"].toArray()[row - 1].toArray()[column - 1].toObject();
}

bool isEmptyCell(const QJsonObject &sheet, int row, int column)
{
    const QJsonArray cells = sheet["rows"].toArray()[row - 1].toArray();
    return column > cells.size() || cells[column - 1].isNull();
}

bool closeTo(double actual, double expected)
{
    // The library writes 16 significant digits.
    return std::fabs(actual - expected) <= 1e-15 * std::fabs(expected);
}

void checkHead(const QJsonObject &sheet)
{
    QCOMPARE(cell(sheet, 1, 1)["value"].toString(), QString("QUVA-Explorer Data Export File"));
    QCOMPARE(cell(sheet, 1, 1)["type"].toString(), QString("s"));
    QVERIFY(!cell(sheet, 1, 1)["bold"].toBool());
    QCOMPARE(cell(sheet, 2, 1)["value"].toString(), QString("Tarnwell, 2024"));
    for (int column = 1; column <= 8; ++column)
        QVERIFY(isEmptyCell(sheet, 3, column));
    const QStringList headers = {"date/time",
                                 "measurementNo. ",
                                 "kin. viscosity (cSt)",
                                 "dyn. viscosity (mPas)",
                                 QString::fromUtf8("density (kg/m³)"),
                                 QString::fromUtf8("temperature (°C)"),
                                 "statusCode",
                                 "kin. viscosity mapped (cSt)"};
    for (int column = 1; column <= 8; ++column) {
        QCOMPARE(cell(sheet, 4, column)["value"].toString(), headers.at(column - 1));
        QVERIFY(cell(sheet, 4, column)["bold"].toBool());
    }
}

} // namespace

void TestXlsxExport::initTestCase()
{
    applicationName = "QUVA-Explorer";
    companyName = "Tarnwell";
    QProcess python;
    python.start(QUVA_PYTHON, {"-c", "import openpyxl"});
    QVERIFY2(python.waitForFinished(30000) && python.exitCode() == 0,
             "openpyxl is needed to read the workbooks back");
}

void TestXlsxExport::emptyStore()
{
    MeasurementData store;
    QTest::ignoreMessage(QtDebugMsg, "MeasurementData: XLSX exported: \"empty.xlsx\"");
    QVERIFY(store.exportXlsx("empty.xlsx"));
    const QJsonArray sheets = readSheets("empty.xlsx");
    QCOMPARE(sheets.size(), 1);
    const QJsonObject sheet = sheets[0].toObject();
    QCOMPARE(sheet["name"].toString(), QString("Sheet1"));
    QCOMPARE(sheet["rows"].toArray().size(), 4);
    checkHead(sheet);
}

void TestXlsxExport::cells()
{
    MeasurementData store;
    QVERIFY(store.addSample(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 250)), 4294967295u, 0x0201,
                            40.0, double(849.45f), 0.1 + 0.2, 12.345678901234567, notANumber));
    QVERIFY(store.addSample(QDateTime(QDate(2024, 7, 1), QTime(23, 59, 59, 999)), 0, 0, -3.25,
                            notANumber, double(12.3456f), notANumber, -1e-7));
    QVERIFY(store.addSample(QDateTime(QDate(2024, 7, 2), QTime(0, 0, 0, 1)), 17, 0xfffe,
                            std::numeric_limits<double>::infinity(), 1e300, 0, 5, 6));
    QTest::ignoreMessage(QtDebugMsg, "MeasurementData: XLSX exported: \"cells.xlsx\"");
    QVERIFY(store.exportXlsx("cells.xlsx"));

    const QJsonArray sheets = readSheets("cells.xlsx");
    QCOMPARE(sheets.size(), 1);
    const QJsonObject sheet = sheets[0].toObject();
    checkHead(sheet);
    QCOMPARE(sheet["rows"].toArray().size(), 7);

    const QStringList times = {"2024-03-05T14:07:09.250", "2024-07-01T23:59:59.999",
                               "2024-07-02T00:00:00.001"};
    for (int i = 0; i < 3; ++i) {
        const int row = i + 5;
        const QJsonObject date = cell(sheet, row, 1);
        QCOMPARE(date["type"].toString(), QString("d"));
        QCOMPARE(date["value"].toString(), times.at(i));
        QCOMPARE(date["format"].toString(), QString("YYYY-MM-DD hh:mm:ss.000"));
        QCOMPARE(cell(sheet, row, 2)["type"].toString(), QString("n"));
        QCOMPARE(cell(sheet, row, 2)["value"].toDouble(), double(store.frameNr.at(i)));
        QCOMPARE(cell(sheet, row, 7)["type"].toString(), QString("s"));
        for (int column = 1; column <= 8; ++column)
            QVERIFY(!cell(sheet, row, column)["bold"].toBool());
    }
    QCOMPARE(cell(sheet, 5, 7)["value"].toString(), QString("0x0201"));
    QCOMPARE(cell(sheet, 6, 7)["value"].toString(), QString("0x0000"));
    QCOMPARE(cell(sheet, 7, 7)["value"].toString(), QString("0xfffe"));

    // Columns 3 to 6 and 8: nu, eta, rho, T, nuUc.
    const QVector<double> values[] = {{0.1 + 0.2, 12.345678901234567, double(849.45f), 40.0},
                                      {double(12.3456f), notANumber, notANumber, -3.25, -1e-7},
                                      {0, 5, 1e300}};
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < values[i].size(); ++k) {
            const int column = k < 4 ? k + 3 : 8;
            const double expected = values[i].at(k);
            if (std::isnan(expected)) {
                QVERIFY(isEmptyCell(sheet, i + 5, column));
                continue;
            }
            const QJsonObject number = cell(sheet, i + 5, column);
            QCOMPARE(number["type"].toString(), QString("n"));
            QCOMPARE(number["format"].toString(), QString("General"));
            QVERIFY2(closeTo(number["value"].toDouble(), expected),
                     qPrintable(QString("row %1 column %2").arg(i + 5).arg(column)));
        }
    }
    QVERIFY(isEmptyCell(sheet, 5, 8));
    // Infinity cannot be a number cell; it is kept as text rather than breaking the file.
    QCOMPARE(cell(sheet, 7, 6)["value"].toString(), QString("inf"));
    QCOMPARE(cell(sheet, 7, 8)["value"].toDouble(), 6.0);
}

void TestXlsxExport::columnWidthsFitTheTexts()
{
    MeasurementData store;
    QVERIFY(store.addSample(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 250)), 1234567, 0x0201,
                            double(23.4567f), double(849.45f), double(12.3456f), 10.5, 2));
    QTest::ignoreMessage(QtDebugMsg, "MeasurementData: XLSX exported: \"widths.xlsx\"");
    QVERIFY(store.exportXlsx("widths.xlsx"));
    const QJsonObject sheet = readSheets("widths.xlsx")[0].toObject();
    const QJsonObject widths = sheet["widths"].toObject();

    // Longest text shown per column, in characters: the title in A, the headers elsewhere
    // (numbers show at most 11 characters, dates 23).
    const QMap<QString, int> longest = {{"A", 30}, {"B", 15}, {"C", 20}, {"D", 21},
                                        {"E", 15}, {"F", 16}, {"G", 10}, {"H", 27}};
    for (auto it = longest.begin(); it != longest.end(); ++it) {
        const double width = widths[it.key()].toDouble();
        QVERIFY2(width >= 0.8 * it.value() && width <= 1.3 * it.value() + 2,
                 qPrintable(QString("column %1: width %2").arg(it.key()).arg(width)));
    }
}

void TestXlsxExport::fullSheetContinuesOnTheNext()
{
    // Ten rows per sheet: the four head rows and six samples.
    MeasurementData store;
    for (int i = 0; i < 15; ++i)
        QVERIFY(store.addSample(QDateTime(QDate(2024, 3, 5), QTime(14, 0)).addMSecs(500 * i),
                                uint32_t(i), 0, 20, 800, 2, 1.6, notANumber));
    QTest::ignoreMessage(QtDebugMsg, "MeasurementData: XLSX exported: \"sheets.xlsx\"");
    QVERIFY(store.exportXlsx("sheets.xlsx", 10));

    const QJsonArray sheets = readSheets("sheets.xlsx");
    QCOMPARE(sheets.size(), 3);
    const int samplesPerSheet[] = {6, 6, 3};
    int frame = 0;
    for (int s = 0; s < 3; ++s) {
        const QJsonObject sheet = sheets[s].toObject();
        QCOMPARE(sheet["name"].toString(), QString("Sheet%1").arg(s + 1));
        checkHead(sheet);
        QCOMPARE(sheet["rows"].toArray().size(), 4 + samplesPerSheet[s]);
        for (int row = 5; row < 5 + samplesPerSheet[s]; ++row)
            QCOMPARE(cell(sheet, row, 2)["value"].toInt(), frame++);
        QVERIFY(sheet["widths"].toObject()["H"].toDouble() > 20);
    }
    QCOMPARE(frame, 15);
}

void TestXlsxExport::replacesExistingFile()
{
    {
        QFile old("replaced.xlsx");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older file");
    }
    QFile::setPermissions("replaced.xlsx", QFile::ReadOwner | QFile::WriteOwner);
    const QFile::Permissions permissions = QFile::permissions("replaced.xlsx");
    MeasurementData store;
    QVERIFY(store.addSample(QDateTime(QDate(2024, 3, 5), QTime(14, 0)), 1, 0, 20, 800, 2, 1.6, 3));
    QTest::ignoreMessage(QtDebugMsg, "MeasurementData: XLSX exported: \"replaced.xlsx\"");
    QVERIFY(store.exportXlsx("replaced.xlsx"));
    QCOMPARE(readSheets("replaced.xlsx").size(), 1);
    QCOMPARE(QFile::permissions("replaced.xlsx"), permissions);
    QCOMPARE(QDir().entryList({"replaced.xlsx*"}, QDir::Files | QDir::Hidden),
             QStringList{"replaced.xlsx"});
}

void TestXlsxExport::dialogSaysWhenCompressing()
{
    MeasurementData store;
    QDateTime time(QDate(2024, 3, 5), QTime(8, 0));
    for (int i = 0; i < 100000; ++i) {
        store.addSample(time, uint32_t(i), 0, 20 + i % 100 * 0.01, 849.25, 12.5 + i % 7 * 0.1, 10.6,
                        11.9);
        time = time.addMSecs(500);
    }

    // The first tick stalls longer than the dialog's minimum duration, so the dialog is up
    // when the rows are written; later ticks note what it shows.
    int ticks = 0;
    QStringList labels;
    QList<bool> cancelEnabled;
    QTimer watcher;
    watcher.setInterval(20);
    connect(&watcher, &QTimer::timeout, [&] {
        if (ticks++ == 0) {
            QThread::msleep(1100);
            return;
        }
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<QProgressDialog *>(widget);
            if (dialog && dialog->isVisible() &&
                (labels.isEmpty() || labels.last() != dialog->labelText())) {
                labels.append(dialog->labelText());
                cancelEnabled.append(dialog->findChild<QPushButton *>()->isEnabled());
            }
        }
    });
    watcher.start();
    QTest::ignoreMessage(QtDebugMsg, "MeasurementData: XLSX exported: \"compressed.xlsx\"");
    QVERIFY(ExportProgressDialog::exportXlsx(store, "compressed.xlsx"));
    // The rows may be written before the dialog had a chance to be seen.
    QVERIFY(labels.size() == 1 || labels.size() == 2);
    QCOMPARE(labels.last(), QString("XLSX Export\nCompressing the workbook..."));
    QVERIFY(!cancelEnabled.last());
    if (labels.size() == 2) {
        QCOMPARE(labels.first(), QString("XLSX Export"));
        QVERIFY(cancelEnabled.first());
    }
    QCOMPARE(QFileInfo("compressed.xlsx").size() > 100000, true);
}

QTEST_MAIN(TestXlsxExport)
#include "tst_xlsxexport.moc"
