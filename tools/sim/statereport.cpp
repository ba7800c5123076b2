#include "statereport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace
{

QJsonArray wordArray(const std::array<uint16_t, SensorRegisters::Count> &words)
{
    QJsonArray array;
    for (uint16_t word : words)
        array.append(int(word));
    return array;
}

QJsonValue number(double value)
{
    return std::isnan(value) ? QJsonValue(QJsonValue::Null) : QJsonValue(value);
}

QJsonObject lineObject(int address, const LineSettings &line)
{
    return QJsonObject{{QStringLiteral("address"), address},
                       {QStringLiteral("baud"), double(line.baudrate)},
                       {QStringLiteral("mode"), line.mode}};
}

} // namespace

QByteArray stateDocument(const SensorRegisters &registers, const SimStatus &status,
                         const SimCounters &counters)
{
    QJsonObject committed = lineObject(registers.committedAddress(), registers.committedLine());
    committed.insert(QStringLiteral("registers"), wordArray(registers.committedRegisters()));

    const QJsonObject counterObject{
        {QStringLiteral("requests"), double(counters.requests)},
        {QStringLiteral("replies"), double(counters.replies)},
        {QStringLiteral("exceptions"), double(counters.exceptions)},
        {QStringLiteral("ignoredOtherAddress"), double(counters.ignoredOtherAddress)},
        {QStringLiteral("ignoredLineSettings"), double(counters.ignoredLineSettings)},
        {QStringLiteral("ignoredRebooting"), double(counters.ignoredRebooting)},
        {QStringLiteral("invalidRequests"), double(counters.invalidRequests)},
        {QStringLiteral("injectedDrop"), double(counters.injectedDrop)},
        {QStringLiteral("injectedBadCrc"), double(counters.injectedBadCrc)},
        {QStringLiteral("injectedWrongAddress"), double(counters.injectedWrongAddress)},
        {QStringLiteral("injectedSplit"), double(counters.injectedSplit)},
        {QStringLiteral("injectedException"), double(counters.injectedException)},
        {QStringLiteral("injectedGarbage"), double(counters.injectedGarbage)},
        {QStringLiteral("frames"), double(counters.frames)},
        {QStringLiteral("reboots"), double(counters.reboots)}};

    QJsonObject state;
    state.insert(QStringLiteral("registers"), wordArray(registers.registers()));
    state.insert(QStringLiteral("unlocked"), registers.isUnlocked());
    state.insert(QStringLiteral("rebooting"), status.rebooting);
    state.insert(QStringLiteral("line"), lineObject(status.address, status.line));
    state.insert(QStringLiteral("committed"), committed);
    state.insert(QStringLiteral("counters"), counterObject);
    return QJsonDocument(state).toJson(QJsonDocument::Indented);
}

QByteArray frameLogLine(const LiveFrame &frame, const QDateTime &time)
{
    QJsonArray words;
    for (uint16_t word : frame.words)
        words.append(int(word));
    const QJsonObject line{{QStringLiteral("frame"), double(frame.frameNr)},
                           {QStringLiteral("time"), time.toUTC().toString(Qt::ISODateWithMs)},
                           {QStringLiteral("words"), words},
                           {QStringLiteral("nu"), number(frame.nu)},
                           {QStringLiteral("rho"), number(frame.rho)},
                           {QStringLiteral("T"), number(frame.T)},
                           {QStringLiteral("eta"), number(frame.eta)},
                           {QStringLiteral("nuUc"), number(frame.nuUc)},
                           {QStringLiteral("state"), int(frame.systemState)}};
    return QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
}
