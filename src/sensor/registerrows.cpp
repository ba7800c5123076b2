#include "registerrows.h"

#include "analogoutput.h"
#include "livesample.h"
#include "registermap.h"
#include "systemstatetext.h"
#include "wordconversion.h"

#include <QStringList>

#include <cmath>
#include <functional>

namespace
{

QString hexWords(const QVector<uint16_t> &words)
{
    QStringList texts;
    for (uint16_t word : words)
        texts << QString("0x%1").arg(word, 4, 16, QChar('0')).toUpper().replace("0X", "0x");
    return texts.join(' ');
}

QString measured(double value, int decimals, const QString &unit)
{
    if (std::isnan(value))
        return "none";
    return QString::number(value, 'f', decimals) + ' ' + unit;
}

QString analogText(const QVector<uint16_t> &words)
{
    const AnalogOutputSetting setting = decodeAnalogOutput(words[0], words[1], words[2]);
    if (setting.source == "None")
        return QString("None (source %1)").arg(words[0]);
    const QString unit = analogUnit(setting.source);
    return QString("%1: %2 %4 at 4 mA, %3 %4 at 20 mA")
        .arg(setting.source, QString::number(setting.min), QString::number(setting.max), unit);
}

// A named block: its registers and how its words read, given the whole reading.
struct NamedBlock {
    uint8_t firstReg;
    uint8_t lastReg;
    QString name;
    std::function<QString(const QVector<uint16_t> &words, const QVector<uint16_t> &all)> decode;
};

QDateTime firmwareDateOf(const QVector<uint16_t> &all)
{
    return decodeIdentity(all).firmwareDate;
}

LiveSample liveOf(const QVector<uint16_t> &all)
{
    return decodeLiveBlock(all.mid(Registers::LiveFirst, ReplyLength::Live), firmwareDateOf(all));
}

QString notBefore(const QDate &gate)
{
    return QString("not used by firmware before %1").arg(gate.toString("yyyy-MM-dd"));
}

QString usedBefore(const QDate &gate)
{
    return QString("not used by firmware from %1").arg(gate.toString("yyyy-MM-dd"));
}

const QVector<NamedBlock> &namedBlocks()
{
    using Words = const QVector<uint16_t> &;
    static const QVector<NamedBlock> blocks{
        {Registers::HardwareRevision, Registers::HardwareRevision, "hardware revision",
         [](Words w, Words) { return QString::number(w[0]); }},
        {Registers::SerialNumber, Registers::SerialNumber + 1, "serial number",
         [](Words w, Words) { return formatSerialNumber(wordsToUint32(w)); }},
        {Registers::FirmwareDate, Registers::FirmwareDate + 1, "firmware date",
         [](Words, Words all) { return formatDeviceDate(firmwareDateOf(all)); }},
        {Registers::LiveFirst, Registers::LiveFirst + 1, "frame number",
         [](Words w, Words) { return QString::number(wordsToUint32(w)); }},
        {Registers::NuOld, Registers::NuOld, "nu, old format",
         [](Words, Words all) {
             return firmwareAtLeast(firmwareDateOf(all), FirmwareGate::NuUint32)
                        ? usedBefore(FirmwareGate::NuUint32)
                        : measured(liveOf(all).nu, 2, "cSt");
         }},
        {Registers::Rho, Registers::Rho, "rho",
         [](Words, Words all) { return measured(liveOf(all).rho, 1, "kg/m³"); }},
        {Registers::Temperature, Registers::Temperature, "T",
         [](Words, Words all) { return measured(liveOf(all).T, 2, "°C"); }},
        {Registers::SystemState, Registers::SystemState, "system state",
         [](Words w, Words) { return systemStateText(w[0], false); }},
        {Registers::Nu, Registers::Nu + 1, "nu",
         [](Words, Words all) {
             return firmwareAtLeast(firmwareDateOf(all), FirmwareGate::NuUint32)
                        ? measured(liveOf(all).nu, 3, "cSt")
                        : notBefore(FirmwareGate::NuUint32);
         }},
        {Registers::NuUc, Registers::NuUc, "nuUc (mapped)",
         [](Words, Words all) {
             return firmwareAtLeast(firmwareDateOf(all), FirmwareGate::Mapping)
                        ? measured(liveOf(all).nuUc, 1, "cSt")
                        : notBefore(FirmwareGate::Mapping);
         }},
        {Registers::Eta, Registers::Eta + 1, "eta",
         [](Words, Words all) {
             return firmwareAtLeast(firmwareDateOf(all), FirmwareGate::EtaRegister)
                        ? measured(liveOf(all).eta, 3, "mPas")
                        : notBefore(FirmwareGate::EtaRegister);
         }},
        {Registers::Unlock, Registers::Unlock, "unlock", [](Words, Words) { return QString(); }},
        {Registers::Command, Registers::Command, "command", [](Words, Words) { return QString(); }},
        {Registers::ModbusBaudrate, Registers::ModbusBaudrate + 1, "Modbus baud rate",
         [](Words w, Words) { return QString("%1 baud").arg(wordsToUint32(w)); }},
        {Registers::ModbusAddress, Registers::ModbusAddress, "Modbus address",
         [](Words w, Words) { return QString::number(w[0]); }},
        {Registers::ModbusMode, Registers::ModbusMode, "Modbus mode",
         [](Words w, Words) {
             const QString text = lineModeText(w[0]);
             return text.isEmpty() ? QString("unknown (%1)").arg(w[0]) : text;
         }},
        {Registers::FilterLength, Registers::FilterLength, "filter length",
         [](Words w, Words) { return QString("%1 s").arg(w[0]); }},
        {Registers::AnalogOutput1, Registers::AnalogOutput1 + 2, "analog output 1",
         [](Words w, Words) { return analogText(w); }},
        {Registers::AnalogOutput2, Registers::AnalogOutput2 + 2, "analog output 2",
         [](Words w, Words) { return analogText(w); }},
        {Registers::CalibrationDate, Registers::CalibrationDate + 1, "calibration date",
         [](Words, Words all) { return formatDeviceDate(decodeCalibrationDate(all)); }},
    };
    return blocks;
}

} // namespace

QString RegisterRow::registersText() const
{
    return firstReg == lastReg ? QString::number(firstReg)
                               : QString("%1–%2").arg(firstReg).arg(lastReg);
}

QVector<RegisterRow> registerRows(const QVector<uint16_t> &registers)
{
    QVector<RegisterRow> rows;
    if (registers.size() != Registers::CalibrationLast + 1)
        return rows;
    int reg = 0;
    const QVector<NamedBlock> &blocks = namedBlocks();
    auto block = blocks.begin();
    while (reg < registers.size()) {
        while (block != blocks.end() && block->firstReg < reg)
            ++block;
        RegisterRow row;
        row.firstReg = uint8_t(reg);
        if (block != blocks.end() && block->firstReg == reg) {
            const QVector<uint16_t> words = registers.mid(reg, block->lastReg - reg + 1);
            row.lastReg = block->lastReg;
            row.name = block->name;
            row.raw = hexWords(words);
            row.value = block->decode(words, registers);
        } else {
            row.lastReg = uint8_t(reg);
            if (reg >= Registers::CalibrationFirst && reg <= Registers::CalibrationLast)
                row.name = "calibration block";
            row.raw = hexWords({registers[reg]});
        }
        rows.append(row);
        reg = row.lastReg + 1;
    }
    return rows;
}

QString lineModeText(int mode)
{
    static const QStringList texts{"none, 1", "none, 2", "even, 1", "even, 2", "odd, 1", "odd, 2"};
    return mode >= 0 && mode < texts.size() ? texts[mode] : QString();
}

QString registerRowsText(const QVector<RegisterRow> &rows, const QDateTime &readAt)
{
    const QString time = readAt.toString("yyyy-MM-dd HH:mm:ss");
    QStringList lines{"Register\tName\tRaw\tValue\tRead at"};
    for (const RegisterRow &row : rows)
        lines << QStringList{row.registersText(), row.name, row.raw, row.value, time}.join('\t');
    return lines.join('\n') + '\n';
}
