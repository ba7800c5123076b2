#ifndef MEASUREMENTMODEL_H
#define MEASUREMENTMODEL_H

#include "simoptions.h"

#include <cstdint>
#include <random>

// One measurement of the sensor, before it is encoded into registers.
struct Measurement {
    double T = 0;   // °C
    double nu = 0;  // cSt
    double rho = 0; // kg/m³
    double eta = 0; // mPas
    uint16_t systemState = 0;
};

// The simulated fluid: a temperature that cools from 80 °C to 20 °C and warms
// again, the viscosity and density that follow it, a little noise, and the
// sensor's fault windows. Measurements are taken at a given measurement time,
// so a seed and a rate give the same series on every run.
class MeasurementModel
{
public:
    MeasurementModel(const FluidSettings &fluid, uint64_t seed);

    Measurement measure(double seconds);

private:
    double temperatureAt(double seconds) const;
    double viscosityAt(double T) const;
    double densityAt(double T) const;
    double withNoise(double value);

    FluidSettings fluid;
    std::mt19937_64 random;
    std::normal_distribution<double> gauss;
};

#endif
