#include "currentdatatab.h"
#include "ui_currentdatatab.h"

#include "customization.h"
#include "exportprogressdialog.h"
#include "keptrecording.h"
#include "measurementdata.h"
#include "registermap.h"
#include "currentvalueswindow.h"
#include "selectionexport.h"
#include "selectionstatistics.h"
#include "settingsfile.h"
#include "settingsvalue.h"
#include "timeplotform.h"
#include "viewerwindow.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace
{

const char journalFileName[] = "recording-journal.csv";

QString journalPath()
{
    return QDir::current().absoluteFilePath(journalFileName);
}

} // namespace

CurrentDataTab::CurrentDataTab(QWidget *parent)
    : QWidget(parent), ui(new Ui::CurrentDataTab), store(measurementData)
{
    ui->setupUi(this);
    ui->timePlot->setMeasurementData(store);

    SettingsFile settings;
    settings.beginGroup("currentData");
    // A value that is not a number reads as the default; an index out of range is
    // ignored by the plot form. Only the five curves' bits make a bit set.
    ui->timePlot->setIntervalTimeIndex(settingsInteger(settings, "intervalTimeIndex", 1));
    ui->timePlot->setVisableGraphs(
        uint(settingsInteger(settings, "visableGraphs", GraphFlag::Default, 0, GraphFlag::All)));
    settings.endGroup();
    const bool journalEnabled = settings.value("recordingJournal", true).toBool();

    pollTimer.setTimerType(Qt::PreciseTimer);
    pollTimer.start(LivePollIntervalMs);
    connect(&pollTimer, SIGNAL(timeout()), this, SLOT(pollData()));
    connect(ui->timePlot, SIGNAL(selectionChanged(QDateTime, QDateTime)), this,
            SIGNAL(selectionChanged(QDateTime, QDateTime)));
    connect(ui->timePlot, SIGNAL(statusMessage(QString)), this, SIGNAL(statusMessage(QString)));
    connect(&journal, &RecordingJournal::writeFailed, this, &CurrentDataTab::reportJournalError);
    connect(&journal, &RecordingJournal::resumed, this, &CurrentDataTab::journalWriting);
    connect(&journal, &RecordingJournal::started, this, &CurrentDataTab::journalWriting);
    connect(&journal, &RecordingJournal::fileError, this, &CurrentDataTab::reportJournalError);

    // Asked once the window is up: a journal left by a run that did not end cleanly.
    if (journalEnabled)
        QTimer::singleShot(0, this, &CurrentDataTab::openJournal);
}

CurrentDataTab::~CurrentDataTab()
{
    // A journal whose samples were all exported has done its job; one with samples
    // that were not is kept, so the next start offers them again.
    if (journal.isOpen()) {
        if (store->timestamps.size() == exportedSamples)
            journal.remove();
        else
            journal.close();
    }

    SettingsFile settings;
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
    const std::optional<LiveSample> sample = sampler.take(data, deviceFirmwareDate);
    if (!sample)
        return;
    if (store->addSample(*sample))
        journal.append(*sample);
    ui->timePlot->refresh();
    emit showSystemState(sample->systemState);
}

void CurrentDataTab::plotNow()
{
    ui->timePlot->refresh();
}

void CurrentDataTab::clear()
{
    store->clear();
    journal.startOver();
    exportedSamples = 0;
    recordingFile.clear();
    ui->timePlot->update();
}

void CurrentDataTab::showLinkState(LinkState state)
{
    sensorConnected = state == LinkState::Connected;
}

void CurrentDataTab::on_pushButton_clear_clicked()
{
    // Samples that no file holds are kept in one before they go.
    const int unexported = unexportedSamples(*store, exportedSamples);
    QString text = tr("Are you sure?");
    QString keptName;
    if (unexported > 0 && journal.isOpen()) {
        keptName = RecordingJournal::asideName(journalPath(), store->timestamps.first());
        text += "\n\n" + tr("%1 samples have not been exported. They will be kept in %2.")
                             .arg(unexported)
                             .arg(shownPath(keptName));
    } else if (unexported > 0) {
        text += "\n\n" + tr("%1 samples have not been exported. Without the recording journal "
                            "they will be lost.")
                             .arg(unexported);
    }
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr("Clear data"), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    if (answer != QMessageBox::Yes)
        return;
    if (!keptName.isEmpty()) {
        QString error;
        if (!keepRecording(keptName, error)) {
            QMessageBox::warning(this, tr("Clear data"),
                                 tr("Nothing was cleared: the samples could not be kept in %1.")
                                         .arg(shownPath(keptName)) +
                                     "\n\n" + error,
                                 QMessageBox::Ok);
            return;
        }
        emit statusMessage(tr("Cleared; the recording (%1 samples) is kept in %2")
                               .arg(store->timestamps.size())
                               .arg(shownPath(keptName)));
    }
    clear();
}

bool CurrentDataTab::keepRecording(const QString &keptName, QString &error)
{
    // A journal that took every sample of the store since it was started keeps the
    // recording as it is, moved aside. Whatever file keeps it is read back before it is named.
    if (exportedSamples == 0 && journal.samplesWritten() == store->timestamps.size() &&
        journal.setAside(keptName) == keptName && holdsRecording(*store, keptName, error))
        return true;
    return ::keepRecording(*store, keptName, error);
}

bool CurrentDataTab::refuseJournalAsTarget(const QString &fileName)
{
    if (!journal.isOpen() || !isSameFile(fileName, journal.path()))
        return false;
    QMessageBox::warning(this, tr("Export"),
                         tr("Export failed, error writing file.") + "\n\n" +
                             tr("%1 is the recording journal, which keeps the live samples as "
                                "they are taken; it stays as it is. Please choose another name.")
                                 .arg(shownPath(fileName)),
                         QMessageBox::Ok);
    return true;
}

QString CurrentDataTab::exportFileName(const QString &title, const QString &filter,
                                       const QString &suffix)
{
    SettingsFile settings;
    const QString workingDir = settings.workingDir();
    QString fileName = QFileDialog::getSaveFileName(this, title, workingDir, filter);
    if (fileName.isEmpty())
        return QString();

    settings.setWorkingDirFromFile(fileName);
    if (QFileInfo(fileName).suffix() != suffix)
        fileName += "." + suffix;
    return fileName;
}

void CurrentDataTab::on_pushButton_export_clicked()
{
    const QString fileName = exportFileName(tr("Export .csv"), tr("CSV files (*.csv)"), "csv");
    if (!fileName.isEmpty())
        exportTo(fileName, &ExportProgressDialog::exportCsv);
}

void CurrentDataTab::on_pushButton_exportXLSX_clicked()
{
    const QString fileName = exportFileName(tr("Export .xlsx"), tr("Excel files (*.xlsx)"), "xlsx");
    if (!fileName.isEmpty())
        exportTo(fileName, &ExportProgressDialog::exportXlsx);
}

void CurrentDataTab::exportTo(const QString &fileName, Exporter exporter)
{
    if (refuseJournalAsTarget(fileName))
        return;
    const int count = store->timestamps.size();
    if (exporter(*store, fileName, {})) {
        exportedSamples = count;
        recordingFile = fileName;
        emit statusMessage(tr("Exported %1 samples to %2").arg(count).arg(shownPath(fileName)));
        return;
    }
    if (!store->lastExportCanceled()) // the user's own choice needs no box
        QMessageBox::warning(this, tr("Export"),
                             tr("Export failed, error writing file.") + "\n\n" +
                                 store->errorString(),
                             QMessageBox::Ok);
}

void CurrentDataTab::on_pushButton_exportSelection_clicked()
{
    const QString done = exportSelection(this, *store, *ui->timePlot, [this](const QString &file) {
        return refuseJournalAsTarget(file);
    });
    if (!done.isEmpty())
        emit statusMessage(done);
}

void CurrentDataTab::on_pushButton_openRecording_clicked()
{
    ViewerWindow::openWithDialog(this);
}

void CurrentDataTab::on_pushButton_currentValues_clicked()
{
    if (!currentValues) {
        TimePlotForm *plot = ui->timePlot;
        currentValues = new CurrentValuesWindow(
            *store, [plot] { return plot->visableGraphs(); }, this);
    }
    currentValues->show();
    currentValues->raise();
    currentValues->activateWindow();
}

void CurrentDataTab::on_pushButton_import_clicked()
{
    SettingsFile settings;
    const QString workingDir = settings.workingDir();
    const QString fileName =
        QFileDialog::getOpenFileName(this, tr("Import .csv"), workingDir, tr("CSV files (*.csv)"));
    if (fileName.isEmpty())
        return;
    settings.setWorkingDirFromFile(fileName);

    // A file that cannot be read is refused by the import before it changes anything;
    // there is nothing to ask then, and the recording and its journal stay as they are.
    const QFileInfo file(fileName);
    if (!file.isFile() || !file.isReadable()) {
        if (!store->importCsv(fileName))
            QMessageBox::warning(this, tr("Import"),
                                 tr("Import failed, please check file format.") + "\n\n" +
                                     store->errorString(),
                                 QMessageBox::Ok);
        return;
    }

    // Samples that no file holds are kept in one of their own before the import replaces
    // them; when they cannot be, nothing is imported.
    const int previousCount = store->timestamps.size();
    const int unexported = unexportedSamples(*store, exportedSamples);
    const QString keptName =
        unexported > 0 && journal.isOpen()
            ? RecordingJournal::asideName(journalPath(), store->timestamps.first())
            : QString();
    if (unexported > 0 && !mayReplaceRecording(fileName, keptName))
        return;
    QString previousRecording = unexported > 0 ? QString() : recordingFile;
    if (!keptName.isEmpty()) {
        QString error;
        if (!keepRecording(keptName, error)) {
            QMessageBox::warning(this, tr("Import"),
                                 tr("%1 was not imported: the recording could not be kept in %2.")
                                         .arg(shownPath(fileName), shownPath(keptName)) +
                                     "\n\n" + error,
                                 QMessageBox::Ok);
            return;
        }
        previousRecording = keptName;
    }

    const bool imported = store->importCsv(fileName);
    journal.startOver();
    exportedSamples = store->timestamps.size();
    recordingFile = fileName;
    ui->timePlot->refresh();

    QString kept;
    if (previousCount > 0 && !previousRecording.isEmpty())
        kept = tr("The previous recording (%1 samples) is kept in %2.")
                   .arg(previousCount)
                   .arg(shownPath(previousRecording));
    if (imported) {
        QString text =
            tr("Imported %1 samples from %2").arg(exportedSamples).arg(shownPath(fileName));
        if (!keptName.isEmpty())
            text += ". " + kept;
        if (sensorConnected)
            text += (keptName.isEmpty() ? ". " : " ") +
                    tr("Live samples from the connected sensor continue after the imported ones.");
        emit statusMessage(text);
        return;
    }
    QString text = tr("Import failed, please check file format.") + "\n\n" + store->errorString();
    if (!kept.isEmpty())
        text += "\n\n" + kept;
    QMessageBox::warning(this, tr("Import"), text, QMessageBox::Ok);
}

bool CurrentDataTab::mayReplaceRecording(const QString &fileName, const QString &asideName)
{
    const int unexported = store->timestamps.size() - exportedSamples;
    QString text = tr("The recording holds %1 samples that were not exported. Importing %2 "
                      "replaces the recording.")
                       .arg(unexported)
                       .arg(shownPath(fileName));
    if (journal.isOpen())
        text += " " + tr("The recording will be kept in %1.").arg(shownPath(asideName));
    else
        text += " " + tr("Without the recording journal these samples will be lost.");
    text += "\n\n" + tr("Import anyway?");
    return QMessageBox::question(this, tr("Import"), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::NoButton) == QMessageBox::Yes;
}

void CurrentDataTab::openJournal()
{
    const QString path = journalPath();
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
                if (!journal.moveAside(path, RecordingJournal::asideName(path, firstSample)))
                    return;
            }
        }
    }
    journal.start(path);
}

void CurrentDataTab::reportJournalError(const QString &error)
{
    qWarning().noquote() << "CurrentDataTab: recording journal:" << error;
    emit journalFailed("Recording journal error: " + error);
}
