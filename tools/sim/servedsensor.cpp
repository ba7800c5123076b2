#include "servedsensor.h"

namespace
{

// splitmix64: seeds that differ in one bit give unrelated streams.
uint64_t mixed(uint64_t value)
{
    value += 0x9E3779B97F4A7C15ULL;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

SensorRegisters::Identity identityOf(const SimOptions &options, int index)
{
    SensorRegisters::Identity identity;
    identity.hardwareRevision = options.hardwareRevision;
    identity.serialNumber = options.serialNumber + options.serialStep * uint32_t(index);
    identity.firmwareDate = options.firmwareDate;
    return identity;
}

uint64_t seedOf(const SimOptions &options, int index, uint64_t lineSeed)
{
    if (index == 0)
        return lineSeed;
    return mixed(lineSeed ^ uint64_t(options.addresses.at(index)));
}

} // namespace

ServedSensor::ServedSensor(const SimOptions &options, int index, uint64_t lineSeed)
    : address(options.addresses.at(index)), seed(seedOf(options, index, lineSeed)),
      registers(identityOf(options, index), address, options.line),
      // The noise has its own stream, so that faults repeat whatever the rate.
      model(options.fluid, seed ^ 0x9E3779B97F4A7C15ULL),
      frameNr(index == 0 ? 0 : uint32_t(address) * 100000)
{
}
