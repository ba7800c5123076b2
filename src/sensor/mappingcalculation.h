#ifndef MAPPINGCALCULATION_H
#define MAPPINGCALCULATION_H

#include <QDateTime>
#include <QVector>

// The arithmetic of the viscosity mapping ν' = k·ν^α, apart from the tab that shows it:
// which recorded samples a time selection takes, the input checks, the fit error, the
// curve range and k, α from one or two reference points on the fitted fluid model
// ν(T) = A·exp(B/(T + C)).

// The samples of a time selection; TMin and TMax are meaningful only when T is not empty.
struct SampleSelection {
    QVector<double> T;
    QVector<double> nu;
    double TMin = 0;
    double TMax = 0;
};

// Takes the run from the last sample at or before left up to the sample before the last
// one before right (timestamps non-decreasing). Of that run only samples with a finite
// temperature and a finite viscosity above 0 are kept: a missing value would make the fit
// and every parameter derived from it NaN.
SampleSelection selectSamples(const QVector<QDateTime> &timestamps, const QVector<double> &T,
                              const QVector<double> &nu, const QDateTime &left,
                              const QDateTime &right);

// The input checks of a calculation, in the order they are made.
enum class MappingInput {
    Accepted,
    InconsistentSets, // equal temperatures with different viscosities, or the reverse
    ZeroViscosity,
    ViscosityIncreasing, // viscosity rises with temperature
    NoSelection,
};

// Equal temperatures with equal viscosities are one reference set, different temperatures
// with different viscosities two.
MappingInput checkMappingInput(double T1, double nuRef1, double T2, double nuRef2,
                               bool selectionEmpty);

// True when both reference temperatures lie within [TMin, TMax], bounds included.
bool referencesCovered(double T1, double T2, double TMin, double TMax);

struct TemperatureSpan {
    double lo = 0;
    double hi = 0;
};

// The temperatures the curves are drawn over: the selection and both references, widened
// by 2 % of their span on each side.
TemperatureSpan curveSpan(double TMin, double TMax, double T1, double T2);

// ν(T) = A·exp(B/(T + C))
double vogelViscosity(double T, double A, double B, double C);

// Mean of |ν − model| / ν over the samples, as a fraction.
double relativeFitError(const QVector<double> &T, const QVector<double> &nu, double A, double B,
                        double C);

struct MappingFactors {
    double k = 1;
    double alpha = 1;
};

// k and α that carry the model's viscosities at T1 and T2 onto nuRef1 and nuRef2; with one
// reference set (T1 = T2) α is 1 and only k scales.
MappingFactors mappingFactors(double T1, double nuRef1, double T2, double nuRef2, double A,
                              double B, double C);

#endif
