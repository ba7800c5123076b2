#include "csvline.h"
#include "testseed.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

// The byte-level formatters and parsers must give exactly what the Qt functions they
// replace give; every table here is checked against those functions themselves.
class TestCsvLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formatFixed_data();
    void formatFixed();
    void formatFixedMatchesQtOnManyValues();
    void formatDateTime_data();
    void formatDateTime();
    void formatLine();
    void head();
    void lineEnd_data();
    void lineEnd();
    void parseDateTime_data();
    void parseDateTime();
    void parseDateTimeMatchesQtAcrossTransitions();
    void parseDouble_data();
    void parseDouble();
    void parseDoubleMatchesQtOnManyTexts();
    void parseUInt_data();
    void parseUInt();
    void parseStatus_data();
    void parseStatus();
    void dataLine_data();
    void dataLine();
    void parseLine_data();
    void parseLine();
    void parseLineFailure_data();
    void parseLineFailure();
};

namespace
{

const double notANumber = std::numeric_limits<double>::quiet_NaN();

QByteArray formatted(double value, int decimals)
{
    char buffer[maxCsvLineLength];
    return QByteArray(buffer, int(formatCsvFixed(buffer, value, decimals) - buffer));
}

QByteArray formatted(const QDateTime &timestamp)
{
    char buffer[maxCsvLineLength];
    return QByteArray(buffer, int(formatCsvDateTime(buffer, timestamp) - buffer));
}

bool sameDouble(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return a == b && std::signbit(a) == std::signbit(b);
}

QDateTime parsed(const QByteArray &text)
{
    return parseCsvDateTime(text.constData(), text.constData() + text.size());
}

// Equal in every respect a reader could see.
bool sameDateTime(const QDateTime &a, const QDateTime &b)
{
    if (a.isValid() != b.isValid())
        return false;
    if (!a.isValid())
        return true;
    return a.toMSecsSinceEpoch() == b.toMSecsSinceEpoch() && a.timeSpec() == b.timeSpec() &&
           a.date() == b.date() && a.time() == b.time() && a.offsetFromUtc() == b.offsetFromUtc();
}

} // namespace

void TestCsvLine::initTestCase()
{
    // The date-time tables need a zone with daylight-saving gaps.
    QVERIFY(!QDateTime(QDate(2024, 3, 31), QTime(2, 30)).isValid());
}

void TestCsvLine::formatFixed_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");

    QTest::newRow("plain") << 12.3456 << 2;
    QTest::newRow("tie rounds away from zero") << 0.125 << 2;
    QTest::newRow("negative tie rounds away from zero") << -0.125 << 2;
    QTest::newRow("tie at one decimal") << 0.25 << 1;
    QTest::newRow("tie with odd last digit") << 0.375 << 2;
    QTest::newRow("large tie") << 123456789.125 << 2;
    QTest::newRow("near tie below") << 1.005 << 2;
    QTest::newRow("near tie above") << 2.675000000000001 << 2;
    QTest::newRow("rounds up to next power of ten") << 99.995000000001 << 2;
    QTest::newRow("negative") << -17.5 << 2;
    QTest::newRow("negative zero") << -0.0 << 2;
    QTest::newRow("negative rounding to zero") << -0.001 << 2;
    QTest::newRow("negative tie to zero") << -0.005 << 2;
    QTest::newRow("nan") << notANumber << 2;
    QTest::newRow("negative nan") << -notANumber << 2;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << 2;
    QTest::newRow("negative infinity") << -std::numeric_limits<double>::infinity() << 1;
    QTest::newRow("large") << 1e21 << 2;
    QTest::newRow("huge") << 1.7976931348623157e308 << 1;
    QTest::newRow("tie just below 2^50") << 1125899906842623.875 << 2;
    QTest::newRow("tie carrying into a new digit") << 99.5 << 0;
    QTest::newRow("negative tie carrying into a new digit") << -9.5 << 0;
    QTest::newRow("smallest subnormal") << 5e-324 << 2;
    QTest::newRow("density") << 849.45 << 1;
}

void TestCsvLine::formatFixed()
{
    QFETCH(double, value);
    QFETCH(int, decimals);
    QCOMPARE(formatted(value, decimals), QString::number(value, 'f', decimals).toLatin1());
}

void TestCsvLine::formatFixedMatchesQtOnManyValues()
{
    QRandomGenerator random = seededRandom();
    for (int i = 0; i < 100000; ++i) {
        double value = 0;
        switch (i % 4) {
        case 0: // a measurement as the sensor's float registers deliver it
            value = double(float(random.bounded(2000.0) - 100));
            break;
        case 1: // a tie or near-tie at two decimals
            value = (int(random.bounded(200000)) - 100000) / 8.0;
            break;
        case 2: // any magnitude
            value = std::ldexp(random.bounded(2.0) - 1, int(random.bounded(120)) - 40);
            break;
        default: // a raw bit pattern
            const quint64 bits = random.generate64();
            std::memcpy(&value, &bits, sizeof value);
            break;
        }
        for (int decimals = 1; decimals <= 2; ++decimals) {
            const QByteArray expected = QString::number(value, 'f', decimals).toLatin1();
            if (formatted(value, decimals) != expected)
                QFAIL(qPrintable(QString("%1 at %2 decimals: %3 instead of %4")
                                     .arg(value, 0, 'g', 17)
                                     .arg(decimals)
                                     .arg(QString(formatted(value, decimals)))
                                     .arg(QString(expected))));
        }
    }
}

void TestCsvLine::formatDateTime_data()
{
    QTest::addColumn<QDateTime>("timestamp");

    QTest::newRow("winter") << QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 250));
    QTest::newRow("summer") << QDateTime(QDate(2024, 7, 1), QTime(0, 0, 0, 1));
    QTest::newRow("last millisecond of a day")
        << QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59, 999));
    QTest::newRow("repeated hour, summer time") << QDateTime::fromMSecsSinceEpoch(
        QDateTime(QDate(2024, 10, 27), QTime(0, 30), Qt::UTC).toMSecsSinceEpoch());
    QTest::newRow("repeated hour, winter time") << QDateTime::fromMSecsSinceEpoch(
        QDateTime(QDate(2024, 10, 27), QTime(1, 30), Qt::UTC).toMSecsSinceEpoch());
    QTest::newRow("first four-digit year") << QDateTime(QDate(1000, 1, 1), QTime(1, 2, 3, 4));
    QTest::newRow("last four-digit year") << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59));
    QTest::newRow("three-digit year") << QDateTime(QDate(999, 6, 15), QTime(12, 0));
    QTest::newRow("five-digit year") << QDateTime(QDate(12345, 6, 15), QTime(12, 0));
    QTest::newRow("utc") << QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 250), Qt::UTC);
    QTest::newRow("invalid") << QDateTime();
}

void TestCsvLine::formatDateTime()
{
    QFETCH(QDateTime, timestamp);
    QCOMPARE(formatted(timestamp), timestamp.toString(csvDateTimeFormat).toUtf8());
}

void TestCsvLine::formatLine()
{
    char buffer[maxCsvLineLength];
    const char *end =
        formatCsvLine(buffer, LiveSample{QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 250)), 1234,
                                         12.345, 10.486, 849.45, 40.0, 0x0a01, notANumber});
    QCOMPARE(QByteArray(buffer, int(end - buffer)),
             QByteArray("2024-03-05T14:07:09.250;1234;12.35;10.49;849.5;40.00;0x0a01;nan\n"));

    const double huge = -1.7976931348623157e308;
    end = formatCsvLine(buffer, LiveSample{QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 250)),
                                           4294967295u, huge, huge, huge, huge, 0xffff, huge});
    QVERIFY(end - buffer <= maxCsvLineLength);
}

void TestCsvLine::head()
{
    QCOMPARE(csvHead("QUVA-Explorer", "Tarnwell"),
             QByteArray("#\n# QUVA-Explorer Data Export File\n# Tarnwell, 2024\n#\n"
                        "date/time (yyyy-MM-ddTHH:mm:ss.zzz);measurementNo.;kin. viscosity (cSt);"
                        "dyn. viscosity (mPas);density (kg/m^3);temperature (deg C);statusCode;"
                        "kin. viscosity mapped (cSt)\n"));
    QCOMPARE(csvHead(QString::fromUtf8("Prüfstand"), "B").mid(2, 12),
             QString::fromUtf8("# Prüfstand").toUtf8());
}

void TestCsvLine::lineEnd_data()
{
    QTest::addColumn<int>("lineEnd");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray lf = "#\n1;2\n\n3";
    QTest::newRow("LF elsewhere, unchanged") << int(LineEnd::Lf) << lf;
    QTest::newRow("CR LF on Windows, every line")
        << int(LineEnd::CrLf) << QByteArray("#\r\n1;2\r\n\r\n3");
}

void TestCsvLine::lineEnd()
{
    QFETCH(int, lineEnd);
    QFETCH(QByteArray, expected);
    QCOMPARE(withLineEnd("#\n1;2\n\n3", LineEnd(lineEnd)), expected);
}

void TestCsvLine::parseDateTime_data()
{
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("winter") << QByteArray("2024-03-05T14:07:09.250");
    QTest::newRow("summer") << QByteArray("2024-07-01T00:00:00.001");
    QTest::newRow("before the spring gap") << QByteArray("2024-03-31T01:59:59.999");
    QTest::newRow("start of the spring gap") << QByteArray("2024-03-31T02:00:00.000");
    QTest::newRow("inside the spring gap") << QByteArray("2024-03-31T02:30:00.000");
    QTest::newRow("end of the spring gap") << QByteArray("2024-03-31T02:59:59.999");
    QTest::newRow("after the spring gap") << QByteArray("2024-03-31T03:00:00.000");
    QTest::newRow("repeated autumn hour") << QByteArray("2024-10-27T02:30:00.000");
    QTest::newRow("after the repeated hour") << QByteArray("2024-10-27T03:00:00.000");
    QTest::newRow("leap day") << QByteArray("2024-02-29T12:00:00.000");
    QTest::newRow("no leap day") << QByteArray("2023-02-29T12:00:00.000");
    QTest::newRow("day 31 in April") << QByteArray("2024-04-31T12:00:00.000");
    QTest::newRow("month 13") << QByteArray("2024-13-01T12:00:00.000");
    QTest::newRow("month 0") << QByteArray("2024-00-01T12:00:00.000");
    QTest::newRow("day 0") << QByteArray("2024-01-00T12:00:00.000");
    QTest::newRow("hour 24") << QByteArray("2024-01-02T24:00:00.000");
    QTest::newRow("minute 60") << QByteArray("2024-01-02T12:60:00.000");
    QTest::newRow("second 60") << QByteArray("2024-01-02T12:00:60.000");
    QTest::newRow("year 0") << QByteArray("0000-01-02T12:00:00.000");
    QTest::newRow("year 1") << QByteArray("0001-01-02T12:00:00.000");
    QTest::newRow("before 1970") << QByteArray("1969-12-31T23:59:59.999");
    QTest::newRow("after 2038") << QByteArray("2100-06-01T12:00:00.000");
    QTest::newRow("no milliseconds") << QByteArray("2024-01-02T03:04:05");
    QTest::newRow("two-digit milliseconds") << QByteArray("2024-01-02T03:04:05.12");
    QTest::newRow("four-digit milliseconds") << QByteArray("2024-01-02T03:04:05.1234");
    QTest::newRow("one-digit month") << QByteArray("2024-1-02T03:04:05.006");
    QTest::newRow("one-digit hour") << QByteArray("2024-01-02T3:04:05.006");
    QTest::newRow("blank instead of T") << QByteArray("2024-01-02 03:04:05.006");
    QTest::newRow("lower-case t") << QByteArray("2024-01-02t03:04:05.006");
    QTest::newRow("slashes") << QByteArray("2024/01/02T03:04:05.006");
    QTest::newRow("leading blank") << QByteArray(" 2024-01-02T03:04:05.006");
    QTest::newRow("trailing blank") << QByteArray("2024-01-02T03:04:05.006 ");
    QTest::newRow("signed year") << QByteArray("+2024-01-02T03:04:05.006");
    QTest::newRow("five-digit year") << QByteArray("12024-01-02T03:04:05.006");
    QTest::newRow("letter in a field") << QByteArray("2024-01-0xT03:04:05.006");
    QTest::newRow("arabic-indic digits") << QString::fromUtf8("٢٠٢٤-01-02T03:04:05.006").toUtf8();
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("garbage") << QByteArray("yesterday");
}

void TestCsvLine::parseDateTime()
{
    QFETCH(QByteArray, text);
    const QDateTime expected = QDateTime::fromString(QString::fromUtf8(text), csvDateTimeFormat);
    const QDateTime actual = parsed(text);
    QVERIFY2(sameDateTime(actual, expected),
             qPrintable(actual.toString(Qt::ISODateWithMs) + " instead of " +
                        expected.toString(Qt::ISODateWithMs)));
}

void TestCsvLine::parseDateTimeMatchesQtAcrossTransitions()
{
    // Every quarter hour across both transitions of two years, at random milliseconds.
    QRandomGenerator random = seededRandom();
    for (const QDate day :
         {QDate(2024, 3, 30), QDate(2024, 10, 26), QDate(2025, 3, 29), QDate(2025, 10, 25)}) {
        for (int quarter = 0; quarter < 4 * 24 * 3; ++quarter) {
            const QDate date = day.addDays(quarter / 96);
            const int msecs = quarter % 96 * 900000 + int(random.bounded(900000));
            const QByteArray text =
                QString("%1T%2")
                    .arg(date.toString("yyyy-MM-dd"))
                    .arg(QTime::fromMSecsSinceStartOfDay(msecs).toString("HH:mm:ss.zzz"))
                    .toUtf8();
            QVERIFY2(sameDateTime(parsed(text), QDateTime::fromString(QString::fromUtf8(text),
                                                                      csvDateTimeFormat)),
                     text.constData());
        }
    }
}

void TestCsvLine::parseDouble_data()
{
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("two decimals") << QByteArray("12.35");
    QTest::newRow("one decimal") << QByteArray("849.5");
    QTest::newRow("negative") << QByteArray("-17.50");
    QTest::newRow("integer") << QByteArray("40");
    QTest::newRow("negative zero") << QByteArray("-0.00");
    QTest::newRow("leading zeros") << QByteArray("007.5");
    QTest::newRow("many digits") << QByteArray("9007199254740993.0000000000000000001");
    QTest::newRow("forty-one characters") << QByteArray("1234567890123456789012345678901234567.89");
    QTest::newRow("overflowing digits") << QByteArray(400, '9');
    QTest::newRow("nan") << QByteArray("nan");
    QTest::newRow("NaN") << QByteArray("NaN");
    QTest::newRow("negative nan") << QByteArray("-nan");
    QTest::newRow("inf") << QByteArray("inf");
    QTest::newRow("negative inf") << QByteArray("-inf");
    QTest::newRow("decimal comma") << QByteArray("12,35");
    QTest::newRow("exponent") << QByteArray("1.5e3");
    QTest::newRow("underflow") << QByteArray("1e-400");
    QTest::newRow("leading blank") << QByteArray(" 1.5");
    QTest::newRow("trailing blank") << QByteArray("1.5 ");
    QTest::newRow("plus sign") << QByteArray("+1.5");
    QTest::newRow("no integer digits") << QByteArray(".5");
    QTest::newRow("no fraction digits") << QByteArray("5.");
    QTest::newRow("two points") << QByteArray("1.2.3");
    QTest::newRow("trailing letter") << QByteArray("12.3x");
    QTest::newRow("minus only") << QByteArray("-");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("unicode minus") << QString::fromUtf8("\u22121.5").toUtf8();
}

void TestCsvLine::parseDouble()
{
    QFETCH(QByteArray, text);
    bool expectedOk = false;
    const double expected = QString::fromUtf8(text).toDouble(&expectedOk);
    double actual = 0;
    QCOMPARE(parseCsvDouble(text.constData(), text.constData() + text.size(), actual), expectedOk);
    if (expectedOk)
        QVERIFY2(sameDouble(actual, expected), qPrintable(QString::number(actual, 'g', 17)));
}

void TestCsvLine::parseDoubleMatchesQtOnManyTexts()
{
    QRandomGenerator random = seededRandom();
    for (int i = 0; i < 50000; ++i) {
        const double value = std::ldexp(random.bounded(2.0) - 1, int(random.bounded(80)) - 20);
        const QByteArray text = QByteArray::number(value, 'f', int(random.bounded(18)));
        bool expectedOk = false;
        const double expected = QString::fromLatin1(text).toDouble(&expectedOk);
        double actual = 0;
        const bool ok = parseCsvDouble(text.constData(), text.constData() + text.size(), actual);
        QVERIFY2(ok == expectedOk && sameDouble(actual, expected), text.constData());
    }
}

void TestCsvLine::parseUInt_data()
{
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("zero") << QByteArray("0");
    QTest::newRow("plain") << QByteArray("1234");
    QTest::newRow("leading zeros") << QByteArray("007");
    QTest::newRow("largest") << QByteArray("4294967295");
    QTest::newRow("one too large") << QByteArray("4294967296");
    QTest::newRow("eleven digits") << QByteArray("00000000001");
    QTest::newRow("far too large") << QByteArray("99999999999");
    QTest::newRow("negative") << QByteArray("-1");
    QTest::newRow("plus sign") << QByteArray("+1");
    QTest::newRow("leading blank") << QByteArray(" 1");
    QTest::newRow("trailing blank") << QByteArray("1 ");
    QTest::newRow("hexadecimal") << QByteArray("0x10");
    QTest::newRow("decimal point") << QByteArray("1.0");
    QTest::newRow("trailing letter") << QByteArray("12a");
    QTest::newRow("empty") << QByteArray();
}

void TestCsvLine::parseUInt()
{
    QFETCH(QByteArray, text);
    bool expectedOk = false;
    const uint expected = QString::fromUtf8(text).toUInt(&expectedOk, 10);
    uint32_t actual = 0;
    QCOMPARE(parseCsvUInt(text.constData(), text.constData() + text.size(), actual), expectedOk);
    if (expectedOk)
        QCOMPARE(actual, expected);
}

void TestCsvLine::parseStatus_data()
{
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("with 0x") << QByteArray("0x0a01");
    QTest::newRow("without 0x") << QByteArray("0a01");
    QTest::newRow("upper case") << QByteArray("0X0A01");
    QTest::newRow("highest") << QByteArray("0xffff");
    QTest::newRow("only the last four count") << QByteArray("zz0a01");
    QTest::newRow("five digits") << QByteArray("0x12345");
    QTest::newRow("short with 0x") << QByteArray("0x1");
    QTest::newRow("one digit") << QByteArray("1");
    QTest::newRow("plus sign") << QByteArray("+FFF");
    QTest::newRow("minus sign") << QByteArray("-001");
    QTest::newRow("leading blank") << QByteArray(" 0a1");
    QTest::newRow("not hexadecimal") << QByteArray("0x0a0g");
    QTest::newRow("0x only") << QByteArray("0x");
    QTest::newRow("empty") << QByteArray();
}

void TestCsvLine::parseStatus()
{
    QFETCH(QByteArray, text);
    bool expectedOk = false;
    const uint expected = QString::fromUtf8(text).right(4).toUInt(&expectedOk, 16);
    uint16_t actual = 0;
    QCOMPARE(parseCsvStatus(text.constData(), text.constData() + text.size(), actual), expectedOk);
    if (expectedOk)
        QCOMPARE(uint(actual), expected);
}

void TestCsvLine::dataLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("isData");

    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("comment") << QByteArray("# Tarnwell, 2024") << false;
    QTest::newRow("bare hash") << QByteArray("#") << false;
    QTest::newRow("header") << QByteArray("date/time (yyyy-MM-ddTHH:mm:ss.zzz);measurementNo.")
                            << false;
    QTest::newRow("header word only") << QByteArray("date/time") << false;
    QTest::newRow("header in capitals") << QByteArray("Date/time;x") << true;
    QTest::newRow("indented comment") << QByteArray(" # x") << true;
    QTest::newRow("sample") << QByteArray("2024-01-02T03:04:05.006;7;2.5;800.0;20.0;0x0001")
                            << true;
}

void TestCsvLine::dataLine()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, isData);
    QCOMPARE(isCsvDataLine(line.constData(), line.constData() + line.size()), isData);
}

void TestCsvLine::parseLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<double>("nu");
    QTest::addColumn<double>("eta");
    QTest::addColumn<double>("rho");
    QTest::addColumn<double>("T");
    QTest::addColumn<int>("systemState");
    QTest::addColumn<double>("nuUc");

    QTest::newRow("six fields, eta computed")
        << QByteArray("2024-01-02T03:04:05.006;7;2.5;800.0;20.0;0x0001") << 2.5 << 2.0 << 800.0
        << 20.0 << 1 << notANumber;
    QTest::newRow("seven fields") << QByteArray("2024-01-02T03:04:05.006;7;2.5;2.1;800.0;20.0;0a01")
                                  << 2.5 << 2.1 << 800.0 << 20.0 << 0x0a01 << notANumber;
    QTest::newRow("eight fields") << QByteArray(
                                         "2024-01-02T03:04:05.006;7;2.5;2.1;800.0;20.0;0x0a01;3.25")
                                  << 2.5 << 2.1 << 800.0 << 20.0 << 0x0a01 << 3.25;
    QTest::newRow("nine fields, the ninth ignored")
        << QByteArray("2024-01-02T03:04:05.006;7;2.5;2.1;800.0;20.0;0x0a01;3.25;junk") << 2.5 << 2.1
        << 800.0 << 20.0 << 0x0a01 << 3.25;
    QTest::newRow("nan fields") << QByteArray(
                                       "2024-01-02T03:04:05.006;7;nan;nan;nan;nan;0x0000;nan")
                                << notANumber << notANumber << notANumber << notANumber << 0
                                << notANumber;
}

void TestCsvLine::parseLine()
{
    QFETCH(QByteArray, line);
    QFETCH(double, nu);
    QFETCH(double, eta);
    QFETCH(double, rho);
    QFETCH(double, T);
    QFETCH(int, systemState);
    QFETCH(double, nuUc);

    LiveSample sample;
    QCOMPARE(parseCsvLine(line.constData(), line.constData() + line.size(), sample), nullptr);
    QCOMPARE(sample.timestamp, QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 6)));
    QCOMPARE(sample.frameNr, 7u);
    QVERIFY(sameDouble(sample.nu, nu));
    QVERIFY(sameDouble(sample.eta, eta));
    QVERIFY(sameDouble(sample.rho, rho));
    QVERIFY(sameDouble(sample.T, T));
    QCOMPARE(int(sample.systemState), systemState);
    QVERIFY(sameDouble(sample.nuUc, nuUc));
}

void TestCsvLine::parseLineFailure_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("reason");

    QTest::newRow("four fields") << QByteArray("2024-01-02T03:04:05.006;7;2.5;800.0")
                                 << QByteArray("not enough columns");
    QTest::newRow("five fields") << QByteArray("2024-01-02T03:04:05.006;7;2.5;800.0;20.0")
                                 << QByteArray("not enough columns");
    QTest::newRow("no milliseconds") << QByteArray("2024-01-02T03:04:05;7;2.5;800.0;20.0;0x0001")
                                     << QByteArray("could not read date/time");
    QTest::newRow("inside the spring gap")
        << QByteArray("2024-03-31T02:30:00.000;7;2.5;800.0;20.0;0x0001")
        << QByteArray("could not read date/time");
    QTest::newRow("empty frame number") << QByteArray("2024-01-02T03:04:05.006;;2.5;800.0;20.0;1")
                                        << QByteArray("could not read frameNr");
    QTest::newRow("decimal comma in nu")
        << QByteArray("2024-01-02T03:04:05.006;7;2,5;2.1;800.0;20.0;0x0001;nan")
        << QByteArray("could not read nu");
    QTest::newRow("nu reported before rho")
        << QByteArray("2024-01-02T03:04:05.006;7;x;2.1;y;20.0;0x0001;nan")
        << QByteArray("could not read nu");
    QTest::newRow("rho of the oldest layout")
        << QByteArray("2024-01-02T03:04:05.006;7;2.5;x;20.0;0x0001")
        << QByteArray("could not read rho");
    QTest::newRow("rho of the current layout")
        << QByteArray("2024-01-02T03:04:05.006;7;2.5;2.1;x;20.0;0x0001;nan")
        << QByteArray("could not read rho");
    QTest::newRow("T") << QByteArray("2024-01-02T03:04:05.006;7;2.5;2.1;800.0;x;0x0001;nan")
                       << QByteArray("could not read T");
    QTest::newRow("systemState") << QByteArray("2024-01-02T03:04:05.006;7;2.5;2.1;800.0;20.0;;nan")
                                 << QByteArray("could not read systemState");
    QTest::newRow("eta after systemState")
        << QByteArray("2024-01-02T03:04:05.006;7;2.5;x;800.0;20.0;zz;nan")
        << QByteArray("could not read systemState");
    QTest::newRow("eta") << QByteArray("2024-01-02T03:04:05.006;7;2.5;x;800.0;20.0;0x0001;nan")
                         << QByteArray("could not read eta");
    QTest::newRow("nuUc") << QByteArray("2024-01-02T03:04:05.006;7;2.5;2.1;800.0;20.0;0x0001;")
                          << QByteArray("could not read nuUc");
}

void TestCsvLine::parseLineFailure()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, reason);
    LiveSample sample;
    const char *actual = parseCsvLine(line.constData(), line.constData() + line.size(), sample);
    QVERIFY(actual);
    QCOMPARE(QByteArray(actual), reason);
}

QTEST_APPLESS_MAIN(TestCsvLine)
#include "tst_csvline.moc"
