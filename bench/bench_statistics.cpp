// The statistics of a selection of 1,000,000 samples (a recording at 2 Hz of about
// 5.8 days, with gaps of missing values and fault stretches), for one quantity and for
// all five at once, as the time plot's table asks for them, with the share of reading
// the timestamps alone. Run through
// bench/run-statistics-bench.sh.
//
// Usage: bench_statistics [RUNS]

#include "benchcontext.h"

#include "measurementdata.h"
#include "selectionstatistics.h"

#include <QFile>
#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

namespace
{

const int sampleCount = 1000000;

// CPU time of this thread, so that other processes on a loaded machine count less.
double threadMs()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

void fill(MeasurementData &store)
{
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 0.05);
    const QDateTime start(QDate(2024, 3, 28), QTime(8, 0));
    for (int i = 0; i < sampleCount; ++i) {
        const double minutes = i / 120.0;
        const double T = 20 + 60 * std::exp(-minutes / 900) + noise(random);
        const bool gap = i % 50000 > 49900;
        const uint16_t state = i % 20000 < 40 ? 0x0001 : 0x0200;
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double nu = gap ? nan : 3 + 0.2 * T + noise(random);
        store.addSample(start.addMSecs(qint64(i) * 500), uint32_t(i), state, T, 850 - 0.6 * T, nu,
                        gap ? nan : nu * 0.8, i % 2 ? nan : nu * 1.01);
    }
}

void report(const char *what, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    std::printf("%-28s runs %zu  min %.2f ms  median %.2f ms  max %.2f ms\n", what, times.size(),
                times.front(), times[times.size() / 2], times.back());
}

} // namespace

int main(int argc, char *argv[])
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;
    std::printf("CPU: %s\nQt: %s\nTZ: %s\nselection of %d samples (spans a clock change)\n",
                qPrintable(cpuModel()), qVersion(), qgetenv("TZ").constData(), sampleCount);

    MeasurementData store;
    fill(store);
    const QVector<const QVector<double> *> one{&store.nu};
    const QVector<const QVector<double> *> five{&store.nu, &store.nuUc, &store.eta, &store.rho,
                                                &store.T};
    double sink = 0;
    const QVector<const QVector<double> *> none;
    for (const auto *columns : {&none, &one, &five}) {
        std::vector<double> times;
        for (int run = 0; run < runs; ++run) {
            const double before = threadMs();
            const QVector<SelectionStatistics> result =
                selectionStatistics(store.timestamps, *columns, store.systemState, 0, sampleCount);
            times.push_back(threadMs() - before);
            sink += result.value(0).mean + 1;
        }
        report(columns == &none  ? "timestamps only"
               : columns == &one ? "one quantity (nu)"
                                 : "five quantities",
               times);
    }
    return sink == 0 ? 1 : 0;
}
