#ifndef VIEWERWINDOW_H
#define VIEWERWINDOW_H

#include "measurementdata.h"

#include <QWidget>

namespace Ui
{
class ViewerWindow;
}

// A recording file opened to look at it, read-only, in a window of its own: the time
// plot with its visible times and inspect tools over a store that belongs to this
// window alone, so the live recording, its journal and the link never see the file.
// Several can be open at once; each is deleted when it is closed.
class ViewerWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ViewerWindow(QWidget *parent = nullptr);
    ~ViewerWindow() override;

    // Reads fileName into this window's store as the CSV import does, with a progress
    // dialog over opener that can cancel. False when cancelled or when the file cannot be
    // read; a bad file is then named in a box with its line and reason.
    bool open(const QString &fileName, QWidget *opener);
    const MeasurementData &recording() const { return store; }

    // A new viewer of fileName, shown; null when it could not be opened.
    static ViewerWindow *openFile(const QString &fileName, QWidget *opener);
    // Asks for a CSV file, starting in the folder of the last file chosen, and opens it.
    static void openWithDialog(QWidget *opener);

private slots:
    void on_pushButton_exportSelection_clicked();

private:
    Ui::ViewerWindow *ui;
    MeasurementData store;
};

#endif
