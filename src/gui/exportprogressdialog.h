#ifndef EXPORTPROGRESSDIALOG_H
#define EXPORTPROGRESSDIALOG_H

#include "measurementdata.h"

#include <QCoreApplication>
#include <QProgressDialog>

// The dialog that shows an export of the store: window-modal, without a parent, and
// only when the export takes longer than a second. Cancel stops the rows; while a
// workbook is compressed, which cannot be stopped, it says so and the event loop goes
// on without taking the user's input.
class ExportProgressDialog
{
    Q_DECLARE_TR_FUNCTIONS(ExportProgressDialog)

public:
    // The store's exports shown in a dialog; they return what the store's return.
    static bool exportCsv(MeasurementData &store, const QString &fileName, SampleRows rows = {});
    static bool exportXlsx(MeasurementData &store, const QString &fileName, SampleRows rows = {});

    explicit ExportProgressDialog(const QString &label);
    // Tells this dialog what an export does.
    ExportProgress progress();

private:
    bool rowsWritten(int written, int total);
    void compressing(QThread &worker);

    QProgressDialog dialog;
};

#endif
