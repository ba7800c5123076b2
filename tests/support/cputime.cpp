#include "cputime.h"

#include <QTest>

#include <algorithm>
#include <sys/resource.h>

double processCpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double idleCpuSeconds(int waitMs)
{
    const double before = processCpuSeconds();
    QTest::qWait(waitMs);
    return processCpuSeconds() - before;
}

double idleCpuBudget(double floorSeconds, double factor, double yardstickSeconds, int yardstickMs,
                     int wallMs)
{
    return std::max(floorSeconds, factor * yardstickSeconds * wallMs / yardstickMs);
}
