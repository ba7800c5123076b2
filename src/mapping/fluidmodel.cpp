#include "fluidmodel.h"

#include <boost/numeric/ublas/lu.hpp>

#include <QDebug>

#include <cmath>
#include <exception>

namespace ublas = boost::numeric::ublas;

namespace
{

constexpr double startC = 120.0; // °C
constexpr unsigned refinementSteps = 10;

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
    const int n = T.size();
    ublas::vector<double> y(n);
    for (int i = 0; i < n; ++i)
        y(i) = std::log(nu[i]);

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
        ublas::matrix<double> J(n, 3);
        ublas::vector<double> r(n);
        for (int i = 0; i < n; ++i) {
            const double shifted = T[i] + C;
            r(i) = y(i) - (B / shifted + lnA);
            J(i, 0) = 1;
            J(i, 1) = 1 / shifted;
            J(i, 2) = -B / (shifted * shifted);
        }
        ublas::vector<double> delta;
        if (!solvePinv(J, r, delta)) {
            qDebug() << "estVCM: failed at iteration" << k;
            return false;
        }
        lnA += delta(0);
        B += delta(1);
        C += delta(2);
        A = std::exp(lnA);
    }
    return true;
}
