#include "analogoutput.h"

#include "registermap.h"

#include <cmath>

namespace
{

constexpr double fineScale = 0.01;

struct SourceCode {
    uint16_t code;
    const char *source;
    const char *unit;
    double scale;
    bool isSigned;
    const QDate *gate; // the firmware that brought the code; none: every firmware
};

// Each code is the live register that carries the quantity at that scale. Where a
// quantity has two, the finer comes first and is taken while the limits fit it.
const SourceCode sourceCodes[] = {
    {18, "kinematic Viscosity", "cSt", fineScale, false, nullptr},
    {26, "kinematic Viscosity", "cSt", 0.1, false, &FirmwareGate::NuUint32},
    {27, "kinematic Viscosity mapped", "cSt", 0.1, false, &FirmwareGate::Mapping},
    {20, "dynamic Viscosity", "mPas", fineScale, false, &FirmwareGate::EtaRegister},
    {30, "dynamic Viscosity", "mPas", 0.1, false, &FirmwareGate::EtaRegister},
    {19, "Density", "kg/m³", 0.1, false, nullptr},
    {22, "Temperature", "°C", fineScale, true, nullptr},
};

const SourceCode *findCode(uint16_t code)
{
    for (const SourceCode &entry : sourceCodes) {
        if (entry.code == code)
            return &entry;
    }
    return nullptr;
}

// Rounded half away from zero, stored as a 16-bit word (two's complement below 0).
uint16_t rawWord(double value, double scale)
{
    return uint16_t(int32_t(std::round(value / scale)));
}

bool fitsFineScale(double min, double max)
{
    return min / fineScale < 65535 && max / fineScale < 65535;
}

} // namespace

QString analogUnit(const QString &source)
{
    for (const SourceCode &entry : sourceCodes) {
        if (source == entry.source)
            return entry.unit;
    }
    return "-";
}

AnalogOutputSetting decodeAnalogOutput(uint16_t code, uint16_t raw4, uint16_t raw20)
{
    const SourceCode *entry = findCode(code);
    if (!entry)
        return {"None", 0, 0};
    if (entry->isSigned)
        return {entry->source, int16_t(raw4) * entry->scale, int16_t(raw20) * entry->scale};
    return {entry->source, raw4 * entry->scale, raw20 * entry->scale};
}

std::optional<QVector<uint16_t>> encodeAnalogOutput(const QString &source, double min, double max,
                                                    const QDateTime &firmwareDate)
{
    if (source == "None")
        return QVector<uint16_t>{0, 0, 0};
    if (source != "Temperature" && (min < 0 || max < 0))
        return std::nullopt;
    if (source == "Temperature" && (min > 300 || max > 300))
        return std::nullopt;

    for (const SourceCode &entry : sourceCodes) {
        // Temperature has a single code; its limit of 300 °C keeps it within the word.
        const bool fits = entry.isSigned || entry.scale != fineScale || fitsFineScale(min, max);
        if (source != entry.source || !fits)
            continue;
        if (entry.gate && !firmwareAtLeast(firmwareDate, *entry.gate))
            return std::nullopt;
        return QVector<uint16_t>{entry.code, rawWord(min, entry.scale), rawWord(max, entry.scale)};
    }
    return QVector<uint16_t>{0, 0, 0};
}
