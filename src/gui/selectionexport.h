#ifndef SELECTIONEXPORT_H
#define SELECTIONEXPORT_H

#include <QString>

class MeasurementData;
class TimePlotForm;
class QWidget;

// A file's absolute path as the system writes it, for messages.
QString shownPath(const QString &fileName);

// Writes the samples of the selection dragged on plot, which shows store, to a CSV or
// XLSX file the user chooses; says in a box why when nothing is selected or writing
// fails. Returns the note on what was written, empty when nothing was.
QString exportSelection(QWidget *parent, MeasurementData &store, const TimePlotForm &plot);

#endif
