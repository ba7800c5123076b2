// Time of the fluid model fit estVCM on 1,000,000 samples of a noisy cool-down curve
// (start values and ten Gauss–Newton steps: eleven least-squares solves over all samples),
// and a check that the solver keeps uBLAS's run-time checks in this build: a system whose
// back-substitution fails them must be rejected, or the program exits with 1.
//
// Usage: bench_mapping [samples]   (default 1000000; build it in a Release configuration)

#include "fluidmodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace
{

void quietLog(QtMsgType, const QMessageLogContext &, const QString &) {}

bool solverChecksInForce()
{
    // The third column is the sum of the first two but for 2^-23 in one entry.
    const double rows[3][3] = {{1, -1, std::ldexp(1.0, -23)}, {-3, 0, -3}, {-3, -2, -5}};
    boost::numeric::ublas::matrix<double> M(3, 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            M(i, j) = rows[i][j];
    boost::numeric::ublas::vector<double> b(3);
    b(0) = -1;
    b(1) = -1;
    b(2) = 1;
    boost::numeric::ublas::vector<double> x;
    return !solvePinv(M, b, x);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int samples = argc > 1 ? std::atoi(argv[1]) : 1000000;

    // 80 °C down to 20 °C, ν = 0.02·exp(900/(T + 95)) cSt with 0.2 % noise.
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 0.002);
    QVector<double> T(samples);
    QVector<double> nu(samples);
    for (int i = 0; i < samples; ++i) {
        T[i] = 80 - 60.0 * i / std::max(1, samples - 1);
        nu[i] = 0.02 * std::exp(900 / (T[i] + 95)) * (1 + noise(random));
    }

    std::vector<double> milliseconds;
    double A = 0, B = 0, C = 0;
    bool estimated = false;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer clock;
        clock.start();
        estimated = estVCM(T, nu, A, B, C);
        milliseconds.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(milliseconds.begin(), milliseconds.end());

#ifdef NDEBUG
    const char *build = "NDEBUG defined (Release)";
#else
    const char *build = "NDEBUG not defined";
#endif
    qInstallMessageHandler(quietLog);
    const bool checks = solverChecksInForce();
    qInstallMessageHandler(nullptr);

    std::printf("build: %s\n", build);
    std::printf("estVCM on %d samples: fastest %.1f ms, median %.1f ms of %zu runs\n", samples,
                milliseconds.front(), milliseconds[milliseconds.size() / 2], milliseconds.size());
    std::printf("result: %s, A = %.6g cSt, B = %.6g degC, C = %.6g degC\n",
                estimated ? "fitted" : "failed", A, B, C);
    std::printf("uBLAS run-time checks in the solver: %s\n", checks ? "in force" : "OFF");
    return checks ? 0 : 1;
}
