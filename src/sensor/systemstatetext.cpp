#include "systemstatetext.h"

#include <QMap>

namespace
{

const QMap<uint16_t, QString> &systemStateTable()
{
    static const QMap<uint16_t, QString> table = {
        {0x0000, "normal"},
        {0x0001, "no resonance detected"},
        {0x0002, "out of range"},
        {0x0004, "frequency controller error"},
        {0x0008, "noise error"},
        {0x0010, "invalid configuration"},
        {0x0020, "resonator error"},
        {0x0040, "temperature sensor error"},
        {0x0080, "hardware error"},
        {0x0100, "firmware error"},
        {0x0400, "supply voltage error"},
        {0x0800, "internal temperature error"},
    };
    return table;
}

} // namespace

QString systemStateText(uint16_t state, bool multiline)
{
    const QMap<uint16_t, QString> &table = systemStateTable();
    QString text;
    for (int bit = 0; bit < 16; ++bit) {
        const uint16_t value = uint16_t(1u << bit);
        if (!(state & value))
            continue;
        if (!text.isEmpty())
            text += multiline ? "\n" : ", ";
        text += table.value(value);
    }
    if (text.isEmpty())
        text = table.value(0);
    return text;
}

QString systemStateLine(uint16_t state, bool live)
{
    const QString text = systemStateText(state, false);
    return live ? "Current System State: " + text : "Last System State seen: " + text;
}
