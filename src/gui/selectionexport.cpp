#include "selectionexport.h"

#include "exportprogressdialog.h"
#include "measurementdata.h"
#include "selectionstatistics.h"
#include "settingsfile.h"
#include "timeplotform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace
{

QString tr(const char *text)
{
    return QCoreApplication::translate("CurrentDataTab", text);
}

} // namespace

QString shownPath(const QString &fileName)
{
    return QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath());
}

QString exportSelection(QWidget *parent, MeasurementData &store, const TimePlotForm &plot,
                        const std::function<bool(const QString &)> &refused)
{
    const QString title = tr("Export selection");
    QDateTime left;
    QDateTime right;
    plot.selection(left, right);
    if (!left.isValid() || !right.isValid() || !(left < right)) {
        QMessageBox::warning(parent, title,
                             tr("Nothing is selected. Drag over the plot to select the samples "
                                "to export."),
                             QMessageBox::Ok);
        return QString();
    }
    const QPair<int, int> rows = rowsBetween(store.timestamps, left, right);
    if (rows.first >= rows.second) {
        QMessageBox::warning(parent, title, tr("The selection holds no samples."), QMessageBox::Ok);
        return QString();
    }

    SettingsFile settings;
    const QString workingDir = settings.workingDir();
    const QString csvFilter = tr("CSV files (*.csv)");
    const QString xlsxFilter = tr("Excel files (*.xlsx)");
    QString selectedFilter = csvFilter;
    QString fileName = QFileDialog::getSaveFileName(parent, title, workingDir,
                                                    csvFilter + ";;" + xlsxFilter, &selectedFilter);
    if (fileName.isEmpty())
        return QString();
    settings.setWorkingDirFromFile(fileName);
    // The suffix typed decides the format; without one, the chosen filter does.
    const QString suffix = QFileInfo(fileName).suffix();
    const bool xlsx = suffix == "xlsx" || (suffix != "csv" && selectedFilter == xlsxFilter);
    if (suffix != (xlsx ? "xlsx" : "csv"))
        fileName += xlsx ? ".xlsx" : ".csv";
    if (refused && refused(fileName))
        return QString();

    const SampleRows selected{rows.first, rows.second - rows.first};
    const bool exported = xlsx ? ExportProgressDialog::exportXlsx(store, fileName, selected)
                               : ExportProgressDialog::exportCsv(store, fileName, selected);
    if (exported)
        return tr("Exported %1 samples to %2").arg(selected.count).arg(shownPath(fileName));
    if (!store.lastExportCanceled())
        QMessageBox::warning(parent, tr("Export"),
                             tr("Export failed, error writing file.") + "\n\n" +
                                 store.errorString(),
                             QMessageBox::Ok);
    return QString();
}
