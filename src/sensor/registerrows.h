#ifndef REGISTERROWS_H
#define REGISTERROWS_H

#include <QDateTime>
#include <QString>
#include <QVector>

#include <cstdint>

// The registers of a dump (0..148) as rows of a table: where, what, the raw words and
// what they mean, decoded by the register map with the gates of the firmware date the
// same reading holds. A register the map does not name gets a row with its raw word only.
struct RegisterRow {
    uint8_t firstReg = 0;
    uint8_t lastReg = 0;
    QString name;  // empty for a register the map does not name
    QString raw;   // "0x0012 0xABCD"
    QString value; // with its unit; empty where there is nothing to decode

    QString registersText() const; // "2–3", or "1"
};

// The rows of a whole dump, the 149 words of registers 0..148; any other count gives none.
QVector<RegisterRow> registerRows(const QVector<uint16_t> &registers);

// Parity and stop bits of a mode as the connection panel names them: "none, 1" ... "odd, 2".
QString lineModeText(int mode);

// The rows as tab-separated text with a header line and the time of the reading in a
// column of its own, as "Copy" puts them on the clipboard.
QString registerRowsText(const QVector<RegisterRow> &rows, const QDateTime &readAt);

#endif
