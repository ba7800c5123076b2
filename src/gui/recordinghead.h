#ifndef RECORDINGHEAD_H
#define RECORDINGHEAD_H

#include <QByteArray>
#include <QString>
#include <QStringList>

// The head of a measurement file as a viewer names it: the texts of the comment lines
// ("#") the file starts with, without the "#" and blanks, empty ones left out, up to the
// first line that is not a comment. start is the file's first bytes; a line cut off at
// its end is left out.
QStringList recordingHeadLines(const QByteArray &start);

// "<file name> — <first head line>", or the file name alone for a file without a head.
QString recordingTitle(const QString &fileName, const QStringList &headLines);

#endif
