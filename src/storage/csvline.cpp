#include "csvline.h"

#include "quantities.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

const char csvDateTimeFormat[] = "yyyy-MM-ddTHH:mm:ss.zzz";

namespace
{

// Room that std::to_chars may use for one number in fixed notation.
constexpr int maxFixedLength = 400;

const char twoDigits[] = "00010203040506070809"
                         "10111213141516171819"
                         "20212223242526272829"
                         "30313233343536373839"
                         "40414243444546474849"
                         "50515253545556575859"
                         "60616263646566676869"
                         "70717273747576777879"
                         "80818283848586878889"
                         "90919293949596979899";

char *putTwoDigits(char *out, int value)
{
    std::memcpy(out, twoDigits + 2 * value, 2);
    return out + 2;
}

char *putText(char *out, const char *text)
{
    const size_t length = std::strlen(text);
    std::memcpy(out, text, length);
    return out + length;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// count digits at p as a number, or -1 when one of them is not a digit
int readDigits(const char *p, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        if (!isDigit(p[i]))
            return -1;
        value = value * 10 + (p[i] - '0');
    }
    return value;
}

QString fieldText(const char *begin, const char *end)
{
    return QString::fromUtf8(begin, int(end - begin));
}

struct Field {
    const char *begin;
    const char *end;
};

} // namespace

const char csvColumnHeader[] =
    "date/time (yyyy-MM-ddTHH:mm:ss.zzz);measurementNo.;kin. viscosity (cSt);"
    "dyn. viscosity (mPas);density (kg/m^3);temperature (deg C);statusCode;"
    "kin. viscosity mapped (cSt)";

QStringList exportTitleLines(const QString &applicationName, const QString &companyName)
{
    return {applicationName + " Data Export File", companyName + ", 2024"};
}

QByteArray csvHead(const QString &applicationName, const QString &companyName)
{
    // A line break in a customization value would start a line that is neither a
    // comment nor data, and the file could not be read back.
    const auto oneLine = [](QString value) {
        for (QChar &c : value) {
            if (c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == QChar(0x85) ||
                c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
                c = ' ';
        }
        return value.toUtf8();
    };
    QByteArray head = "#\n";
    for (const QString &title : exportTitleLines(applicationName, companyName))
        head += "# " + oneLine(title) + '\n';
    head += "#\n";
    head += csvColumnHeader;
    head += '\n';
    return head;
}

QByteArray withLineEnd(const QByteArray &text, LineEnd lineEnd)
{
    if (lineEnd == LineEnd::Lf)
        return text;
    QByteArray result = text;
    return result.replace("\n", "\r\n");
}

char *formatCsvDateTime(char *out, const QDateTime &timestamp)
{
    int year = 0;
    int month = 0;
    int day = 0;
    timestamp.date().getDate(&year, &month, &day);
    if (!timestamp.isValid() || year < 1000 || year > 9999) {
        const QByteArray text = timestamp.toString(csvDateTimeFormat).toUtf8();
        std::memcpy(out, text.constData(), size_t(text.size()));
        return out + text.size();
    }
    const int msecs = timestamp.time().msecsSinceStartOfDay();
    out = putTwoDigits(out, year / 100);
    out = putTwoDigits(out, year % 100);
    *out++ = '-';
    out = putTwoDigits(out, month);
    *out++ = '-';
    out = putTwoDigits(out, day);
    *out++ = 'T';
    out = putTwoDigits(out, msecs / 3600000);
    *out++ = ':';
    out = putTwoDigits(out, msecs / 60000 % 60);
    *out++ = ':';
    out = putTwoDigits(out, msecs / 1000 % 60);
    *out++ = '.';
    *out++ = char('0' + msecs % 1000 / 100);
    return putTwoDigits(out, msecs % 100);
}

char *formatCsvFixed(char *out, double value, int decimals)
{
    if (std::isnan(value))
        return putText(out, "nan");
    // Qt writes no sign for negative zero.
    if (value == 0)
        value = 0;
    // std::to_chars rounds an exact tie to even, Qt rounds it away from zero. A double is
    // a tie at n decimals exactly when value * 2^(n+1) is an odd integer; its n + 1
    // decimals are then exact and end in 5, which is rounded up here by hand.
    const double scaled = std::ldexp(value, decimals + 1);
    if (!(std::fabs(scaled) < 0x1p53 && scaled == std::trunc(scaled) && std::fmod(scaled, 2) != 0))
        return std::to_chars(out, out + maxFixedLength, value, std::chars_format::fixed, decimals)
            .ptr;

    char *const digits = value < 0 ? out + 1 : out;
    char *end =
        std::to_chars(out, out + maxFixedLength, value, std::chars_format::fixed, decimals + 1).ptr;
    end -= decimals == 0 ? 2 : 1; // the final 5, and the point when no decimals remain
    char *p = end - 1;
    for (; p >= digits; --p) {
        if (*p == '.')
            continue;
        if (*p != '9') {
            ++*p;
            break;
        }
        *p = '0';
    }
    if (p < digits) { // carried past the first digit: 9.995 -> 10.00
        std::memmove(digits + 1, digits, size_t(end - digits));
        *digits = '1';
        ++end;
    }
    return end;
}

char *formatCsvLine(char *out, const LiveSample &sample)
{
    static const char hexDigits[] = "0123456789abcdef";
    const uint16_t systemState = sample.systemState;
    out = formatCsvDateTime(out, sample.timestamp);
    *out++ = ';';
    out = std::to_chars(out, out + 10, sample.frameNr).ptr;
    *out++ = ';';
    out = formatCsvFixed(out, sample.nu, 2);
    *out++ = ';';
    out = formatCsvFixed(out, sample.eta, 2);
    *out++ = ';';
    out = formatCsvFixed(out, sample.rho, 1);
    *out++ = ';';
    out = formatCsvFixed(out, sample.T, 2);
    *out++ = ';';
    *out++ = '0';
    *out++ = 'x';
    *out++ = hexDigits[systemState >> 12];
    *out++ = hexDigits[(systemState >> 8) & 0xf];
    *out++ = hexDigits[(systemState >> 4) & 0xf];
    *out++ = hexDigits[systemState & 0xf];
    *out++ = ';';
    out = formatCsvFixed(out, sample.nuUc, 2);
    *out++ = '\n';
    return out;
}

bool isCsvDataLine(const char *begin, const char *end)
{
    static const char header[] = "date/time";
    const size_t headerLength = sizeof(header) - 1;
    if (begin == end || *begin == '#')
        return false;
    return !(size_t(end - begin) >= headerLength && std::memcmp(begin, header, headerLength) == 0);
}

QDateTime parseCsvDateTime(const char *begin, const char *end)
{
    if (end - begin == 23 && begin[4] == '-' && begin[7] == '-' && begin[10] == 'T' &&
        begin[13] == ':' && begin[16] == ':' && begin[19] == '.') {
        const int year = readDigits(begin, 4);
        const int month = readDigits(begin + 5, 2);
        const int day = readDigits(begin + 8, 2);
        const int hour = readDigits(begin + 11, 2);
        const int minute = readDigits(begin + 14, 2);
        const int second = readDigits(begin + 17, 2);
        const int msec = readDigits(begin + 20, 3);
        // The parser builds the same local date-time from the same fields, which is invalid
        // in a daylight-saving gap; everything out of range is left to the parser.
        if (year >= 0 && month >= 0 && day >= 0 && msec >= 0 && QDate::isValid(year, month, day) &&
            hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60)
            return QDateTime(QDate(year, month, day), QTime(hour, minute, second, msec));
    }
    return QDateTime::fromString(fieldText(begin, end), csvDateTimeFormat);
}

bool parseCsvUInt(const char *begin, const char *end, uint32_t &value)
{
    const ptrdiff_t length = end - begin;
    if (length >= 1 && length <= 10) {
        uint64_t number = 0;
        const char *p = begin;
        while (p != end && isDigit(*p))
            number = number * 10 + uint64_t(*p++ - '0');
        if (p == end && number <= std::numeric_limits<uint32_t>::max()) {
            value = uint32_t(number);
            return true;
        }
    }
    bool ok = false;
    value = fieldText(begin, end).toUInt(&ok, 10);
    return ok;
}

bool parseCsvDouble(const char *begin, const char *end, double &value)
{
    if (end - begin == 3 && std::memcmp(begin, "nan", 3) == 0) {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    // The plain decimal forms that the export writes; short enough to never overflow.
    const char *p = begin;
    if (p != end && *p == '-')
        ++p;
    const char *integerDigits = p;
    while (p != end && isDigit(*p))
        ++p;
    bool plain = p != integerDigits && end - begin <= 40;
    if (plain && p != end && *p == '.') {
        const char *fractionDigits = ++p;
        while (p != end && isDigit(*p))
            ++p;
        plain = p != fractionDigits;
    }
    if (plain && p == end)
        return std::from_chars(begin, end, value).ec == std::errc();
    bool ok = false;
    value = fieldText(begin, end).toDouble(&ok);
    return ok;
}

bool parseCsvStatus(const char *begin, const char *end, uint16_t &value)
{
    if (end - begin >= 4) {
        int number = 0;
        bool hex = true;
        for (const char *p = end - 4; p != end && hex; ++p) {
            const int digit = hexDigitValue(*p);
            hex = digit >= 0;
            number = number * 16 + digit;
        }
        if (hex) {
            value = uint16_t(number);
            return true;
        }
    }
    bool ok = false;
    value = uint16_t(fieldText(begin, end).right(4).toUInt(&ok, 16));
    return ok;
}

const char *parseCsvLine(const char *begin, const char *end, LiveSample &sample)
{
    Field fields[8];
    int count = 0;
    const char *fieldBegin = begin;
    while (count < 8) {
        const auto *separator =
            static_cast<const char *>(std::memchr(fieldBegin, ';', size_t(end - fieldBegin)));
        fields[count++] = {fieldBegin, separator ? separator : end};
        if (!separator)
            break;
        fieldBegin = separator + 1;
    }
    if (count < 6)
        return "not enough columns";

    const bool oldest = count == 6;
    const Field &nu = fields[2];
    const Field &rho = fields[oldest ? 3 : 4];
    const Field &T = fields[oldest ? 4 : 5];
    const Field &systemState = fields[oldest ? 5 : 6];

    sample.timestamp = parseCsvDateTime(fields[0].begin, fields[0].end);
    if (!sample.timestamp.isValid())
        return "could not read date/time";
    if (!parseCsvUInt(fields[1].begin, fields[1].end, sample.frameNr))
        return "could not read frameNr";
    if (!parseCsvDouble(nu.begin, nu.end, sample.nu))
        return "could not read nu";
    if (!parseCsvDouble(rho.begin, rho.end, sample.rho))
        return "could not read rho";
    if (!parseCsvDouble(T.begin, T.end, sample.T))
        return "could not read T";
    if (!parseCsvStatus(systemState.begin, systemState.end, sample.systemState))
        return "could not read systemState";
    if (oldest)
        sample.eta = dynamicViscosity(sample.nu, sample.rho);
    else if (!parseCsvDouble(fields[3].begin, fields[3].end, sample.eta))
        return "could not read eta";
    if (count < 8)
        sample.nuUc = std::numeric_limits<double>::quiet_NaN();
    else if (!parseCsvDouble(fields[7].begin, fields[7].end, sample.nuUc))
        return "could not read nuUc";
    return nullptr;
}
