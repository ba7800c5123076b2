#ifndef CURRENTDATATAB_H
#define CURRENTDATATAB_H

#include "linkstate.h"
#include "livesampler.h"
#include "recordingjournal.h"

#include <QDateTime>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <cstdint>

namespace Ui
{
class CurrentDataTab;
}

class CurrentValuesWindow;
class MeasurementData;
struct SampleRows;

// The Live Data tab: polls the measurement registers twice a second, turns each new
// measurement into a sample of the store, keeps the time plot current and offers
// clearing, CSV export and import, and XLSX export. Every sample also goes to a
// journal file as it is taken, so a crash or power cut cannot lose a recording.
class CurrentDataTab : public QWidget
{
    Q_OBJECT

public:
    explicit CurrentDataTab(QWidget *parent = nullptr);
    ~CurrentDataTab() override;

signals:
    void showSystemState(uint16_t state);
    void readRegisters(uint8_t firstReg, uint8_t lastReg);
    void selectionChanged(QDateTime left, QDateTime right);
    // The journal could not be written; recording goes on in memory.
    void journalFailed(QString error);
    // What an export or import did, for the status bar.
    void statusMessage(QString text);
    // The journal writes again (also when it was opened at start-up).
    void journalWriting();

public slots:
    void replyReceived(QVector<uint16_t> data);
    void plotNow();
    void clear();
    // Whether live samples are coming: an import then says that they go on after it.
    void showLinkState(LinkState state);

private slots:
    void on_pushButton_clear_clicked();
    void on_pushButton_export_clicked();
    void on_pushButton_import_clicked();
    void on_pushButton_exportXLSX_clicked();
    void on_pushButton_exportSelection_clicked();
    void on_pushButton_openRecording_clicked();
    void on_pushButton_currentValues_clicked();
    void pollData();
    void openJournal();
    void reportJournalError(const QString &error);

private:
    // Asks for a file to export to and stores its folder as workingDir; the name
    // gets the suffix unless it already ends in exactly that one.
    QString exportFileName(const QString &title, const QString &filter, const QString &suffix);
    // Exports with exporter and says how it went: a note in the status bar, or a box that
    // names the file and the reason.
    using Exporter = bool (*)(MeasurementData &, const QString &, SampleRows);
    void exportTo(const QString &fileName, Exporter exporter);
    // Asks before an import replaces samples that were never exported; true to go on.
    bool mayReplaceRecording(const QString &fileName, const QString &asideName);
    // Keeps the whole recording in keptName before the store lets go of it; false with
    // error when the file does not come to hold it.
    bool keepRecording(const QString &keptName, QString &error);
    // The export must not replace the journal's own file, which then would go on being
    // written unseen; true (after saying so) when fileName is that file.
    bool refuseJournalAsTarget(const QString &fileName);

    Ui::CurrentDataTab *ui;
    MeasurementData *store;
    LiveSampler sampler;
    QTimer pollTimer;
    RecordingJournal journal;
    int exportedSamples = 0; // the store's size at the last successful export
    QString recordingFile;   // the file that holds the exported or imported samples
    CurrentValuesWindow *currentValues = nullptr;
    bool sensorConnected = false;
};

#endif
