// The whole CSV import: a file is read in large blocks and cut into lines, so the result
// is compared with a plain line-by-line reading of the same bytes. Some inputs are put
// behind a long comment line, so that their lines straddle the import's block boundary.

#include "fuzzcheck.h"

#include "csvline.h"
#include "measurementdata.h"

#include <QDir>
#include <QFile>
#include <QList>

#include <cmath>
#include <cstring>
#include <unistd.h>

namespace
{

// The import's read block, which the padding aims at.
constexpr int blockSize = 1 << 20;

QString inputPath;

bool sameDouble(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

// Reads the lines one by one as the import is documented to: CRs dropped, a byte-order mark
// skipped at the start, comments and the header skipped, stop at the first bad line.
bool referenceImport(QByteArray bytes, MeasurementData &store)
{
    bytes.replace('\r', QByteArray());
    if (bytes.startsWith("\xef\xbb\xbf"))
        bytes.remove(0, 3);
    const QList<QByteArray> lines = bytes.split('\n');
    for (const QByteArray &line : lines) {
        const char *begin = line.constData();
        const char *end = begin + line.size();
        if (!isCsvDataLine(begin, end))
            continue;
        LiveSample sample;
        if (parseCsvLine(begin, end, sample))
            return false;
        // A time of the hour that repeats in autumn (by one hour in this zone) is the
        // earlier of its two moments that keeps the samples in order.
        QList<QDateTime> readings;
        for (int shift : {-3600, 0, 3600}) {
            const QDateTime reading = sample.timestamp.addSecs(shift);
            if (reading.toString(csvDateTimeFormat) == sample.timestamp.toString(csvDateTimeFormat))
                readings << reading;
        }
        sample.timestamp = readings.last();
        for (const QDateTime &reading : readings) {
            if (store.timestamps.isEmpty() || reading >= store.timestamps.last()) {
                sample.timestamp = reading;
                break;
            }
        }
        store.addSample(sample.timestamp, sample.frameNr, sample.systemState, sample.T, sample.rho,
                        sample.nu, sample.eta, sample.nuUc);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fixFuzzEnvironment();
    // Bad lines and old timestamps are logged; thousands of inputs a second would drown
    // libFuzzer's own output.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    inputPath = QDir::temp().filePath(QString("fuzz-csvimport-%1.csv").arg(::getpid()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    QByteArray bytes(reinterpret_cast<const char *>(data + 1), int(size - 1));
    // An odd first byte puts the input behind a comment line that ends just before the
    // block boundary, the first byte's upper bits choosing how far before.
    if (data[0] & 1) {
        const int before = data[0] >> 1;
        bytes.prepend('\n').prepend(QByteArray(blockSize - before - 1, '#'));
    }
    {
        QFile file(inputPath);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(bytes) == bytes.size());
    }

    MeasurementData imported;
    imported.addSample(QDateTime(QDate(2000, 1, 1), QTime(0, 0)), 99, 0, 0, 0, 0, 0, 0);
    const bool ok = imported.importCsv(inputPath);
    MeasurementData expected;
    const bool expectedOk = referenceImport(bytes, expected);
    QFile::remove(inputPath);

    FUZZ_CHECK(ok == expectedOk);
    const int count = imported.timestamps.size();
    FUZZ_CHECK(count == expected.timestamps.size());
    FUZZ_CHECK(imported.frameNr.size() == count && imported.systemState.size() == count &&
               imported.T.size() == count && imported.rho.size() == count &&
               imported.nu.size() == count && imported.eta.size() == count &&
               imported.nuUc.size() == count);
    for (int i = 0; i < count; ++i) {
        FUZZ_CHECK(imported.timestamps[i] == expected.timestamps[i]);
        FUZZ_CHECK(i == 0 || imported.timestamps[i - 1] <= imported.timestamps[i]);
        FUZZ_CHECK(imported.frameNr[i] == expected.frameNr[i]);
        FUZZ_CHECK(imported.systemState[i] == expected.systemState[i]);
        FUZZ_CHECK(sameDouble(imported.T[i], expected.T[i]));
        FUZZ_CHECK(sameDouble(imported.rho[i], expected.rho[i]));
        FUZZ_CHECK(sameDouble(imported.nu[i], expected.nu[i]));
        FUZZ_CHECK(sameDouble(imported.eta[i], expected.eta[i]));
        FUZZ_CHECK(sameDouble(imported.nuUc[i], expected.nuUc[i]));
    }
    return 0;
}
