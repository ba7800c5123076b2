#include "plotticks.h"

#include <cmath>

namespace
{

// 10 to the power of a whole exponent, correctly rounded: the powers up to 1e22 are exact
// doubles, and a division by one rounds correctly. mingw's pow is a few units in the last
// place off for negative exponents, and a step a little too large loses the last tick.
double powerOfTen(double exponent)
{
    if (std::fabs(exponent) > 22)
        return std::pow(10.0, exponent);
    double power = 1;
    for (int i = 0; i < std::fabs(exponent); ++i)
        power *= 10;
    return exponent < 0 ? 1 / power : power;
}

} // namespace

QVector<double> valueTicks(double low, double high, int intervalCount)
{
    QVector<double> ticks;
    // Written as a negation so that NaN spans are refused as well.
    if (!(high - low > 0) || !std::isfinite(high - low) || intervalCount <= 0)
        return ticks;

    const double rough = (high - low) / intervalCount;
    const double magnitude = powerOfTen(std::floor(std::log10(rough)));
    const double ratio = rough / magnitude;
    double step = 5 * magnitude;
    if (ratio < 2)
        step = magnitude;
    else if (ratio < 5)
        step = 2 * magnitude;

    double h = std::floor(low / step) * step;
    if (high < h)
        return ticks;
    const double tolerance = step / 100;
    while (true) {
        if (h >= low) {
            if (std::fabs(h) < tolerance)
                h = 0;
            else if (std::fabs(h - 1) < tolerance)
                h = 1;
            ticks.append(h);
        }
        const double next = h + step;
        // Far from zero the step can vanish in the rounding of h.
        if (next > high || next <= h)
            break;
        h = next;
    }
    return ticks;
}

QString formatTickValue(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");

    int integerDigits = 1;
    int scaleExponent = 7;
    int divisorExponent = 7;
    int engineeringExponent = 0;
    if (value != 0) {
        const double logarithm = std::log10(std::fabs(value));
        const int exponent = int(std::floor(logarithm));
        if (exponent >= 1 && exponent <= 4) {
            integerDigits = exponent + 1;
        } else {
            engineeringExponent = int(std::floor(logarithm / 3));
            integerDigits = exponent + 1 - 3 * engineeringExponent;
        }
        scaleExponent = 7 - exponent;
        divisorExponent = 8 - integerDigits;
    }

    const long long scaled = std::llround(static_cast<long double>(value) *
                                          std::pow(10.0L, static_cast<long double>(scaleExponent)));
    long long divisor = 1;
    for (int i = 0; i < divisorExponent; ++i)
        divisor *= 10;
    QString text = QString::number(scaled / divisor);

    long long fraction = std::llabs(scaled % divisor);
    if (integerDigits <= 7 && fraction != 0) {
        text += QLatin1Char('.');
        long long place = divisor / 10;
        while (fraction != 0 && place >= 1) {
            text += QLatin1Char(char('0' + fraction / place));
            fraction %= place;
            place /= 10;
        }
    }
    if (engineeringExponent != 0)
        text += QLatin1Char('e') + QString::number(3 * engineeringExponent);
    return text;
}

namespace
{

struct TimeStep {
    qint64 maximumSpanMs;
    qint64 stepMs;
};

const TimeStep timeStepTable[] = {
    {29999, 1000},       {119999, 5000},        {299999, 10000},        {1199999, 30000},
    {2399999, 60000},    {7199999, 300000},     {14399999, 600000},     {43199999, 1800000},
    {86399999, 3600000}, {345599999, 21600000}, {2419199999, 86400000},
};
const qint64 longestStepMs = 604800000;

} // namespace

QVector<QDateTime> timeTicks(const QDateTime &left, const QDateTime &right, qint64 &stepMs)
{
    QVector<QDateTime> ticks;
    stepMs = 0;
    if (!left.isValid() || !right.isValid() || !(left < right))
        return ticks;

    const qint64 leftMs = left.toMSecsSinceEpoch();
    const qint64 rightMs = right.toMSecsSinceEpoch();
    const qint64 span = rightMs - leftMs;
    stepMs = longestStepMs;
    for (const TimeStep &row : timeStepTable) {
        if (span <= row.maximumSpanMs) {
            stepMs = row.stepMs;
            break;
        }
    }
    // Strictly after left, even when left lies on a multiple of the step.
    for (qint64 tick = stepMs * (leftMs / stepMs + 1); tick < rightMs; tick += stepMs)
        ticks.append(QDateTime::fromMSecsSinceEpoch(tick));
    return ticks;
}
