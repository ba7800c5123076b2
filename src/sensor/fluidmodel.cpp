#include "fluidmodel.h"

#include <boost/numeric/ublas/lu.hpp>

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

namespace ublas = boost::numeric::ublas;

namespace
{

constexpr double startC = 120.0; // °C
constexpr unsigned refinementSteps = 10;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// A model counts as converged when its last correction moved B and C by less than this,
// relative to their size (at least 1 °C, so that a C near 0 is not held to nothing).
constexpr double convergence = 1e-6;

// The corrections of B and C of the last Gauss–Newton step.
struct Correction {
    double B = NaN;
    double C = NaN;
};

// The Gauss–Newton correction of (ln A, B, C): the least-squares solution of J·δ ≈ r,
// with residuals and Jacobian at the given parameters.
bool gaussNewtonCorrection(const QVector<double> &T, const ublas::vector<double> &y, double lnA,
                           double B, double C, ublas::vector<double> &delta)
{
    const int n = T.size();
    ublas::matrix<double> J(n, 3);
    ublas::vector<double> r(n);
    for (int i = 0; i < n; ++i) {
        const double shifted = T[i] + C;
        r(i) = y(i) - (B / shifted + lnA);
        J(i, 0) = 1;
        J(i, 1) = 1 / shifted;
        J(i, 2) = -B / (shifted * shifted);
    }
    return solvePinv(J, r, delta);
}

ublas::vector<double> logarithms(const QVector<double> &nu, int n)
{
    ublas::vector<double> y(n);
    for (int i = 0; i < n; ++i)
        y(i) = std::log(nu[i]);
    return y;
}

// Linear start values with C = 120, then ten undamped Gauss–Newton steps; A, B and C are
// written as the fit goes. last, when given, receives the corrections of the last step.
bool estimate(const QVector<double> &T, const QVector<double> &nu, double &A, double &B, double &C,
              Correction *last)
{
    const int n = T.size();
    const ublas::vector<double> y = logarithms(nu, n);

    C = startC;

    double lnA = 0;
    {
        ublas::matrix<double> X(n, 2);
        for (int i = 0; i < n; ++i) {
            X(i, 0) = 1;
            X(i, 1) = 1 / (T[i] + C);
        }
        ublas::vector<double> start;
        if (!solvePinv(X, y, start)) {
            qDebug("estVCM: failed to find start values");
            return false;
        }
        lnA = start(0);
        B = start(1);
        A = std::exp(lnA);
    }

    // Undamped Gauss–Newton on (ln A, B, C); residuals and Jacobian of a step both use
    // the parameters from before its update.
    for (unsigned k = 0; k < refinementSteps; ++k) {
        ublas::vector<double> delta;
        if (!gaussNewtonCorrection(T, y, lnA, B, C, delta)) {
            qDebug() << "estVCM: failed at iteration" << k;
            return false;
        }
        lnA += delta(0);
        B += delta(1);
        C += delta(2);
        A = std::exp(lnA);
        if (last)
            *last = {delta(1), delta(2)};
    }
    return true;
}

bool physical(const QVector<double> &T, double B, double C)
{
    if (!std::isfinite(B) || !std::isfinite(C) || !(B > 0))
        return false;
    return std::all_of(T.cbegin(), T.cend(), [C](double t) { return t + C > 0; });
}

bool converged(const Correction &last, double B, double C)
{
    const auto small = [](double change, double value) {
        return std::abs(change) < convergence * std::max(std::abs(value), 1.0);
    };
    return small(last.B, B) && small(last.C, C);
}

double sumOfSquares(const QVector<double> &T, const ublas::vector<double> &y, double lnA, double B,
                    double C)
{
    double sum = 0;
    for (int i = 0; i < T.size(); ++i) {
        const double r = y(i) - (B / (T[i] + C) + lnA);
        sum += r * r;
    }
    return sum;
}

// For a fixed C the model is linear in ln A and B: their least-squares values and the
// sum of squared residuals (NaN when the temperatures do not differ).
struct ProfilePoint {
    double lnA = NaN;
    double B = NaN;
    double sumOfSquares = NaN;
};

ProfilePoint profileAt(const QVector<double> &T, const ublas::vector<double> &y, double C)
{
    const int n = T.size();
    double meanU = 0;
    double meanY = 0;
    for (int i = 0; i < n; ++i) {
        meanU += 1 / (T[i] + C);
        meanY += y(i);
    }
    meanU /= n;
    meanY /= n;
    double suu = 0;
    double suy = 0;
    for (int i = 0; i < n; ++i) {
        const double du = 1 / (T[i] + C) - meanU;
        suu += du * du;
        suy += du * (y(i) - meanY);
    }
    ProfilePoint point;
    if (!(suu > 0))
        return point;
    point.B = suy / suu;
    point.lnA = meanY - point.B * meanU;
    point.sumOfSquares = sumOfSquares(T, y, point.lnA, point.B, C);
    return point;
}

// The fallback: the best C over T + C from 0.01 K to 10000 K above the lowest selected
// temperature (ln A and B solved for each), narrowed by golden sections and refined by
// Gauss–Newton steps that are halved until they do not worsen the fit. A best C at
// either end of that range is no minimum: the data do not fix C.
std::optional<FluidModel> searchModel(const QVector<double> &T, const QVector<double> &nu)
{
    const int n = T.size();
    if (n < 3)
        return std::nullopt;
    const ublas::vector<double> y = logarithms(nu, n);
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(y(i)) || !std::isfinite(T[i]))
            return std::nullopt;
    }
    const double TMin = *std::min_element(T.cbegin(), T.cend());

    // Searched in log(T + C): C's effect fades as it grows.
    constexpr int gridPoints = 241;
    const double logLow = std::log(1e-2);
    const double logHigh = std::log(1e4);
    const auto CAt = [TMin](double logShift) { return std::exp(logShift) - TMin; };
    const auto cost = [&](double logShift) {
        const double value = profileAt(T, y, CAt(logShift)).sumOfSquares;
        return std::isnan(value) ? std::numeric_limits<double>::infinity() : value;
    };
    const double step = (logHigh - logLow) / (gridPoints - 1);
    int best = -1;
    double bestCost = std::numeric_limits<double>::infinity();
    for (int j = 0; j < gridPoints; ++j) {
        const double value = cost(logLow + j * step);
        if (value < bestCost) {
            bestCost = value;
            best = j;
        }
    }
    if (best <= 0 || best >= gridPoints - 1)
        return std::nullopt;

    const double golden = (std::sqrt(5.0) - 1) / 2;
    double a = logLow + (best - 1) * step;
    double b = logLow + (best + 1) * step;
    double x1 = b - golden * (b - a);
    double x2 = a + golden * (b - a);
    double f1 = cost(x1);
    double f2 = cost(x2);
    for (int i = 0; i < 200 && b - a > 1e-13; ++i) {
        if (f1 <= f2) {
            b = x2;
            x2 = x1;
            f2 = f1;
            x1 = b - golden * (b - a);
            f1 = cost(x1);
        } else {
            a = x1;
            x1 = x2;
            f1 = f2;
            x2 = a + golden * (b - a);
            f2 = cost(x2);
        }
    }

    double C = CAt((a + b) / 2);
    const ProfilePoint start = profileAt(T, y, C);
    double lnA = start.lnA;
    double B = start.B;
    double current = start.sumOfSquares;
    if (!std::isfinite(current))
        return std::nullopt;

    constexpr int maxSteps = 50;
    for (int k = 0; k < maxSteps; ++k) {
        ublas::vector<double> delta;
        if (!gaussNewtonCorrection(T, y, lnA, B, C, delta))
            return std::nullopt;
        if (converged({delta(1), delta(2)}, B, C)) {
            lnA += delta(0);
            B += delta(1);
            C += delta(2);
            if (!physical(T, B, C) || !std::isfinite(lnA))
                return std::nullopt;
            return FluidModel{std::exp(lnA), B, C};
        }
        bool improved = false;
        for (double scale = 1; scale > 1e-12; scale /= 2) {
            const double trialC = C + scale * delta(2);
            if (TMin + trialC <= 0)
                continue;
            const double trial =
                sumOfSquares(T, y, lnA + scale * delta(0), B + scale * delta(1), trialC);
            if (trial <= current) {
                lnA += scale * delta(0);
                B += scale * delta(1);
                C = trialC;
                current = trial;
                improved = true;
                break;
            }
        }
        if (!improved)
            return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

bool solvePinv(const ublas::matrix<double> &M, const ublas::vector<double> &b,
               ublas::vector<double> &x)
{
    ublas::matrix<double> normal;
    ublas::vector<double> solution;
    ublas::permutation_matrix<std::size_t> permutation(M.size2());
    try {
        // The transpose stays an expression: a copy of a tall M would cost more than the
        // products themselves.
        normal = ublas::prod(ublas::trans(M), M);
        solution = ublas::prod(ublas::trans(M), b);
        if (ublas::lu_factorize(normal, permutation) != 0) {
            qWarning("solvePinv: matrix is singular");
            return false;
        }
    } catch (const std::exception &) {
        // uBLAS found that the factors do not reproduce the matrix: no usable solution.
        qWarning("solvePinv: matrix is singular");
        return false;
    }

    try {
        ublas::lu_substitute(normal, permutation, solution);
    } catch (const std::exception &) {
        qWarning("solvePinv: backsubstitute failed");
        return false;
    }

    x.resize(M.size2());
    x.assign(solution);
    return true;
}

bool estVCM(QVector<double> T, QVector<double> nu, double &A, double &B, double &C)
{
    return estimate(T, nu, A, B, C, nullptr);
}

std::optional<FluidModel> fitFluidModel(const QVector<double> &T, const QVector<double> &nu)
{
    double A = NaN;
    double B = NaN;
    double C = NaN;
    Correction last;
    if (estimate(T, nu, A, B, C, &last) && std::isfinite(A) && physical(T, B, C) &&
        converged(last, B, C))
        return FluidModel{A, B, C};
    qDebug("fitFluidModel: the ten steps from C = 120 gave no sound model, searching C");
    return searchModel(T, nu);
}
