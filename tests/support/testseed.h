#ifndef TESTSEED_H
#define TESTSEED_H

#include <QRandomGenerator>

// The one seed of a test program's random choices: QUVA_TEST_SEED when it is set, else a
// fixed default. The first call prints it with the command that replays the run, so that a
// failure seen once can be had again.
quint32 testSeed();

// A generator seeded with testSeed(), for every random choice a test makes. Each call starts
// the same sequence again, so that a test function replays the same when run on its own.
QRandomGenerator seededRandom();

#endif
