#ifndef SELECTIONEXPORT_H
#define SELECTIONEXPORT_H

#include <QString>

#include <functional>

class MeasurementData;
class TimePlotForm;
class QWidget;

// A file's absolute path as the system writes it, for messages.
QString shownPath(const QString &fileName);

// Writes the samples of the selection dragged on plot, which shows store, to a CSV or
// XLSX file the user chooses; says in a box why when nothing is selected or writing
// fails. refused, when given, may turn down the chosen file (saying why) before anything is
// written. Returns the note on what was written, empty when nothing was.
QString exportSelection(QWidget *parent, MeasurementData &store, const TimePlotForm &plot,
                        const std::function<bool(const QString &)> &refused = {});

#endif
