#include "liveencoding.h"

#include "firmwaregates.h"

#include <cmath>
#include <limits>

namespace
{

constexpr uint16_t NoUint16 = 0xFFFF;
constexpr uint16_t NoInt16 = 0x7FFF;
constexpr uint32_t NoUint32 = 0xFFFFFFFF;
constexpr uint16_t NoResonance = 0x0001;
const double NaN = std::numeric_limits<double>::quiet_NaN();

// Values beyond the format saturate just below the no-value marker.
uint16_t unsigned16(double value, double scale)
{
    const double raw = std::round(value / scale);
    return uint16_t(std::isfinite(raw) ? std::fmin(std::fmax(raw, 0), NoUint16 - 1) : NoUint16);
}

uint32_t unsigned32(double value, double scale)
{
    const double raw = std::round(value / scale);
    return uint32_t(std::isfinite(raw) ? std::fmin(std::fmax(raw, 0), NoUint32 - 1.0) : NoUint32);
}

uint16_t signed16(double value, double scale)
{
    const double raw = std::fmin(std::fmax(std::round(value / scale), -32768), NoInt16 - 1);
    return uint16_t(int16_t(raw));
}

} // namespace

LiveFrame encodeLiveFrame(uint32_t frameNr, const Measurement &m, const QDateTime &firmwareDate,
                          float k, float alpha)
{
    const bool nuUint32 = FirmwareGates::reached(firmwareDate, FirmwareGates::NuUint32);
    const bool etaRegister = FirmwareGates::reached(firmwareDate, FirmwareGates::EtaRegister);
    const bool mapping = FirmwareGates::reached(firmwareDate, FirmwareGates::Mapping);
    const bool resonance = !(m.systemState & NoResonance);
    const double nuUc = double(k) * std::pow(m.nu, double(alpha));

    QVector<uint16_t> w(15, 0);
    const auto put32 = [&w](int index, uint32_t value) {
        w[index] = uint16_t(value >> 16);
        w[index + 1] = uint16_t(value & 0xFFFF);
    };
    put32(0, frameNr);
    w[2] = resonance ? unsigned16(m.nu, 0.01) : NoUint16;
    w[3] = resonance ? unsigned16(m.rho, 0.1) : NoUint16;
    w[4] = resonance && etaRegister ? unsigned16(m.eta, 0.01) : NoUint16;
    w[6] = signed16(m.T, 0.01);
    w[7] = m.systemState;
    put32(8, resonance && nuUint32 ? unsigned32(m.nu, 0.001) : NoUint32);
    w[10] = resonance && nuUint32 ? unsigned16(m.nu, 0.1) : NoUint16;
    w[11] = resonance && mapping ? unsigned16(nuUc, 0.1) : NoUint16;
    put32(12, resonance && etaRegister ? unsigned32(m.eta, 0.001) : NoUint32);
    w[14] = resonance && etaRegister ? unsigned16(m.eta, 0.1) : NoUint16;

    LiveFrame frame;
    frame.frameNr = frameNr;
    frame.words = w;
    frame.systemState = m.systemState;
    // Read back by the rules the tool decodes with: raw value times scale, in double.
    const uint32_t nu32 = uint32_t(w[8]) << 16 | w[9];
    const uint32_t eta32 = uint32_t(w[12]) << 16 | w[13];
    if (nuUint32)
        frame.nu = nu32 == NoUint32 ? NaN : nu32 * 0.001;
    else
        frame.nu = w[2] == NoUint16 ? NaN : w[2] * 0.01;
    frame.rho = w[3] == NoUint16 ? NaN : w[3] * 0.1;
    frame.T = w[6] == NoInt16 ? NaN : int16_t(w[6]) * 0.01;
    if (etaRegister)
        frame.eta = eta32 == NoUint32 ? NaN : eta32 * 0.001;
    else
        frame.eta = frame.nu * frame.rho / 1000;
    frame.nuUc = mapping && w[11] != NoUint16 ? w[11] * 0.1 : NaN;
    return frame;
}
