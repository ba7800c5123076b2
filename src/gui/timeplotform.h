#ifndef TIMEPLOTFORM_H
#define TIMEPLOTFORM_H

#include <QDateTime>
#include <QVector>
#include <QWidget>

#include "plotpicture.h"

class MeasurementData;

// The bits of visableGraphs, one per curve.
namespace GraphFlag
{
constexpr unsigned int T = 1;
constexpr unsigned int Rho = 2;
constexpr unsigned int Nu = 4;
constexpr unsigned int Eta = 8;
constexpr unsigned int NuUc = 16;
constexpr unsigned int All = T | Rho | Nu | Eta | NuUc;
constexpr unsigned int Default = T | Rho | Nu | Eta; // the mapped viscosity is chosen by hand
} // namespace GraphFlag
class QWheelEvent;

namespace Ui
{
class TimePlotForm;
}

// The time plot with its controls: the visible interval, the drawn quantities and a
// scroll bar through the recording. The scroll bar's value is the window's right edge
// in units of 100 ms from the first sample; at its right end the window follows new
// samples, anywhere else it stays put while data keep arriving.
//
// Zooming or panning the plot sets a window of its own (span and right edge, to the
// millisecond) that stays put until Home returns to the chosen interval. Beside the plot
// a table shows the values at the cursors and the statistics of the selection.
class TimePlotForm : public QWidget
{
    Q_OBJECT

public:
    explicit TimePlotForm(QWidget *parent = nullptr);
    ~TimePlotForm() override;

    void setMeasurementData(MeasurementData *store);
    void setIntervalTimeIndex(int index);
    int intervalTimeIndex() const;
    // A set of GraphFlag bits.
    void setVisableGraphs(unsigned int flags);
    unsigned int visableGraphs() const;
    void selection(QDateTime &left, QDateTime &right) const;
    void setSelection(const QDateTime &left, const QDateTime &right);
    // The index of the shortest visible interval that holds spanMs, or of the longest.
    static int intervalIndexHolding(qint64 spanMs);

public slots:
    // Recomputes the scroll range and the visible window; call after the store changed.
    void refresh();

signals:
    void selectionChanged(QDateTime left, QDateTime right);
    // Where a picture went, for the status bar.
    void statusMessage(QString text);

private slots:
    void on_comboBox_time_currentIndexChanged(int index);
    void on_horizontalScrollBar_time_valueChanged(int value);
    void changeVisableGraphs();
    void on_wheelEventReceived(QWheelEvent *event);
    void on_pushButton_home_clicked();
    void on_pushButton_cursors_toggled(bool on);
    void on_pushButton_savePicture_clicked();
    void on_pushButton_copyPicture_clicked();
    void on_pushButton_ranges_clicked();
    void zoomAbout(double factor, const QDateTime &anchor);
    void pan(qint64 milliseconds);
    void updateInspectTable();

private:
    Ui::TimePlotForm *ui;
    MeasurementData *store = nullptr;
    unsigned int visableGraphFlags = 0;
    bool followLatest = true;

    // Sets the own window, kept on the recording; ends following new samples.
    void setOwnWindow(qint64 spanMs, qint64 rightMs);
    void leaveOwnWindow();
    void fillStatistics(int first, int last);
    PlotPicture picture() const;

    // 0 while the window is the chosen interval.
    qint64 ownSpanMs = 0;
    qint64 ownRightMs = 0;
    int chosenPageStep = 0;
    int chosenSingleStep = 0;
    qint64 windowLeftMs = 0;
    qint64 windowRightMs = 0;

    // The curves shown, as the table lists them.
    QVector<QString> shownTitles;
    QVector<const QVector<double> *> shownColumns;
    // What the statistics in the table were computed for.
    struct StatisticsKey {
        int first = -1;
        int last = -1;
        int storeSize = -1;
        QDateTime firstSample;
        QVector<const QVector<double> *> columns;
        bool operator==(const StatisticsKey &other) const
        {
            return first == other.first && last == other.last && storeSize == other.storeSize &&
                   firstSample == other.firstSample && columns == other.columns;
        }
    } statisticsKey;
};

#endif
