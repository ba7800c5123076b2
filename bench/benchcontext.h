#ifndef BENCHCONTEXT_H
#define BENCHCONTEXT_H

#include <QString>

// What a benchmark prints beside its figures, so that a figure can be read and re-run
// with the machine it came from.

// "Intel(R) Xeon(R) Processor (2 logical processors)"; "unknown" without /proc/cpuinfo.
QString cpuModel();

// The first three fields of /proc/loadavg: "0.52 0.61 0.70".
QString loadAverage();

#endif
