#include "measurementmodel.h"

#include <cmath>

namespace
{

constexpr double HotT = 80;
constexpr double ColdT = 20;
// Newton-like cooling: fast at first, slow near the end.
constexpr double CoolingSharpness = 4;

} // namespace

MeasurementModel::MeasurementModel(const FluidSettings &fluid, uint64_t seed)
    : fluid(fluid), random(seed)
{
}

double MeasurementModel::temperatureAt(double seconds) const
{
    const double cooldown = fluid.cooldownMinutes * 60;
    const double phase = std::fmod(seconds, 2 * cooldown);
    // Cooling runs forwards, warming runs the same curve backwards.
    const double x = phase < cooldown ? phase / cooldown : (2 * cooldown - phase) / cooldown;
    const double end = std::exp(-CoolingSharpness);
    const double fraction = (std::exp(-CoolingSharpness * x) - end) / (1 - end);
    return ColdT + (HotT - ColdT) * fraction;
}

double MeasurementModel::viscosityAt(double T) const
{
    return fluid.viscosityA * std::exp(fluid.viscosityB / (T + fluid.viscosityC));
}

double MeasurementModel::densityAt(double T) const
{
    return fluid.density20 - fluid.densitySlope * (T - ColdT);
}

double MeasurementModel::withNoise(double value)
{
    return value * (1 + fluid.noise * gauss(random));
}

Measurement MeasurementModel::measure(double seconds)
{
    Measurement m;
    const double T = temperatureAt(seconds);
    // Always three draws, so that the series does not depend on the fault windows.
    m.T = withNoise(T);
    m.nu = withNoise(viscosityAt(T));
    m.rho = withNoise(densityAt(T));
    m.eta = m.nu * m.rho / 1000;
    if (fluid.faultEverySeconds > 0 &&
        std::fmod(seconds, fluid.faultEverySeconds) < fluid.faultForSeconds)
        m.systemState = fluid.faultBits;
    return m;
}
