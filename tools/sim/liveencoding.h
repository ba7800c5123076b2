#ifndef LIVEENCODING_H
#define LIVEENCODING_H

#include "measurementmodel.h"

#include <QDateTime>
#include <QVector>

#include <cstdint>

// The live block, registers 16..30, as the firmware of a given date writes it, and
// the values that a correct decoder reads back from those words (NaN: missing).
struct LiveFrame {
    uint32_t frameNr = 0;
    QVector<uint16_t> words; // 15 words, registers 16..30
    double nu = 0;
    double rho = 0;
    double T = 0;
    double eta = 0;
    double nuUc = 0;
    uint16_t systemState = 0;
};

// k and alpha are the committed viscosity mapping.
LiveFrame encodeLiveFrame(uint32_t frameNr, const Measurement &measurement,
                          const QDateTime &firmwareDate, float k, float alpha);

#endif
