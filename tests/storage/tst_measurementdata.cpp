#include "csvline.h"
#include "customization.h"
#include "measurementdata.h"
#include "testfiles.h"

#include <QFile>
#include <QThread>
#include <QtTest>

#include <cmath>
#include <limits>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

class TestMeasurementData : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void addSample_data();
    void addSample();
    void allNanSampleIsStored();
    void sampleValueFillsItsColumns();
    void progressIsToldAndCanCancel_data();
    void progressIsToldAndCanCancel();
    void exportEmptyStore();
    void exportWritesEveryByte();
    void exportToMissingFolder();
    void exportImportRoundTrip();
    void importSkipsCommentsBlankLinesAndHeader();
    void importLineEnds_data();
    void importLineEnds();
    void importFailure_data();
    void importFailure();
    void importGoesOnAfterRefusedTimestamp();
    void importMissingFile();
};

namespace
{

const double notANumber = std::numeric_limits<double>::quiet_NaN();

// The system's words for a missing file, or for a missing folder on the way to it: Windows
// has a text of its own for each, worded by the Windows version.
QByteArray missingText(bool folder)
{
#ifdef Q_OS_WIN
    return qt_error_string(folder ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND).toUtf8();
#else
    Q_UNUSED(folder)
    return "No such file or directory";
#endif
}

const QByteArray defaultHead = "#\n# QUVA-Explorer Data Export File\n# Tarnwell, 2024\n#\n"
                               "date/time (yyyy-MM-ddTHH:mm:ss.zzz);measurementNo.;"
                               "kin. viscosity (cSt);dyn. viscosity (mPas);density (kg/m^3);"
                               "temperature (deg C);statusCode;kin. viscosity mapped (cSt)\n";

QDateTime at(int hour, int minute, int second, int msec)
{
    return QDateTime(QDate(2024, 1, 2), QTime(hour, minute, second, msec));
}

bool same(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

double rounded(double value, int decimals)
{
    return QString::number(value, 'f', decimals).toDouble();
}

// The line as the Qt functions the file format is defined by write it.
QByteArray referenceLine(const MeasurementData &store, int i)
{
    return QStringList{store.timestamps.at(i).toString("yyyy-MM-ddTHH:mm:ss.zzz"),
                       QString::number(store.frameNr.at(i)),
                       QString::number(store.nu.at(i), 'f', 2),
                       QString::number(store.eta.at(i), 'f', 2),
                       QString::number(store.rho.at(i), 'f', 1),
                       QString::number(store.T.at(i), 'f', 2),
                       QString("0x%1").arg(store.systemState.at(i), 4, 16, QChar('0')),
                       QString::number(store.nuUc.at(i), 'f', 2)}
               .join(';')
               .toUtf8() +
           "\n";
}

// Realistic samples: values from the sensor's float registers, a few NaN, states
// mostly 0, two samples a second across the spring clock change.
void fillRealistic(MeasurementData &store, int count)
{
    QDateTime time(QDate(2024, 3, 31), QTime(0, 0, 0, 125));
    for (int i = 0; i < count; ++i) {
        const double nu = double(float(12.3456 + std::sin(i * 0.001)));
        const double rho = double(float(849.123 - i * 0.0001));
        const double T = double(float(-5.5 + (i % 5000) * 0.01));
        store.addSample(time, uint32_t(100000 + i), i % 97 == 0 ? uint16_t(0x0a01) : 0, T, rho,
                        i % 1000 == 3 ? notANumber : nu, nu * rho / 1000,
                        i % 2 ? notANumber : nu * 1.01);
        time = time.addMSecs(500 + i % 3);
    }
}

} // namespace

void TestMeasurementData::initTestCase()
{
    applicationName = "QUVA-Explorer";
    companyName = "Tarnwell";
}

void TestMeasurementData::addSample_data()
{
    QTest::addColumn<bool>("storeFirst");
    QTest::addColumn<bool>("clearFirst");
    QTest::addColumn<QDateTime>("timestamp");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("equal timestamp accepted") << true << false << at(3, 4, 5, 6) << true;
    QTest::newRow("later timestamp accepted") << true << false << at(3, 4, 5, 7) << true;
    QTest::newRow("1 ms earlier refused") << true << false << at(3, 4, 5, 5) << false;
    QTest::newRow("first sample accepted whatever its time")
        << false << false << QDateTime(QDate(1999, 1, 1), QTime(0, 0)) << true;
    QTest::newRow("after clear an earlier time accepted") << true << true << at(1, 0, 0, 0) << true;
}

void TestMeasurementData::addSample()
{
    QFETCH(bool, storeFirst);
    QFETCH(bool, clearFirst);
    QFETCH(QDateTime, timestamp);
    QFETCH(bool, accepted);

    MeasurementData store;
    if (storeFirst)
        QVERIFY(store.addSample(at(3, 4, 5, 6), 1, 0, 20, 800, 2, 1.6, 2.1));
    if (clearFirst)
        store.clear();
    const int before = store.timestamps.size();
    if (!accepted)
        QTest::ignoreMessage(QtWarningMsg, "MeasurementData: new timestamp "
                                           "\"2024-01-02T03:04:05.005\" is older than last data "
                                           "time \"2024-01-02T03:04:05.006\"");
    QCOMPARE(store.addSample(timestamp, 2, 0x0201, 21, 801, 3, 2.4, 3.1), accepted);
    QCOMPARE(store.timestamps.size(), before + (accepted ? 1 : 0));
    for (int size : {store.frameNr.size(), store.systemState.size(), store.T.size(),
                     store.rho.size(), store.nu.size(), store.eta.size(), store.nuUc.size()})
        QCOMPARE(size, store.timestamps.size());
    if (accepted) {
        QCOMPARE(store.timestamps.last(), timestamp);
        QCOMPARE(store.frameNr.last(), 2u);
        QCOMPARE(store.systemState.last(), uint16_t(0x0201));
        QCOMPARE(store.T.last(), 21.0);
        QCOMPARE(store.rho.last(), 801.0);
        QCOMPARE(store.nu.last(), 3.0);
        QCOMPARE(store.eta.last(), 2.4);
        QCOMPARE(store.nuUc.last(), 3.1);
    }
}

void TestMeasurementData::allNanSampleIsStored()
{
    MeasurementData store;
    QVERIFY(store.addSample(at(3, 4, 5, 6), 1, 0, notANumber, notANumber, notANumber, notANumber,
                            notANumber));
    QCOMPARE(store.timestamps.size(), 1);
    QVERIFY(std::isnan(store.T.at(0)) && std::isnan(store.rho.at(0)) &&
            std::isnan(store.nu.at(0)) && std::isnan(store.eta.at(0)) &&
            std::isnan(store.nuUc.at(0)));
}

void TestMeasurementData::sampleValueFillsItsColumns()
{
    // A value of its own in each member, so that a swap shows.
    MeasurementData store;
    QVERIFY(
        store.addSample(LiveSample{at(1, 2, 3, 4), 7, 12.5, 10.25, 850.5, 21.75, 0x0a01, 13.5}));
    QCOMPARE(store.timestamps.at(0), at(1, 2, 3, 4));
    QCOMPARE(store.frameNr.at(0), 7u);
    QCOMPARE(store.nu.at(0), 12.5);
    QCOMPARE(store.eta.at(0), 10.25);
    QCOMPARE(store.rho.at(0), 850.5);
    QCOMPARE(store.T.at(0), 21.75);
    QCOMPARE(store.systemState.at(0), uint16_t(0x0a01));
    QCOMPARE(store.nuUc.at(0), 13.5);
}

void TestMeasurementData::progressIsToldAndCanCancel_data()
{
    addExportFormatRows();
}

void TestMeasurementData::progressIsToldAndCanCancel()
{
    QFETCH(QString, format);
    MeasurementData store;
    fillRealistic(store, 1000);
    QVector<QPair<int, int>> told;
    int compressions = 0;
    ExportProgress progress{[&](int written, int total) {
                                told.append({written, total});
                                return true;
                            },
                            [&](QThread &worker) {
                                ++compressions;
                                worker.wait();
                            }};
    const QString fileName = "progress." + format;
    const auto exportWith = [&] {
        return format == "csv"
                   ? store.exportCsv(fileName, {}, progress)
                   : store.exportXlsx(fileName, XlsxWorkbook::maxSheetRows, {}, progress);
    };
    QTest::ignoreMessage(QtDebugMsg, qPrintable("MeasurementData: " + format.toUpper() +
                                                " exported: \"" + fileName + "\""));
    QVERIFY(exportWith());
    QCOMPARE(told.first(), qMakePair(0, 1000));
    QCOMPARE(compressions, format == "xlsx" ? 1 : 0);

    // Cancelled from the start: the file of the export before stays as it was.
    const QByteArray exported = readFile(fileName);
    progress.rowsWritten = [](int, int) { return false; };
    QTest::ignoreMessage(QtDebugMsg,
                         qPrintable("MeasurementData: " + format.toUpper() + " export canceled."));
    QVERIFY(!exportWith());
    QVERIFY(store.lastExportCanceled());
    QCOMPARE(store.errorString(), fileName + ": cancelled");
    QCOMPARE(readFile(fileName), exported);
}

void TestMeasurementData::exportEmptyStore()
{
    MeasurementData store;
    QTest::ignoreMessage(QtDebugMsg, "MeasurementData: CSV exported: \"empty.csv\"");
    QVERIFY(store.exportCsv("empty.csv"));
    // The file's lines end as a text-mode file's do here: CR LF on Windows.
    QCOMPARE(readFile("empty.csv"), withLineEnd(defaultHead, textFileLineEnd));
}

void TestMeasurementData::exportWritesEveryByte()
{
    // Enough lines to pass several times through the export's buffer.
    MeasurementData store;
    fillRealistic(store, 40000);
    QVERIFY(store.addSample(store.timestamps.last(), 4294967295u, 0xffff, -0.125, 1e21, 0.125, -0.0,
                            99.995));
    QByteArray expected = defaultHead;
    for (int i = 0; i < store.timestamps.size(); ++i)
        expected += referenceLine(store, i);
    expected = withLineEnd(expected, textFileLineEnd);

    QTest::ignoreMessage(QtDebugMsg, "MeasurementData: CSV exported: \"all.csv\"");
    QVERIFY(store.exportCsv("all.csv"));
    const QByteArray actual = readFile("all.csv");
    QCOMPARE(actual.size(), expected.size());
    QVERIFY(actual == expected);
}

void TestMeasurementData::exportToMissingFolder()
{
    MeasurementData store;
    fillRealistic(store, 3);
    const QByteArray expected =
        "MeasurementData: cannot open CSV file for writing no-such-folder/data.csv: " +
        missingText(true);
    QTest::ignoreMessage(QtWarningMsg, expected.constData());
    QVERIFY(!store.exportCsv("no-such-folder/data.csv"));
    QVERIFY(!QFile::exists("no-such-folder"));
}

void TestMeasurementData::exportImportRoundTrip()
{
    MeasurementData original;
    fillRealistic(original, 3000);
    QVERIFY(original.addSample(original.timestamps.last(), 0, 0xbeef, -40.004, 0.05, -1.005,
                               1234567.891, 0.0));
    QTest::ignoreMessage(QtDebugMsg, "MeasurementData: CSV exported: \"roundtrip.csv\"");
    QVERIFY(original.exportCsv("roundtrip.csv"));

    MeasurementData copy;
    fillRealistic(copy, 5);
    QVERIFY(copy.importCsv("roundtrip.csv"));
    QCOMPARE(copy.timestamps, original.timestamps);
    QCOMPARE(copy.frameNr, original.frameNr);
    QCOMPARE(copy.systemState, original.systemState);
    for (int i = 0; i < original.timestamps.size(); ++i) {
        QVERIFY2(same(copy.nu.at(i), rounded(original.nu.at(i), 2)) &&
                     same(copy.eta.at(i), rounded(original.eta.at(i), 2)) &&
                     same(copy.rho.at(i), rounded(original.rho.at(i), 1)) &&
                     same(copy.T.at(i), rounded(original.T.at(i), 2)) &&
                     same(copy.nuUc.at(i), rounded(original.nuUc.at(i), 2)),
                 qPrintable(QString("sample %1").arg(i)));
    }
    QVERIFY(std::isnan(copy.nu.at(3)));
    QVERIFY(std::isnan(copy.nuUc.at(1)));
}

void TestMeasurementData::importSkipsCommentsBlankLinesAndHeader()
{
    QVERIFY(
        writeFile("comments.csv", defaultHead + "\n# another comment\n\n" +
                                      "date/time (yyyy-MM-ddTHH:mm:ss.zzz);measurementNo.\n\n"));
    MeasurementData store;
    fillRealistic(store, 5);
    QVERIFY(store.importCsv("comments.csv"));
    QVERIFY(store.timestamps.isEmpty());
    QVERIFY(store.nuUc.isEmpty());
}

void TestMeasurementData::importLineEnds_data()
{
    QTest::addColumn<QByteArray>("content");

    const QByteArray lines =
        "#\n# x\ndate/time\n2024-01-02T03:04:05.006;7;2.5;2.1;800.0;20.0;"
        "0x0001;nan\n2024-01-02T03:04:05.506;8;2.6;2.2;801.0;21.0;0x0002;3.5\n";
    QByteArray crlf = lines;
    crlf.replace("\n", "\r\n");
    QTest::newRow("LF") << lines;
    QTest::newRow("CR LF") << crlf;
    QTest::newRow("no line end at the end") << lines.left(lines.size() - 1);
    QTest::newRow("CR LF, none at the end") << crlf.left(crlf.size() - 2);
    QTest::newRow("byte-order mark") << "\xef\xbb\xbf" + lines;
}

void TestMeasurementData::importLineEnds()
{
    QFETCH(QByteArray, content);
    QVERIFY(writeFile("lineends.csv", content));
    MeasurementData store;
    QVERIFY(store.importCsv("lineends.csv"));
    QCOMPARE(store.frameNr, (QVector<uint32_t>{7, 8}));
    QVERIFY(std::isnan(store.nuUc.at(0)));
    QCOMPARE(store.nuUc.at(1), 3.5);
    QCOMPARE(store.timestamps.at(1), at(3, 4, 5, 506));
}

void TestMeasurementData::importFailure_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("kept");

    const QByteArray good = "2024-01-02T03:04:05.006;7;2.5;2.1;800.0;20.0;0x0001;nan\n"
                            "2024-01-02T03:04:05.506;8;2.6;2.2;801.0;21.0;0x0002;nan\n";
    QTest::newRow("decimal comma")
        << defaultHead + good + "2024-01-02T03:04:06.006;9;2,7;2.3;802.0;22.0;0x0003;nan\n" + good
        << "MeasurementData: CSV import line: 8 could not read nu" << 2;
    QTest::newRow("four fields") << defaultHead + "\n" + good +
                                        "2024-01-02T03:04:06.006;9;2.7;2.3\n"
                                 << "MeasurementData: CSV import line: 9 not enough columns" << 2;
    QTest::newRow("no milliseconds")
        << "2024-01-02T03:04:05;7;2.5;2.1;800.0;20.0;0x0001;nan\n" + good
        << "MeasurementData: CSV import line: 1 could not read date/time" << 0;
    QTest::newRow("bad line after CR LF lines")
        << QByteArray(good).replace("\n", "\r\n") + "2024-01-02T03:04:06.006;9;2.7;2.3;802.0;"
                                                    "22.0;0x0003;n/a\r\n"
        << "MeasurementData: CSV import line: 3 could not read nuUc" << 2;
}

void TestMeasurementData::importFailure()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, warning);
    QFETCH(int, kept);

    QVERIFY(writeFile("bad.csv", content));
    MeasurementData store;
    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    QVERIFY(!store.importCsv("bad.csv"));
    QCOMPARE(store.timestamps.size(), kept);
    QCOMPARE(store.nuUc.size(), kept);
    if (kept > 0)
        QCOMPARE(store.frameNr.first(), 7u);
}

void TestMeasurementData::importGoesOnAfterRefusedTimestamp()
{
    QVERIFY(writeFile("older.csv", "2024-01-02T03:04:05.006;7;2.5;800.0;20.0;0x0001\n"
                                   "2024-01-02T03:04:05.005;8;2.5;800.0;20.0;0x0001\n"
                                   "2024-01-02T03:04:05.007;9;2.5;800.0;20.0;0x0001\n"));
    MeasurementData store;
    QTest::ignoreMessage(QtWarningMsg, "MeasurementData: new timestamp "
                                       "\"2024-01-02T03:04:05.005\" is older than last data time "
                                       "\"2024-01-02T03:04:05.006\"");
    QVERIFY(store.importCsv("older.csv"));
    QCOMPARE(store.frameNr, (QVector<uint32_t>{7, 9}));
}

void TestMeasurementData::importMissingFile()
{
    MeasurementData store;
    fillRealistic(store, 3);
    const QByteArray expected =
        "MeasurementData: cannot open CSV file for reading does-not-exist.csv: " +
        missingText(false);
    QTest::ignoreMessage(QtWarningMsg, expected.constData());
    QVERIFY(!store.importCsv("does-not-exist.csv"));
    QCOMPARE(store.timestamps.size(), 3);
}

QTEST_MAIN(TestMeasurementData)
#include "tst_measurementdata.moc"
