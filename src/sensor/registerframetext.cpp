#include "registerframetext.h"

#include "modbusframe.h"
#include "registermap.h"
#include "registerrows.h"
#include "systemstatetext.h"
#include "wordconversion.h"

#include <QStringList>

#include <cmath>

namespace
{

struct ReadBlock {
    uint8_t firstReg;
    int count;
    const char *name;
};

const ReadBlock readBlocks[] = {
    {0, ReplyLength::Info, "read identity and configuration"},
    {Registers::LiveFirst, ReplyLength::Live, "read live block"},
    {Registers::MappingFirst, ReplyLength::Mapping, "read mapping"},
    {0, ReplyLength::DumpFirst, "read dump, first part"},
    {Registers::DumpSecondFirst, ReplyLength::DumpSecond, "read dump, second part"},
    {Registers::CalibrationFirst, ReplyLength::Calibration, "read calibration block"},
};

uint16_t wordAt(const QByteArray &bytes, int index)
{
    return uint16_t(uint8_t(bytes[index]) << 8 | uint8_t(bytes[index + 1]));
}

bool crcHolds(const QByteArray &frame)
{
    const int n = frame.size();
    return n >= 4 &&
           crc16(frame.left(n - 2)) == uint16_t(uint8_t(frame[n - 2]) | uint8_t(frame[n - 1]) << 8);
}

const ReadBlock *readBlockOf(const QByteArray &request)
{
    if (request.size() != ReadRequestBytes || !crcHolds(request) ||
        uint8_t(request[1]) != ModbusFunction::ReadHoldingRegisters)
        return nullptr;
    for (const ReadBlock &block : readBlocks) {
        if (wordAt(request, 2) == block.firstReg && wordAt(request, 4) == block.count)
            return &block;
    }
    return nullptr;
}

QString number(double value, int decimals, const QString &unit)
{
    return std::isnan(value) ? QString("none") : QString::number(value, 'f', decimals) + ' ' + unit;
}

QString liveText(const QVector<uint16_t> &words, const QDateTime &firmwareDate)
{
    const LiveSample sample = decodeLiveBlock(words, firmwareDate);
    return QString("ν %1, ρ %2, T %3, state %4")
        .arg(number(sample.nu, 2, "cSt"), number(sample.rho, 1, "kg/m³"), number(sample.T, 2, "°C"),
             systemStateText(sample.systemState, false));
}

QString identityText(const QVector<uint16_t> &words)
{
    const DeviceIdentity identity = decodeIdentity(words);
    const QString mode = lineModeText(words[Registers::ModbusMode]);
    return QString("serial %1, firmware %2, %3 baud, %4, address %5")
        .arg(formatSerialNumber(identity.serialNumber), formatDeviceDate(identity.firmwareDate))
        .arg(wordsToUint32(words.mid(Registers::ModbusBaudrate, 2)))
        .arg(mode.isEmpty() ? QString("mode %1").arg(words[Registers::ModbusMode]) : mode)
        .arg(words[Registers::ModbusAddress]);
}

QString mappingText(const QVector<uint16_t> &words)
{
    const MappingBlock mapping = decodeMappingBlock(words);
    return QString("k %1, α %2").arg(double(mapping.k)).arg(double(mapping.alpha));
}

QString writeText(uint8_t firstReg, const QVector<uint16_t> &words)
{
    if (words.size() == 1 && firstReg == Registers::Unlock)
        return words[0] == UnlockCode ? "unlock" : words[0] == LockCode ? "lock" : QString();
    if (words.size() == 1 && firstReg == Registers::Command) {
        switch (words[0]) {
        case DeviceCommand::CommitConfiguration:
            return "commit configuration";
        case DeviceCommand::CommitCalibration:
            return "commit calibration";
        case DeviceCommand::Reboot:
            return "reboot";
        default:
            return QString();
        }
    }
    if (words.size() == 2 && firstReg == Registers::ModbusBaudrate)
        return QString("set baud rate %1").arg(wordsToUint32(words));
    if (words.size() == 1 && firstReg == Registers::ModbusAddress)
        return QString("set address %1").arg(words[0]);
    if (words.size() == 1 && firstReg == Registers::ModbusMode)
        return QString("set mode %1").arg(lineModeText(words[0]));
    if (words.size() == 1 && firstReg == Registers::FilterLength)
        return QString("set filter length %1 s").arg(words[0]);
    if (words.size() == 3 &&
        (firstReg == Registers::AnalogOutput1 || firstReg == Registers::AnalogOutput2))
        return QString("set analog output %1").arg(firstReg == Registers::AnalogOutput1 ? 1 : 2);
    if (words.size() == ReplyLength::Mapping && firstReg == Registers::MappingFirst)
        return "write mapping: " + mappingText(words);
    if (words.size() == ReplyLength::Calibration && firstReg == Registers::CalibrationFirst)
        return "write calibration block";
    return QString();
}

} // namespace

QString registerRequestText(const QByteArray &request)
{
    if (const ReadBlock *block = readBlockOf(request))
        return block->name;
    if (request.size() < 9 || !crcHolds(request) ||
        uint8_t(request[1]) != ModbusFunction::WriteMultipleRegisters)
        return QString();
    const int count = wordAt(request, 4);
    if (request.size() != 9 + 2 * count || wordAt(request, 2) > 255)
        return QString();
    QVector<uint16_t> words;
    for (int i = 0; i < count; ++i)
        words.append(wordAt(request, 7 + 2 * i));
    return writeText(uint8_t(wordAt(request, 2)), words);
}

QString registerReplyText(const QByteArray &request, const QByteArray &reply,
                          const QDateTime &firmwareDate)
{
    const ReadBlock *block = readBlockOf(request);
    if (!block)
        return QString();
    const ModbusReply checked = checkReply(reply, uint8_t(request[0]));
    if (checked.status != ModbusReply::Valid ||
        checked.function != ModbusFunction::ReadHoldingRegisters)
        return QString();
    const QVector<uint16_t> words = decodeReadPayload(checked.payload);
    if (words.size() != block->count)
        return QString();
    const QString name = block->name;
    switch (block->count) {
    case ReplyLength::Live:
        return name + ": " + liveText(words, firmwareDate);
    case ReplyLength::Info:
        return name + ": " + identityText(words);
    case ReplyLength::Mapping:
        return name + ": " + mappingText(words);
    default:
        return name;
    }
}
