#ifndef CPUTIME_H
#define CPUTIME_H

// CPU time (user and system) this process has used so far, in seconds.
double processCpuSeconds();

// The CPU time this process spends over waitMs of its event loop with nothing but its own
// timers running, measured now. "The program stays idle" checks set their budget against
// it, so that a slow, instrumented or loaded machine raises the budget with the yardstick
// instead of failing the check.
double idleCpuSeconds(int waitMs);

// The CPU budget for an idle stretch of wallMs: the fixed floor, or factor times the idle
// yardstick scaled to that length, whichever is larger.
double idleCpuBudget(double floorSeconds, double factor, double yardstickSeconds, int yardstickMs,
                     int wallMs);

#endif
