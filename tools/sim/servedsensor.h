#ifndef SERVEDSENSOR_H
#define SERVEDSENSOR_H

#include "measurementmodel.h"
#include "sensorregisters.h"
#include "simoptions.h"

#include <cstdint>

// One simulated sensor on the line: its registers, its fluid with its own noise, and its
// own frame numbers. The first address served is the sensor of the plain options (serial
// number, seed, frames from 1); each further one gets a serial number, a seed and a first
// frame number of its own, derived from those options and its address, so a run repeats.
struct ServedSensor {
    ServedSensor(const SimOptions &options, int index, uint64_t lineSeed);

    int address;
    uint64_t seed;
    SensorRegisters registers;
    MeasurementModel model;
    uint32_t frameNr;          // the latest frame's number
    uint32_t measurements = 0; // frames produced, the measurement time in frames
    bool silenced = false;     // hears no request, see --silence-on-signal
};

#endif
