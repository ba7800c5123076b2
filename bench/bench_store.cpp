// The measurement store and its files at 1,000,000 realistic samples, each figure next
// to its anchor measured in the same run: the CSV export against a hand-written
// std::to_chars writer of the same bytes, the CSV import against the straightforward Qt
// importer and with the time plot's summary of the imported samples after it, the XLSX export
// against raw libxlsxwriter writing the same cells; and the store's bytes per sample at 10,000,000
// samples with the cost of addSample. Run through bench/run-store-bench.sh, which adds the pandas
// references.
//
// Usage: bench_store DIR [--quick]
//   DIR      folder for the files; the CSV export is left there as store.csv
//   --quick  100,000 samples and 1,000,000 in the store figures

#include "csvline.h"
#include "measurementdata.h"
#include "samplesummary.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <malloc.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace
{

// Resident and peak resident memory of the process in MB, from /proc.
double statusMegabytes(const char *key)
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(std::strlen(key))).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

// Starts a new peak: from here VmHWM counts from the current resident size. Free heap
// memory is handed back first, so that what an export allocates shows in the peak.
void resetPeak()
{
    malloc_trim(0);
    QFile clearRefs("/proc/self/clear_refs");
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

double seconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e9;
}

// Runs the two in turn and keeps the best time of each, so that both see the same
// load of the machine.
std::pair<double, double> bestOfInTurn(int runs, const std::function<void()> &first,
                                       const std::function<void()> &second)
{
    double bestFirst = std::numeric_limits<double>::infinity();
    double bestSecond = bestFirst;
    for (int run = 0; run < runs; ++run) {
        bestFirst = std::min(bestFirst, seconds(first));
        bestSecond = std::min(bestSecond, seconds(second));
    }
    return {bestFirst, bestSecond};
}

// Two samples a second as the live data tab records them, the quantities as the
// sensor's float registers deliver them, 0.1 % of them missing, states mostly 0.
void fillRealistic(MeasurementData &store, int count)
{
    std::mt19937_64 random(42);
    std::normal_distribution<double> noise(0, 1);
    std::uniform_real_distribution<double> uniform(0, 1);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QDateTime time(QDate(2024, 3, 4), QTime(9, 0, 0, 123));
    for (int i = 0; i < count; ++i) {
        const double hours = i / 7200.0;
        const double T = double(float(40 + 15 * std::sin(hours / 3) + 0.02 * noise(random)));
        const double rho = double(float(870 - 0.65 * (T - 15) + 0.01 * noise(random)));
        const double nu = double(float(30 * std::exp(-0.03 * (T - 40)) + 0.01 * noise(random)));
        const double eta = double(float(nu * rho / 1000));
        const double nuUc = double(float(0.95 * nu));
        const auto missing = [&](double value) { return uniform(random) < 0.001 ? nan : value; };
        const uint16_t state = uniform(random) < 0.002 ? 0x0201 : 0;
        store.addSample(time, uint32_t(50000 + i), state, missing(T), missing(rho), missing(nu),
                        missing(eta), missing(nuUc));
        time = time.addMSecs(500 + (i % 7 == 0 ? 1 : 0));
    }
}

// The anchor of the CSV export: the same bytes formatted by hand with std::to_chars
// into a buffer and written with fwrite, without lock, dialog or temporary file.
bool handWrittenCsv(const MeasurementData &store, const QString &fileName)
{
    FILE *file = std::fopen(QFile::encodeName(fileName).constData(), "wb");
    if (!file)
        return false;
    const QByteArray head = csvHead("QUVA-Explorer", "Tarnwell");
    std::fwrite(head.constData(), 1, size_t(head.size()), file);
    std::vector<char> buffer(1 << 20);
    char *const begin = buffer.data();
    char *const limit = begin + buffer.size() - 4096;
    char *out = begin;
    const auto number = [&](double value, int decimals) {
        if (std::isnan(value)) {
            std::memcpy(out, "nan", 3);
            out += 3;
        } else {
            out = std::to_chars(out, out + 400, value, std::chars_format::fixed, decimals).ptr;
        }
    };
    const auto twoDigits = [&](int value) {
        *out++ = char('0' + value / 10);
        *out++ = char('0' + value % 10);
    };
    for (int i = 0; i < store.timestamps.size(); ++i) {
        const QDate date = store.timestamps.at(i).date();
        const int msecs = store.timestamps.at(i).time().msecsSinceStartOfDay();
        twoDigits(date.year() / 100);
        twoDigits(date.year() % 100);
        *out++ = '-';
        twoDigits(date.month());
        *out++ = '-';
        twoDigits(date.day());
        *out++ = 'T';
        twoDigits(msecs / 3600000);
        *out++ = ':';
        twoDigits(msecs / 60000 % 60);
        *out++ = ':';
        twoDigits(msecs / 1000 % 60);
        *out++ = '.';
        *out++ = char('0' + msecs % 1000 / 100);
        twoDigits(msecs % 100);
        *out++ = ';';
        out = std::to_chars(out, out + 10, store.frameNr.at(i)).ptr;
        *out++ = ';';
        number(store.nu.at(i), 2);
        *out++ = ';';
        number(store.eta.at(i), 2);
        *out++ = ';';
        number(store.rho.at(i), 1);
        *out++ = ';';
        number(store.T.at(i), 2);
        *out++ = ';';
        *out++ = '0';
        *out++ = 'x';
        static const char hexDigits[] = "0123456789abcdef";
        const uint16_t state = store.systemState.at(i);
        for (int shift = 12; shift >= 0; shift -= 4)
            *out++ = hexDigits[(state >> shift) & 0xf];
        *out++ = ';';
        number(store.nuUc.at(i), 2);
        *out++ = '\n';
        if (out > limit) {
            std::fwrite(begin, 1, size_t(out - begin), file);
            out = begin;
        }
    }
    std::fwrite(begin, 1, size_t(out - begin), file);
    return std::fclose(file) == 0;
}

// The anchor of the CSV import: readLine, split, QDateTime::fromString and the QString
// conversions, as a Qt program would read the file without further thought.
bool straightforwardImport(MeasurementData &store, const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    store.clear();
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    while (!stream.atEnd()) {
        const QString line = stream.readLine();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith("date/time"))
            continue;
        const QStringList fields = line.split(';');
        if (fields.size() < 8)
            return false;
        bool ok[7] = {};
        const QDateTime timestamp = QDateTime::fromString(fields[0], "yyyy-MM-ddTHH:mm:ss.zzz");
        const uint frameNr = fields[1].toUInt(ok, 10);
        const double nu = fields[2].toDouble(ok + 1);
        const double eta = fields[3].toDouble(ok + 2);
        const double rho = fields[4].toDouble(ok + 3);
        const double T = fields[5].toDouble(ok + 4);
        const uint state = fields[6].right(4).toUInt(ok + 5, 16);
        const double nuUc = fields[7].toDouble(ok + 6);
        if (!timestamp.isValid() || !std::all_of(ok, ok + 7, [](bool b) { return b; }))
            return false;
        store.addSample(timestamp, frameNr, uint16_t(state), T, rho, nu, eta, nuUc);
    }
    return true;
}

// The anchor of the XLSX export: the same cells written straight through libxlsxwriter
// in constant-memory mode, without lock, dialog, column fitting or temporary name.
bool rawXlsx(const MeasurementData &store, const QString &fileName)
{
    const QByteArray folder = QFile::encodeName(QDir::tempPath());
    lxw_workbook_options options = {};
    options.constant_memory = 1;
    options.tmpdir = const_cast<char *>(folder.constData());
    lxw_workbook *workbook = workbook_new_opt(QFile::encodeName(fileName).constData(), &options);
    lxw_format *bold = workbook_add_format(workbook);
    format_set_bold(bold);
    lxw_format *dateFormat = workbook_add_format(workbook);
    format_set_num_format(dateFormat, "YYYY-MM-DD hh:mm:ss.000");
    lxw_worksheet *sheet = workbook_add_worksheet(workbook, "Sheet1");
    worksheet_write_string(sheet, 0, 0, "QUVA-Explorer Data Export File", nullptr);
    worksheet_write_string(sheet, 1, 0, "Tarnwell, 2024", nullptr);
    const char *headers[] = {"date/time",
                             "measurementNo. ",
                             "kin. viscosity (cSt)",
                             "dyn. viscosity (mPas)",
                             "density (kg/m\xc2\xb3)",
                             "temperature (\xc2\xb0"
                             "C)",
                             "statusCode",
                             "kin. viscosity mapped (cSt)"};
    for (lxw_col_t column = 0; column < 8; ++column)
        worksheet_write_string(sheet, 3, column, headers[column], bold);
    const auto number = [&](lxw_row_t row, lxw_col_t column, double value) {
        if (!std::isnan(value))
            worksheet_write_number(sheet, row, column, value, nullptr);
    };
    for (int i = 0; i < store.timestamps.size(); ++i) {
        const lxw_row_t row = lxw_row_t(i + 4);
        const QDate date = store.timestamps.at(i).date();
        const int msecs = store.timestamps.at(i).time().msecsSinceStartOfDay();
        lxw_datetime dateTime = {date.year(),     date.month(),       date.day(),
                                 msecs / 3600000, msecs / 60000 % 60, msecs % 60000 / 1000.0};
        worksheet_write_datetime(sheet, row, 0, &dateTime, dateFormat);
        worksheet_write_number(sheet, row, 1, store.frameNr.at(i), nullptr);
        number(row, 2, store.nu.at(i));
        number(row, 3, store.eta.at(i));
        number(row, 4, store.rho.at(i));
        number(row, 5, store.T.at(i));
        char state[8];
        std::snprintf(state, sizeof state, "0x%04x", store.systemState.at(i));
        worksheet_write_string(sheet, row, 6, state, nullptr);
        number(row, 7, store.nuUc.at(i));
    }
    worksheet_set_column(sheet, 0, 7, 20, nullptr);
    return workbook_close(workbook) == LXW_NO_ERROR;
}

bool sameStores(const MeasurementData &a, const MeasurementData &b)
{
    const auto sameDoubles = [](const QVector<double> &x, const QVector<double> &y) {
        return std::equal(x.begin(), x.end(), y.begin(), y.end(), [](double u, double v) {
            return (std::isnan(u) && std::isnan(v)) || u == v;
        });
    };
    return a.timestamps == b.timestamps && a.frameNr == b.frameNr &&
           a.systemState == b.systemState && sameDoubles(a.T, b.T) && sameDoubles(a.rho, b.rho) &&
           sameDoubles(a.nu, b.nu) && sameDoubles(a.eta, b.eta) && sameDoubles(a.nuUc, b.nuUc);
}

QByteArray readAll(const QString &fileName)
{
    QFile file(fileName);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void storeFigures(int count)
{
    MeasurementData store;
    const double before = statusMegabytes("VmRSS:");
    fillRealistic(store, count);
    const double after = statusMegabytes("VmRSS:");
    const qint64 allocated =
        qint64(store.timestamps.capacity()) * qint64(sizeof(QDateTime)) +
        qint64(store.frameNr.capacity()) * 4 + qint64(store.systemState.capacity()) * 2 +
        qint64(store.T.capacity() + store.rho.capacity() + store.nu.capacity() +
               store.eta.capacity() + store.nuUc.capacity()) *
            8;
    store.clear();

    // addSample alone: making realistic timestamps costs more than storing them.
    const QDateTime time = QDateTime::currentDateTime();
    const double elapsed = seconds([&] {
        for (int i = 0; i < count; ++i)
            store.addSample(time, uint32_t(i), 0, 40.5, 849.5, 12.25, 10.5, 11.5);
    });
    std::printf("store, %d samples: %.1f bytes per sample resident, %.1f allocated (payload 54); "
                "addSample %.1f ns per sample, growth included\n",
                count, (after - before) * 1024 * 1024 / count, double(allocated) / count,
                elapsed * 1e9 / count);
    std::fflush(stdout);
}

} // namespace

void csvExportFigures(MeasurementData &store, const QString &folder)
{
    const QString productFile = folder + "/store.csv";
    const QString anchorFile = folder + "/anchor.csv";
    const auto [product, anchor] = bestOfInTurn(
        5, [&] { store.exportCsv(productFile); }, [&] { handWrittenCsv(store, anchorFile); });
    const QList<QByteArray> productLines = readAll(productFile).split('\n');
    const QList<QByteArray> anchorLines = readAll(anchorFile).split('\n');
    int differentLines = 0;
    for (int i = 0; i < std::min(productLines.size(), anchorLines.size()); ++i)
        differentLines += productLines.at(i) != anchorLines.at(i);
    std::printf("csv export: %.3f s; hand-written to_chars writer: %.3f s; ratio %.2f "
                "(%.1f MB; %d of %d lines differ, at exact ties, which Qt rounds away from zero "
                "and to_chars to even)\n",
                product, anchor, product / anchor, QFileInfo(productFile).size() / 1e6,
                differentLines, productLines.size() - 1);
    std::fflush(stdout);
}

void csvImportFigures(const QString &folder, int count)
{
    const QString file = folder + "/store.csv";
    MeasurementData imported;
    MeasurementData importedByQt;
    const auto [product, anchor] = bestOfInTurn(
        3, [&] { imported.importCsv(file); }, [&] { straightforwardImport(importedByQt, file); });
    std::printf("csv import: %.3f s (%.2f million rows/s); straightforward Qt importer: %.3f s; "
                "speed-up %.1f; same samples: %s\n",
                product, count / product / 1e6, anchor, anchor / product,
                sameStores(imported, importedByQt) && imported.timestamps.size() == count ? "yes"
                                                                                          : "no");
    // The plot summarizes an imported recording at its first paint, once.
    SampleSummary summary;
    const double summarized = seconds([&] {
        summary.setSources(
            &imported.timestamps,
            {&imported.nu, &imported.nuUc, &imported.eta, &imported.rho, &imported.T},
            &imported.systemState);
        summary.update();
    });
    std::printf("the time plot's summary of the imported samples: %.3f s, %.1f %% of the import; "
                "%.2f bytes per sample\n",
                summarized, 100 * summarized / product, double(summary.usedBytes()) / count);
    std::fflush(stdout);
}

void xlsxFigures(MeasurementData &store, const QString &folder)
{
    malloc_trim(0);
    const double resident = statusMegabytes("VmRSS:");
    double productPeak = 0;
    double anchorPeak = 0;
    const auto [product, anchor] = bestOfInTurn(
        2,
        [&] {
            resetPeak();
            store.exportXlsx(folder + "/store.xlsx");
            productPeak = std::max(productPeak, statusMegabytes("VmHWM:") - resident);
        },
        [&] {
            resetPeak();
            rawXlsx(store, folder + "/anchor.xlsx");
            anchorPeak = std::max(anchorPeak, statusMegabytes("VmHWM:") - resident);
        });
    std::printf("xlsx export: %.2f s, peak %.0f MB over the resident %.0f MB; raw libxlsxwriter: "
                "%.2f s, peak %.0f MB over it; ratio %.2f (file %.1f MB)\n",
                product, productPeak, resident, anchor, anchorPeak, product / anchor,
                QFileInfo(folder + "/store.xlsx").size() / 1e6);
}

int main(int argc, char *argv[])
{
    // As the program does at start-up.
    if (!std::getenv("TZ"))
        setenv("TZ", ":/etc/localtime", 1);
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_store DIR [--quick]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const bool quick = argc > 2 && std::strcmp(argv[2], "--quick") == 0;
    const int count = quick ? 100000 : 1000000;
    QDir().mkpath(folder);

    storeFigures(quick ? 1000000 : 10000000);

    MeasurementData store;
    fillRealistic(store, count);
    std::printf("%d samples, %.0f MB resident\n", count, statusMegabytes("VmRSS:"));
    csvExportFigures(store, folder);
    csvImportFigures(folder, count);
    xlsxFigures(store, folder);
    return 0;
}
