#ifndef CSVLINE_H
#define CSVLINE_H

#include "livesample.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>

// One line of a measurement CSV file, formatted and parsed on bytes, without files or
// dialogs. Exports of millions of samples cannot afford QString per field, so the
// formatters write the exact text of QDateTime::toString and QString::number(value, 'f', n)
// straight into a buffer, and the parsers accept exactly what QDateTime::fromString,
// QString::toUInt and QString::toDouble accept: the forms the export writes take a fast
// path, anything else is handed to Qt itself.

// Upper bound of one formatted data line, line end included (fixed notation of the
// largest double takes 309 digits).
constexpr int maxCsvLineLength = 2048;

// The import refuses a longer line: measurement lines are a few dozen bytes, and a
// bounded line keeps the import's memory constant whatever the file holds.
constexpr int maxCsvImportLineLength = 64 * 1024;

extern const char csvDateTimeFormat[]; // "yyyy-MM-ddTHH:mm:ss.zzz"

// The line that names the columns, without its line end.
extern const char csvColumnHeader[];

// The title lines of every export, CSV and XLSX alike: "<applicationName> Data Export
// File" and "<companyName>, 2024".
QStringList exportTitleLines(const QString &applicationName, const QString &companyName);

// The four comment lines and the header line, each ending in "\n". Line breaks in the
// customization values are written as blanks, so the head is always five lines.
QByteArray csvHead(const QString &applicationName, const QString &companyName);

// Text files end their lines with CR LF on Windows, as a text-mode file device writes
// them there, and with LF elsewhere; the reader takes either.
enum class LineEnd { Lf, CrLf };
#ifdef Q_OS_WIN
constexpr LineEnd textFileLineEnd = LineEnd::CrLf;
#else
constexpr LineEnd textFileLineEnd = LineEnd::Lf;
#endif
// text with every "\n" written as lineEnd.
QByteArray withLineEnd(const QByteArray &text, LineEnd lineEnd);

// The formatters write at out and return the end of what they wrote.
char *formatCsvDateTime(char *out, const QDateTime &timestamp);
char *formatCsvFixed(char *out, double value, int decimals);
char *formatCsvLine(char *out, const LiveSample &sample);

// False for lines the import skips: empty ones, comments and the header.
bool isCsvDataLine(const char *begin, const char *end);

// Reads a data line (without its line end) into sample. Returns nullptr on success,
// otherwise why the line could not be read ("not enough columns", "could not read nu", ...).
// Six fields are the oldest layout, seven the older one, eight or more the current one.
const char *parseCsvLine(const char *begin, const char *end, LiveSample &sample);

QDateTime parseCsvDateTime(const char *begin, const char *end);
bool parseCsvUInt(const char *begin, const char *end, uint32_t &value);
bool parseCsvDouble(const char *begin, const char *end, double &value);
// The last four characters as a hexadecimal number, so "0x0a01" and "0a01" give 0x0a01.
bool parseCsvStatus(const char *begin, const char *end, uint16_t &value);

#endif
