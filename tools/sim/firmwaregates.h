#ifndef FIRMWAREGATES_H
#define FIRMWAREGATES_H

#include <QDate>
#include <QDateTime>
#include <QTime>

// The days from which the firmware delivers newer register formats. The tool
// compares the firmware date with local midnight of these days, and so does the
// simulator, so that both sides agree on every date.
namespace FirmwareGates
{
const QDate NuUint32(2023, 3, 20);    // nu in 24..25 and 26; analog source code 26
const QDate EtaRegister(2024, 2, 21); // eta in 20, 28..29 and 30; source codes 20 and 30
const QDate Mapping(2024, 10, 8);     // mapped nu in 27; source code 27

inline bool reached(const QDateTime &firmwareDate, const QDate &gate)
{
    return firmwareDate.isValid() && firmwareDate >= QDateTime(gate, QTime(0, 0), Qt::LocalTime);
}
} // namespace FirmwareGates

#endif
