#include "mappingcalculation.h"

#include <algorithm>
#include <cmath>
#include <limits>

SampleSelection selectSamples(const QVector<QDateTime> &timestamps, const QVector<double> &T,
                              const QVector<double> &nu, const QDateTime &left,
                              const QDateTime &right)
{
    SampleSelection selection;
    if (timestamps.isEmpty())
        return selection;

    // first: the last sample not later than left; end: the last sample earlier than right;
    // both 0 when there is none.
    const auto afterLeft = std::upper_bound(timestamps.cbegin(), timestamps.cend(), left);
    const auto notBeforeRight = std::lower_bound(timestamps.cbegin(), timestamps.cend(), right);
    const int first = std::max<int>(0, int(afterLeft - timestamps.cbegin()) - 1);
    const int end = std::max<int>(0, int(notBeforeRight - timestamps.cbegin()) - 1);

    selection.TMin = std::numeric_limits<double>::infinity();
    selection.TMax = -std::numeric_limits<double>::infinity();
    for (int i = first; i < end; ++i) {
        if (!std::isfinite(T[i]) || !std::isfinite(nu[i]) || !(nu[i] > 0))
            continue;
        selection.T.append(T[i]);
        selection.nu.append(nu[i]);
        if (T[i] < selection.TMin)
            selection.TMin = T[i];
        if (T[i] > selection.TMax)
            selection.TMax = T[i];
    }
    return selection;
}

MappingInput checkMappingInput(double T1, double nuRef1, double T2, double nuRef2,
                               bool selectionEmpty)
{
    if ((T1 == T2 && nuRef1 != nuRef2) || (T1 != T2 && nuRef1 == nuRef2))
        return MappingInput::InconsistentSets;
    if (nuRef1 == 0 || nuRef2 == 0)
        return MappingInput::ZeroViscosity;
    if ((T1 > T2 && nuRef1 > nuRef2) || (T2 > T1 && nuRef2 > nuRef1))
        return MappingInput::ViscosityIncreasing;
    if (selectionEmpty)
        return MappingInput::NoSelection;
    return MappingInput::Accepted;
}

bool referencesCovered(double T1, double T2, double TMin, double TMax)
{
    return !(T1 < TMin || T1 > TMax || T2 < TMin || T2 > TMax);
}

TemperatureSpan curveSpan(double TMin, double TMax, double T1, double T2)
{
    TemperatureSpan span;
    span.lo = std::min({TMin, T2, T1});
    span.hi = std::max({TMax, T2, T1});
    const double margin = (span.hi - span.lo) * 0.02;
    span.lo -= margin;
    span.hi += margin;
    return span;
}

double vogelViscosity(double T, double A, double B, double C)
{
    return A * std::exp(B / (T + C));
}

double relativeFitError(const QVector<double> &T, const QVector<double> &nu, double A, double B,
                        double C)
{
    double sum = 0;
    for (int i = 0; i < T.size(); ++i)
        sum += std::abs(nu[i] - vogelViscosity(T[i], A, B, C)) / nu[i];
    return sum / T.size();
}

MappingFactors mappingFactors(double T1, double nuRef1, double T2, double nuRef2, double A,
                              double B, double C)
{
    const double fit1 = vogelViscosity(T1, A, B, C);
    MappingFactors factors;
    if (T1 == T2) {
        factors.alpha = 1;
        factors.k = nuRef1 / fit1;
        return factors;
    }
    const double fit2 = vogelViscosity(T2, A, B, C);
    const double lnFit1 = std::log(fit1);
    const double lnFit2 = std::log(fit2);
    factors.alpha = std::log(nuRef1 / nuRef2) / std::log(fit1 / fit2);
    factors.k =
        std::exp((lnFit1 * std::log(nuRef2) - lnFit2 * std::log(nuRef1)) / (lnFit1 - lnFit2));
    return factors;
}
