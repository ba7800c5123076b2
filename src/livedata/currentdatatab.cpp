#include "currentdatatab.h"
#include "ui_currentdatatab.h"

#include "app/customization.h"
#include "app/settingsvalue.h"
#include "livedata/measurementdata.h"
#include "modbus/registermap.h"
#include "plot/selectionstatistics.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>

namespace
{

const char journalFileName[] = "recording-journal.csv";

// A name beside the journal for a recording the user chose not to restore.
QString setAsideName(const QDateTime &firstSample)
{
    const QString stem = "recording-journal-" + firstSample.toString("yyyy-MM-ddTHH-mm-ss");
    QString name = stem + ".csv";
    for (int i = 2; QFile::exists(name); ++i)
        name = QString("%1-%2.csv").arg(stem).arg(i);
    return name;
}

} // namespace

CurrentDataTab::CurrentDataTab(QWidget *parent)
    : QWidget(parent), ui(new Ui::CurrentDataTab), store(measurementData)
{
    ui->setupUi(this);
    ui->timePlot->setMeasurementData(store);

    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    settings.beginGroup("currentData");
    // A value that is not a number reads as the default; an index out of range is
    // ignored by the plot form. Only the five curves' bits make a bit set.
    ui->timePlot->setIntervalTimeIndex(settingsInteger(settings, "intervalTimeIndex", 1));
    ui->timePlot->setVisableGraphs(uint(settingsInteger(settings, "visableGraphs", 15, 0, 31)));
    settings.endGroup();
    journalEnabled = settings.value("recordingJournal", true).toBool();

    pollTimer.setTimerType(Qt::PreciseTimer);
    pollTimer.start(500);
    connect(&pollTimer, SIGNAL(timeout()), this, SLOT(pollData()));
    connect(ui->timePlot, SIGNAL(selectionChanged(QDateTime, QDateTime)), this,
            SIGNAL(selectionChanged(QDateTime, QDateTime)));
    connect(&journal, &RecordingJournal::writeFailed, this, &CurrentDataTab::reportJournalError);
    connect(&journal, &RecordingJournal::resumed, this, &CurrentDataTab::journalWriting);

    // Asked once the window is up: a journal left by a run that did not end cleanly.
    if (journalEnabled)
        QTimer::singleShot(0, this, &CurrentDataTab::openJournal);
}

CurrentDataTab::~CurrentDataTab()
{
    // A journal whose samples were all exported has done its job; one with samples
    // that were not is kept, so the next start offers them again.
    if (journal.isOpen()) {
        journal.close();
        if (store->timestamps.size() == exportedSamples)
            QFile::remove(journal.path());
    }

    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    settings.beginGroup("currentData");
    settings.setValue("intervalTimeIndex", ui->timePlot->intervalTimeIndex());
    settings.setValue("visableGraphs", ui->timePlot->visableGraphs());
    settings.endGroup();
    delete ui;
}

void CurrentDataTab::pollData()
{
    // The link drops the request while no sensor is connected.
    emit readRegisters(Registers::LiveFirst, Registers::LiveLast);
}

void CurrentDataTab::replyReceived(QVector<uint16_t> data)
{
    const std::optional<TimedSample> sample = sampler.take(data, deviceFirmwareDate);
    if (!sample)
        return;
    const LiveSample &values = sample->values;
    if (store->addSample(sample->timestamp, values.frameNr, values.systemState, values.T,
                         values.rho, values.nu, values.eta, values.nuUc))
        journal.append(sample->timestamp, values.frameNr, values.systemState, values.T, values.rho,
                       values.nu, values.eta, values.nuUc);
    ui->timePlot->refresh();
    emit showSystemState(values.systemState);
}

void CurrentDataTab::plotNow()
{
    ui->timePlot->refresh();
}

void CurrentDataTab::clear()
{
    store->clear();
    restartJournal();
    exportedSamples = 0;
    ui->timePlot->update();
}

void CurrentDataTab::on_pushButton_clear_clicked()
{
    const QMessageBox::StandardButton answer =
        QMessageBox::question(this, tr("Clear data"), tr("Are you sure?"),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    if (answer == QMessageBox::Yes)
        clear();
}

QString CurrentDataTab::exportFileName(const QString &title, const QString &filter,
                                       const QString &suffix)
{
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    const QString workingDir = settings.value("workingDir", QDir::homePath()).toString();
    QString fileName = QFileDialog::getSaveFileName(this, title, workingDir, filter);
    if (fileName.isEmpty())
        return QString();

    settings.setValue("workingDir", QFileInfo(fileName).absolutePath());
    if (QFileInfo(fileName).suffix() != suffix)
        fileName += "." + suffix;
    return fileName;
}

void CurrentDataTab::on_pushButton_export_clicked()
{
    const QString fileName = exportFileName(tr("Export .csv"), tr("CSV files (*.csv)"), "csv");
    if (fileName.isEmpty())
        return;
    const int count = store->timestamps.size();
    if (store->exportCsv(fileName))
        exportedSamples = count;
    else if (!store->lastExportCanceled()) // the user's own choice needs no box
        QMessageBox::warning(this, tr("Export"), tr("Export failed, error writing file."),
                             QMessageBox::Ok);
}

void CurrentDataTab::on_pushButton_exportXLSX_clicked()
{
    const QString fileName = exportFileName(tr("Export .xlsx"), tr("Excel files (*.xlsx)"), "xlsx");
    if (fileName.isEmpty())
        return;
    const int count = store->timestamps.size();
    if (store->exportXlsx(fileName))
        exportedSamples = count;
    else if (!store->lastExportCanceled()) // the user's own choice needs no box
        QMessageBox::warning(this, tr("Export"), tr("Export failed, error writing file."),
                             QMessageBox::Ok);
}

void CurrentDataTab::on_pushButton_exportSelection_clicked()
{
    const QString title = tr("Export selection");
    QDateTime left;
    QDateTime right;
    ui->timePlot->selection(left, right);
    if (!left.isValid() || !right.isValid() || !(left < right)) {
        QMessageBox::warning(this, title,
                             tr("Nothing is selected. Drag over the plot to select the samples "
                                "to export."),
                             QMessageBox::Ok);
        return;
    }
    const QPair<int, int> rows = rowsBetween(store->timestamps, left, right);
    if (rows.first >= rows.second) {
        QMessageBox::warning(this, title, tr("The selection holds no samples."), QMessageBox::Ok);
        return;
    }

    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    const QString workingDir = settings.value("workingDir", QDir::homePath()).toString();
    const QString csvFilter = tr("CSV files (*.csv)");
    const QString xlsxFilter = tr("Excel files (*.xlsx)");
    QString selectedFilter = csvFilter;
    QString fileName = QFileDialog::getSaveFileName(this, title, workingDir,
                                                    csvFilter + ";;" + xlsxFilter, &selectedFilter);
    if (fileName.isEmpty())
        return;
    settings.setValue("workingDir", QFileInfo(fileName).absolutePath());
    // The suffix typed decides the format; without one, the chosen filter does.
    const QString suffix = QFileInfo(fileName).suffix();
    const bool xlsx = suffix == "xlsx" || (suffix != "csv" && selectedFilter == xlsxFilter);
    if (suffix != (xlsx ? "xlsx" : "csv"))
        fileName += xlsx ? ".xlsx" : ".csv";

    const SampleRows selected{rows.first, rows.second - rows.first};
    const bool exported = xlsx ? store->exportXlsx(fileName, XlsxWorkbook::maxSheetRows, selected)
                               : store->exportCsv(fileName, selected);
    if (!exported && !store->lastExportCanceled())
        QMessageBox::warning(this, tr("Export"), tr("Export failed, error writing file."),
                             QMessageBox::Ok);
}

void CurrentDataTab::on_pushButton_import_clicked()
{
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    const QString workingDir = settings.value("workingDir", QDir::homePath()).toString();
    const QString fileName =
        QFileDialog::getOpenFileName(this, tr("Import .csv"), workingDir, tr("CSV files (*.csv)"));
    if (fileName.isEmpty())
        return;
    settings.setValue("workingDir", QFileInfo(fileName).absolutePath());

    // The import empties the store first, even when the file turns out bad; samples that
    // were recorded but not exported then live on only in the journal.
    const bool recordingUnexported = store->timestamps.size() > exportedSamples;
    const QDateTime firstSample = recordingUnexported ? store->timestamps.first() : QDateTime();
    const bool imported = store->importCsv(fileName);
    // The imported samples are safe in their file; the journal starts afresh.
    if (recordingUnexported)
        setJournalAside(firstSample);
    else
        restartJournal();
    exportedSamples = store->timestamps.size();
    if (!imported)
        QMessageBox::warning(this, tr("Import"),
                             tr("Import failed, please check file format.") + "\n\n" +
                                 store->errorString(),
                             QMessageBox::Ok);
    ui->timePlot->refresh();
}

void CurrentDataTab::setJournalAside(const QDateTime &firstSample)
{
    if (!journal.isOpen())
        return;
    const QString path = journal.path();
    journal.close();
    moveJournalAside(path, firstSample);
    startJournal(path);
}

void CurrentDataTab::restartJournal()
{
    if (journal.isOpen()) {
        journal.restart();
    } else if (journalEnabled && !journal.path().isEmpty()) {
        // One that could not be opened before is tried again.
        startJournal(journal.path());
        journal.restart();
    }
}

void CurrentDataTab::startJournal(const QString &path)
{
    if (journal.open(path))
        emit journalWriting();
    else
        reportJournalError(QString("cannot open %1: %2").arg(path, journal.errorString()));
}

bool CurrentDataTab::moveJournalAside(const QString &path, const QDateTime &firstSample)
{
    const QString name = setAsideName(firstSample);
    if (!QFile::rename(path, name)) {
        reportJournalError(QString("cannot rename %1 to %2").arg(path, name));
        return false;
    }
    qDebug() << "CurrentDataTab: recording journal kept as" << name;
    return true;
}

void CurrentDataTab::openJournal()
{
    const QString path = QDir::current().absoluteFilePath(journalFileName);
    // Asked at start-up, while the store is still empty: the journal is read into it
    // once, and emptied again if the user does not want it back.
    if (QFile::exists(path) && store->timestamps.isEmpty()) {
        store->importCsv(path, MeasurementData::UnendedLastLine::Skip);
        if (!store->timestamps.isEmpty()) {
            const QString format = "yyyy-MM-dd HH:mm:ss";
            const QDateTime firstSample = store->timestamps.first();
            const QMessageBox::StandardButton answer = QMessageBox::question(
                this, tr("Recording"),
                tr("A recording of %1 samples (%2 to %3) was not exported. Restore it?")
                    .arg(store->timestamps.size())
                    .arg(firstSample.toString(format), store->timestamps.last().toString(format)),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
            if (answer == QMessageBox::Yes) {
                ui->timePlot->refresh();
            } else {
                store->clear();
                if (!moveJournalAside(path, firstSample))
                    return;
            }
        }
    }
    startJournal(path);
}

void CurrentDataTab::reportJournalError(const QString &error)
{
    qWarning().noquote() << "CurrentDataTab: recording journal:" << error;
    emit journalFailed("Recording journal error: " + error);
}
