#ifndef FLUIDMODEL_H
#define FLUIDMODEL_H

// The solver relies on uBLAS's run-time consistency checks (the LU factors must reproduce
// the matrix, each triangular solve its right-hand side), and uBLAS drops them when NDEBUG
// is defined. They are switched on here, before the first uBLAS header, so every build and
// every translation unit that sees these types agrees on them.
#ifndef BOOST_UBLAS_CHECK_ENABLE
#define BOOST_UBLAS_CHECK_ENABLE 1
#endif
#ifndef BOOST_UBLAS_TYPE_CHECK
#define BOOST_UBLAS_TYPE_CHECK 1
#endif
// A failed check is reported through the Qt log by the solver, not on std::cerr.
#ifndef BOOST_UBLAS_NO_STD_CERR
#define BOOST_UBLAS_NO_STD_CERR
#endif

#include <boost/numeric/ublas/matrix.hpp>
#include <boost/numeric/ublas/vector.hpp>

#if !BOOST_UBLAS_CHECK_ENABLE || !BOOST_UBLAS_TYPE_CHECK
#error "uBLAS was configured without its run-time checks before fluidmodel.h was included"
#endif

#include <QVector>

#include <optional>

// Least-squares solution of M·x ≈ b through the normal equations MᵀM·x = Mᵀb, LU with
// partial pivoting. False, with a warning and x unchanged, when a pivot is exactly zero
// or uBLAS rejects the factorisation or the substitution; no uBLAS exception escapes.
bool solvePinv(const boost::numeric::ublas::matrix<double> &M,
               const boost::numeric::ublas::vector<double> &b,
               boost::numeric::ublas::vector<double> &x);

// Fits ν(T) = A·exp(B/(T + C)) to the samples (T in °C, ν in cSt) in the form
// ln ν = ln A + B/(T + C): linear start values with C = 120, then exactly ten undamped
// Gauss–Newton steps. A, B and C are written as the fit goes, so after a failure (false)
// they hold the last values reached; C is 120 from the start.
bool estVCM(QVector<double> T, QVector<double> nu, double &A, double &B, double &C);

// A fluid model ν(T) = A·exp(B/(T + C)).
struct FluidModel {
    double A = 0;
    double B = 0;
    double C = 0;
};

// The model for a selection, or none. A model is accepted only when it is physical over
// the selected temperatures (B > 0 and T + C > 0 for each) and converged (its last
// Gauss–Newton correction changed B and C by less than 1e-6 relative). estVCM's result
// is taken when it passes; otherwise C is searched over the whole physical range with
// ln A and B solved for each C, and the best fit refined by damped steps and tested the
// same way.
std::optional<FluidModel> fitFluidModel(const QVector<double> &T, const QVector<double> &nu);

#endif
