#ifndef SOAKRUN_H
#define SOAKRUN_H

// Long runs of the real link against quva-sim, for the soak benchmark and its short
// version among the tests.
//
// Poll lanes do what the Live Data tab does: every 500 ms, if nothing is outstanding,
// they read the live block, turn new frames into samples and store them, while the
// simulator spoils a share of its replies. The simulator's state file, rewritten after
// every request it receives, tells for each exchange which faults were injected into it,
// so every failed exchange can be held against its cause and every stored sample against
// the simulator's own log of the frame.
//
// Write lanes run configuration writes as the tabs do (unlock, data, command, lock) with
// random valid values and read each block back.
//
// A loaded machine can hold up the simulator or the link past the link's 3 s response
// time-out, or for longer than the 100 ms that end a reply in the middle of one. An error
// that no injected fault explains is therefore held until its reply, or the rest of it,
// turns up late: then it was a stall, counted as such and not as a failure; a reply that
// never comes, or a simulator that took the request and sent nothing, is a failure.

#include <QMap>
#include <QString>

#include <cstdint>

namespace Soak
{

struct PollFigures {
    int exchanges = 0;
    int answered = 0;
    int failed = 0;
    QMap<QString, int> errors;       // failed exchanges by error kind
    QMap<QString, int> injected;     // faulted exchanges by fault kind (one may have several)
    QMap<QString, int> faultToError; // "fault -> error" for exchanges with a single fault
    QMap<QString, int> lateErrors;   // errors while no request was out (split reply tails)
    int faultedExchanges = 0;        // exchanges the simulator spoiled
    int failedWithoutFault = 0;      // must be 0
    int answeredDespiteFault = 0;    // must be 0: a spoiled reply was believed
    int splitTakenWhole = 0;
    int stalled = 0; // errors whose reply came late, on a machine too busy to keep time
    int requestCountMismatches = 0; // must be 0: the simulator saw not one request
    int faultsFollowedByCleanExchange = 0;
    int recoveredAtNextRequest = 0; // of those, the next exchange succeeded
    int samplesStored = 0;
    int corruptSamples = 0;        // must be 0
    int duplicateOrOutOfOrder = 0; // must be 0
    qint64 framesProduced = 0;     // by the simulator while the lane polled

    void add(const PollFigures &other)
    {
        exchanges += other.exchanges;
        answered += other.answered;
        failed += other.failed;
        for (auto it = other.errors.begin(); it != other.errors.end(); ++it)
            errors[it.key()] += it.value();
        for (auto it = other.injected.begin(); it != other.injected.end(); ++it)
            injected[it.key()] += it.value();
        for (auto it = other.faultToError.begin(); it != other.faultToError.end(); ++it)
            faultToError[it.key()] += it.value();
        for (auto it = other.lateErrors.begin(); it != other.lateErrors.end(); ++it)
            lateErrors[it.key()] += it.value();
        faultedExchanges += other.faultedExchanges;
        failedWithoutFault += other.failedWithoutFault;
        answeredDespiteFault += other.answeredDespiteFault;
        splitTakenWhole += other.splitTakenWhole;
        stalled += other.stalled;
        requestCountMismatches += other.requestCountMismatches;
        faultsFollowedByCleanExchange += other.faultsFollowedByCleanExchange;
        recoveredAtNextRequest += other.recoveredAtNextRequest;
        samplesStored += other.samplesStored;
        corruptSamples += other.corruptSamples;
        duplicateOrOutOfOrder += other.duplicateOrOutOfOrder;
        framesProduced += other.framesProduced;
    }
};

struct WriteFigures {
    int writes = 0;
    int exchanges = 0;
    int mismatches = 0; // must be 0
    int errors = 0;     // must be 0: the simulator injects nothing here
    int stalled = 0;    // errors whose reply came late
    QMap<QString, int> byBlock;

    void add(const WriteFigures &other)
    {
        writes += other.writes;
        exchanges += other.exchanges;
        mismatches += other.mismatches;
        errors += other.errors;
        stalled += other.stalled;
        for (auto it = other.byBlock.begin(); it != other.byBlock.end(); ++it)
            byBlock[it.key()] += it.value();
    }
};

struct Options {
    int exchanges = 0; // over all poll lanes
    int pollLanes = 8;
    int writes = 0; // over all write lanes
    int writeLanes = 10;
    double faultShare = 0.01;
    int seconds = 0; // 0: until the counts are reached
    uint32_t seed = 1;
};

struct Figures {
    PollFigures poll;
    WriteFigures write;
    double seconds = 0;
    bool started = true;
};

// Runs the lanes until each has made its share, or until the time is up.
Figures run(const Options &options);

} // namespace Soak

#endif
