#ifndef LIVESAMPLE_H
#define LIVESAMPLE_H

#include <QDateTime>

#include <cstdint>

// One measurement of the sensor: decoded from the live block, stamped when its reply was
// handled, and passed on as it is to the store, the recording journal and the files (or
// read back from a file). The members follow the columns of the files.
struct LiveSample {
    QDateTime timestamp; // local time; invalid until the sample is stamped
    uint32_t frameNr = 0;
    double nu = 0;  // kinematic viscosity, cSt
    double eta = 0; // dynamic viscosity, mPa·s
    double rho = 0; // density, kg/m³
    double T = 0;   // temperature, °C
    uint16_t systemState = 0;
    double nuUc = 0; // kinematic viscosity mapped, cSt; NaN when the firmware has none
};

#endif
