// Compiled as a Release build compiles the solver, with NDEBUG defined, under which uBLAS
// would drop its run-time checks: including fluidmodel.h must keep them in force.
#ifndef NDEBUG
#define NDEBUG
#endif

#include "fluidmodel.h"

#include <boost/numeric/ublas/lu.hpp>

#include <QtTest>

#include <cmath>

namespace ublas = boost::numeric::ublas;

static_assert(BOOST_UBLAS_CHECK_ENABLE, "uBLAS bound and size checks are off under NDEBUG");
static_assert(BOOST_UBLAS_TYPE_CHECK, "uBLAS numeric consistency checks are off under NDEBUG");

class TestUblasRelease : public QObject
{
    Q_OBJECT

private slots:
    void substitutionCheckRaisesUnderNdebug();
    void solverRejectsTheSameSystem();
};

namespace
{

// Three nearly dependent columns (the third is the sum of the first two but for 2^-23):
// the back-substitution of its normal equations misses its right-hand side by more than
// uBLAS's tolerance.
template <class Matrix> Matrix nearlyDependent()
{
    const double rows[3][3] = {{1, -1, std::ldexp(1.0, -23)}, {-3, 0, -3}, {-3, -2, -5}};
    Matrix m(3, 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m(i, j) = rows[i][j];
    return m;
}

ublas::vector<double> rightHandSide()
{
    ublas::vector<double> b(3);
    b(0) = -1;
    b(1) = -1;
    b(2) = 1;
    return b;
}

} // namespace

void TestUblasRelease::substitutionCheckRaisesUnderNdebug()
{
    // Column-major storage keeps these template instances apart from the library's.
    using Matrix = ublas::matrix<double, ublas::column_major>;
    const Matrix M = nearlyDependent<Matrix>();
    const Matrix Mt = ublas::trans(M);
    Matrix normal = ublas::prod(Mt, M);
    ublas::vector<double> g = ublas::prod(Mt, rightHandSide());
    ublas::permutation_matrix<std::size_t> permutation(3);
    QCOMPARE(int(ublas::lu_factorize(normal, permutation)), 0);
    QVERIFY_EXCEPTION_THROWN(ublas::lu_substitute(normal, permutation, g), ublas::internal_logic);
}

void TestUblasRelease::solverRejectsTheSameSystem()
{
    ublas::vector<double> x;
    QTest::ignoreMessage(QtWarningMsg, "solvePinv: backsubstitute failed");
    QVERIFY(!solvePinv(nearlyDependent<ublas::matrix<double>>(), rightHandSide(), x));
    QCOMPARE(int(x.size()), 0);
}

QTEST_GUILESS_MAIN(TestUblasRelease)
#include "tst_ublasrelease.moc"
