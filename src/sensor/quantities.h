#ifndef QUANTITIES_H
#define QUANTITIES_H

// Dynamic viscosity η in mPa·s from kinematic viscosity ν in cSt and density ρ in kg/m³,
// for where the sensor or an older file gives no η of its own.
constexpr double dynamicViscosity(double nu, double rho)
{
    return nu * rho / 1000;
}

#endif
