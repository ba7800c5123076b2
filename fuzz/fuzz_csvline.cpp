// The CSV line parser. Its field parsers promise to accept exactly what Qt's parsers
// accept, with the same result, so each is run against Qt on the whole input; a line that
// parses must format to a line that parses back to the same text.

#include "fuzzcheck.h"

#include "csvline.h"

#include <QDateTime>
#include <QString>

#include <cmath>
#include <cstring>

namespace
{

bool sameDouble(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void compareFieldParsers(const char *begin, const char *end)
{
    const QString text = QString::fromUtf8(begin, int(end - begin));
    bool ok = false;

    double value = 0;
    const double qtDouble = text.toDouble(&ok);
    FUZZ_CHECK(parseCsvDouble(begin, end, value) == ok);
    if (ok)
        FUZZ_CHECK(sameDouble(value, qtDouble));

    uint32_t number = 0;
    const uint qtNumber = text.toUInt(&ok, 10);
    FUZZ_CHECK(parseCsvUInt(begin, end, number) == ok);
    if (ok)
        FUZZ_CHECK(number == qtNumber);

    uint16_t state = 0;
    const uint16_t qtState = uint16_t(text.right(4).toUInt(&ok, 16));
    FUZZ_CHECK(parseCsvStatus(begin, end, state) == ok);
    if (ok)
        FUZZ_CHECK(state == qtState);

    const QDateTime time = parseCsvDateTime(begin, end);
    const QDateTime qtTime = QDateTime::fromString(text, csvDateTimeFormat);
    FUZZ_CHECK(time.isValid() == qtTime.isValid());
    if (time.isValid()) {
        // A wall-clock time of the hour that repeats when summer time ends names two
        // moments; the C library picks one by what it resolved last, for Qt's parser too.
        FUZZ_CHECK(time == qtTime || std::abs(time.msecsTo(qtTime)) == 3600 * 1000);
        FUZZ_CHECK(time.timeSpec() == qtTime.timeSpec());
        FUZZ_CHECK(time.toString(csvDateTimeFormat) == qtTime.toString(csvDateTimeFormat));
    }
}

// Read back from a value written with this many decimals (0: unchanged); the written digits
// are exact, so only the rounding to them and the reading's last bit may differ.
bool rounded(double readBack, double written, int decimals)
{
    if (std::isnan(written) || std::isinf(written))
        return sameDouble(readBack, written);
    const double step = decimals == 0 ? 0 : 0.5 * std::pow(10.0, -decimals);
    return std::fabs(readBack - written) <= step * (1 + 1e-9) + std::fabs(written) * 1e-15;
}

QByteArray formatted(const LiveSample &sample)
{
    char line[maxCsvLineLength];
    const char *end = formatCsvLine(line, sample);
    FUZZ_CHECK(end > line && end <= line + maxCsvLineLength && end[-1] == '\n');
    return QByteArray(line, int(end - line - 1));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fixFuzzEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *begin = reinterpret_cast<const char *>(data);
    const char *end = begin + size;
    compareFieldParsers(begin, end);

    if (!isCsvDataLine(begin, end))
        return 0;
    LiveSample sample;
    if (parseCsvLine(begin, end, sample))
        return 0;
    FUZZ_CHECK(sample.timestamp.isValid());

    // What the export writes for this sample reads back as the same sample, to the file's
    // decimals; written again, it reads back the same once more.
    const QByteArray first = formatted(sample);
    LiveSample again;
    const char *reason = parseCsvLine(first.constData(), first.constData() + first.size(), again);
    if (reason)
        std::fprintf(stderr, "%s: %s\n", reason, first.constData());
    FUZZ_CHECK(!reason);
    FUZZ_CHECK(again.timestamp == sample.timestamp && again.frameNr == sample.frameNr &&
               again.systemState == sample.systemState);
    FUZZ_CHECK(rounded(again.nu, sample.nu, 2) && rounded(again.eta, sample.eta, 2) &&
               rounded(again.rho, sample.rho, 1) && rounded(again.T, sample.T, 2) &&
               rounded(again.nuUc, sample.nuUc, 2));
    const QByteArray second = formatted(again);
    LiveSample third;
    FUZZ_CHECK(!parseCsvLine(second.constData(), second.constData() + second.size(), third));
    FUZZ_CHECK(rounded(third.nu, again.nu, 0) && rounded(third.eta, again.eta, 0) &&
               rounded(third.rho, again.rho, 0) && rounded(third.T, again.T, 0) &&
               rounded(third.nuUc, again.nuUc, 0));
    return 0;
}
