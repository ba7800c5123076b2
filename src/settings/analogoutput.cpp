#include "analogoutput.h"

#include "modbus/registermap.h"

#include <cmath>

namespace
{

struct SourceCode {
    uint16_t code;
    const char *source;
    double scale;
    bool isSigned;
};

// Each code is the live register that carries the quantity at that scale.
const SourceCode sourceCodes[] = {
    {18, "kinematic Viscosity", 0.01, false},
    {26, "kinematic Viscosity", 0.1, false},
    {27, "kinematic Viscosity mapped", 0.1, false},
    {20, "dynamic Viscosity", 0.01, false},
    {30, "dynamic Viscosity", 0.1, false},
    {19, "Density", 0.1, false},
    {22, "Temperature", 0.01, true},
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
    return min / 0.01 < 65535 && max / 0.01 < 65535;
}

} // namespace

QString analogUnit(const QString &source)
{
    if (source == "kinematic Viscosity" || source == "kinematic Viscosity mapped")
        return "cSt";
    if (source == "dynamic Viscosity")
        return "mPas";
    if (source == "Density")
        return "kg/m³";
    if (source == "Temperature")
        return "°C";
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
    uint16_t code = 0;
    double scale = 1;
    if (source == "None")
        return QVector<uint16_t>{0, 0, 0};
    if (source != "Temperature" && (min < 0 || max < 0))
        return std::nullopt;

    if (source == "kinematic Viscosity") {
        if (fitsFineScale(min, max)) {
            code = 18;
            scale = 0.01;
        } else if (!firmwareAtLeast(firmwareDate, FirmwareGate::NuUint32)) {
            return std::nullopt;
        } else {
            code = 26;
            scale = 0.1;
        }
    } else if (source == "kinematic Viscosity mapped") {
        if (!firmwareAtLeast(firmwareDate, FirmwareGate::Mapping))
            return std::nullopt;
        code = 27;
        scale = 0.1;
    } else if (source == "dynamic Viscosity") {
        if (!firmwareAtLeast(firmwareDate, FirmwareGate::EtaRegister))
            return std::nullopt;
        if (fitsFineScale(min, max)) {
            code = 20;
            scale = 0.01;
        } else {
            code = 30;
            scale = 0.1;
        }
    } else if (source == "Density") {
        code = 19;
        scale = 0.1;
    } else if (source == "Temperature") {
        if (min > 300 || max > 300)
            return std::nullopt;
        code = 22;
        scale = 0.01;
    } else {
        return QVector<uint16_t>{0, 0, 0};
    }
    return QVector<uint16_t>{code, rawWord(min, scale), rawWord(max, scale)};
}
