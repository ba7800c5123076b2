#include "exportprogressdialog.h"

#include <QEventLoop>
#include <QPushButton>
#include <QThread>

bool ExportProgressDialog::exportCsv(MeasurementData &store, const QString &fileName,
                                     SampleRows rows)
{
    ExportProgressDialog shown(tr("CSV Export"));
    return store.exportCsv(fileName, rows, shown.progress());
}

bool ExportProgressDialog::exportXlsx(MeasurementData &store, const QString &fileName,
                                      SampleRows rows)
{
    ExportProgressDialog shown(tr("XLSX Export"));
    return store.exportXlsx(fileName, XlsxWorkbook::maxSheetRows, rows, shown.progress());
}

ExportProgressDialog::ExportProgressDialog(const QString &label)
    : dialog(label, tr("Cancel"), 0, 100)
{
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(1000);
}

ExportProgress ExportProgressDialog::progress()
{
    return {[this](int written, int total) { return rowsWritten(written, total); },
            [this](QThread &worker) { compressing(worker); }};
}

bool ExportProgressDialog::rowsWritten(int written, int total)
{
    if (written == 0)
        dialog.setMaximum(total);
    dialog.setValue(written);
    // Before the dialog appears, setValue() runs no events; timers and repaints are served
    // here then, while the user's clicks wait until the dialog is up or the export is done.
    if (written > 0 && !dialog.isVisible())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return !dialog.wasCanceled();
}

void ExportProgressDialog::compressing(QThread &worker)
{
    dialog.setLabelText(dialog.labelText() + "\n" + tr("Compressing the workbook..."));
    dialog.setRange(0, 0);
    if (auto *cancelButton = dialog.findChild<QPushButton *>())
        cancelButton->setEnabled(false);
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    if (!worker.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
}
