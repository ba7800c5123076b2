#include "viewerwindow.h"
#include "ui_viewerwindow.h"

#include "recordinghead.h"
#include "selectionexport.h"
#include "settingsfile.h"
#include "timeplotform.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>

#include <algorithm>
#include <cmath>

namespace
{

// Enough for any head the program writes, and for a few lines of a foreign one.
const int headBytes = 64 * 1024;

QStringList headLinesOf(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QStringList();
    return recordingHeadLines(file.read(headBytes));
}

bool hasAnyValue(const QVector<double> &values)
{
    return std::any_of(values.begin(), values.end(),
                       [](double value) { return !std::isnan(value); });
}

} // namespace

ViewerWindow::ViewerWindow(QWidget *parent) : QWidget(parent, Qt::Window), ui(new Ui::ViewerWindow)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
}

ViewerWindow::~ViewerWindow()
{
    delete ui;
}

bool ViewerWindow::open(const QString &fileName, QWidget *opener)
{
    const qint64 fileSize = QFileInfo(fileName).size();
    QProgressDialog progress(tr("Opening %1").arg(QFileInfo(fileName).fileName()), tr("Cancel"), 0,
                             1000, opener);
    progress.setWindowTitle(tr("Open recording"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    QElapsedTimer sinceShown;
    sinceShown.start();
    bool canceled = false;
    const bool imported =
        store.importCsv(fileName, MeasurementData::UnendedLastLine::Read, [&](qint64 bytesRead) {
            // The dialog handles events when it is set; a few times a second is enough.
            if (sinceShown.elapsed() >= 50 && fileSize > 0) {
                sinceShown.restart();
                progress.setValue(int(std::min<qint64>(999, bytesRead * 1000 / fileSize)));
                canceled = progress.wasCanceled();
            }
            return !canceled;
        });
    progress.reset();
    if (canceled)
        return false;
    if (!imported) {
        QMessageBox::warning(opener, tr("Import"),
                             tr("Import failed, please check file format.") + "\n\n" +
                                 store.errorString(),
                             QMessageBox::Ok);
        return false;
    }

    const QStringList headLines = headLinesOf(fileName);
    setWindowTitle(recordingTitle(fileName, headLines));
    QString header = shownPath(fileName);
    for (const QString &line : headLines)
        header += "\n" + line;
    const QString format = "yyyy-MM-dd HH:mm:ss";
    if (store.timestamps.isEmpty())
        header += "\n" + tr("No samples.");
    else
        header += "\n" + tr("%1 samples, %2 to %3")
                             .arg(store.timestamps.size())
                             .arg(store.timestamps.first().toString(format),
                                  store.timestamps.last().toString(format));
    ui->label_header->setText(header);

    TimePlotForm *plot = ui->timePlot;
    plot->setMeasurementData(&store);
    plot->setVisableGraphs(hasAnyValue(store.nuUc) ? GraphFlag::All : GraphFlag::Default);
    // The whole recording in view to begin with.
    const qint64 spanMs =
        store.timestamps.isEmpty() ? 0 : store.timestamps.first().msecsTo(store.timestamps.last());
    plot->setIntervalTimeIndex(TimePlotForm::intervalIndexHolding(spanMs));
    return true;
}

ViewerWindow *ViewerWindow::openFile(const QString &fileName, QWidget *opener)
{
    auto *viewer = new ViewerWindow(opener ? opener->window() : nullptr);
    if (!viewer->open(fileName, opener)) {
        delete viewer;
        return nullptr;
    }
    viewer->show();
    return viewer;
}

void ViewerWindow::openWithDialog(QWidget *opener)
{
    SettingsFile settings;
    const QString fileName = QFileDialog::getOpenFileName(
        opener, tr("Open recording"), settings.workingDir(), tr("CSV files (*.csv)"));
    if (fileName.isEmpty())
        return;
    settings.setWorkingDirFromFile(fileName);
    openFile(fileName, opener);
}

void ViewerWindow::on_pushButton_exportSelection_clicked()
{
    const QString done = exportSelection(this, store, *ui->timePlot);
    if (!done.isEmpty())
        ui->label_status->setText(done);
}
