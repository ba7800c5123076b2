#ifndef TIMEPLOTFORM_H
#define TIMEPLOTFORM_H

#include <QDateTime>
#include <QWidget>

class MeasurementData;
class QWheelEvent;

namespace Ui
{
class TimePlotForm;
}

// The time plot with its controls: the visible interval, the drawn quantities and a
// scroll bar through the recording. The scroll bar's value is the window's right edge
// in units of 100 ms from the first sample; at its right end the window follows new
// samples, anywhere else it stays put while data keep arriving.
class TimePlotForm : public QWidget
{
    Q_OBJECT

public:
    explicit TimePlotForm(QWidget *parent = nullptr);
    ~TimePlotForm() override;

    void setMeasurementData(MeasurementData *store);
    void setIntervalTimeIndex(int index);
    int intervalTimeIndex() const;
    // Bits: 1 T, 2 rho, 4 nu, 8 eta, 16 nuUc.
    void setVisableGraphs(unsigned int flags);
    unsigned int visableGraphs() const;
    void selection(QDateTime &left, QDateTime &right) const;
    void setSelection(const QDateTime &left, const QDateTime &right);

public slots:
    // Recomputes the scroll range and the visible window; call after the store changed.
    void refresh();

signals:
    void selectionChanged(QDateTime left, QDateTime right);

private slots:
    void on_comboBox_time_currentIndexChanged(int index);
    void on_horizontalScrollBar_time_valueChanged(int value);
    void changeVisableGraphs();
    void on_wheelEventReceived(QWheelEvent *event);

private:
    Ui::TimePlotForm *ui;
    MeasurementData *store = nullptr;
    unsigned int visableGraphFlags = 0;
    bool followLatest = true;
};

#endif
