#ifndef FAULTINJECTOR_H
#define FAULTINJECTOR_H

#include "simoptions.h"

#include <QByteArray>

#include <cstdint>
#include <random>

// The line faults of one request, drawn in a fixed order so that a seed repeats a
// run exactly.
struct FaultPlan {
    bool drop = false;
    bool exception = false;
    bool badCrc = false;
    bool wrongAddress = false;
    bool garbage = false;
    bool split = false;
};

// A reply as it goes onto the line: bytes, and where a split pause falls (-1: none).
struct Transmission {
    QByteArray bytes;
    int splitAt = -1;
};

class FaultInjector
{
public:
    FaultInjector(const LineFaults &faults, uint64_t seed);

    FaultPlan next();
    // Applies the plan's corruptions to a complete RTU reply (address .. CRC).
    Transmission corrupt(const QByteArray &reply, const FaultPlan &plan);
    // The same for a Modbus TCP reply (MBAP header first): a bad CRC becomes a wrong
    // transaction identifier, a wrong address a wrong unit.
    Transmission corruptMbap(const QByteArray &reply, const FaultPlan &plan);

    static uint16_t crc16(const QByteArray &bytes);

private:
    bool draw(double probability);
    Transmission withGarbageAndSplit(QByteArray bytes, const FaultPlan &plan);

    LineFaults faults;
    std::mt19937_64 random;
};

#endif
