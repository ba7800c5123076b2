#ifndef CURRENTVALUESWINDOW_H
#define CURRENTVALUESWINDOW_H

#include <QDateTime>
#include <QTimer>
#include <QWidget>

#include <functional>

class MeasurementData;
class QLabel;

namespace Ui
{
class CurrentValuesWindow;
}

// The latest sample in digits large enough to read from across a room: the quantities
// the plot shows, with their units, how long ago the sample was taken (amber once three
// poll periods passed without one) and the system state (red when not normal). The
// digits grow and shrink with the window, which can fill the screen.
class CurrentValuesWindow : public QWidget
{
    Q_OBJECT

public:
    // visableGraphs gives the plot's current choice of quantities; clock the time now.
    CurrentValuesWindow(const MeasurementData &store, std::function<unsigned int()> visableGraphs,
                        QWidget *parent = nullptr,
                        std::function<QDateTime()> clock = &QDateTime::currentDateTime);
    ~CurrentValuesWindow() override;

public slots:
    // Shows the store's latest sample as of now.
    void refresh();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void on_pushButton_fullScreen_toggled(bool on);

private:
    struct Line {
        QLabel *name;
        QLabel *value;
        QLabel *unit;
    };
    // Font sizes from the window's size and the lines shown.
    void fitFonts();

    Ui::CurrentValuesWindow *ui;
    const MeasurementData &store;
    std::function<unsigned int()> visableGraphs;
    std::function<QDateTime()> clock;
    QVector<Line> lines;
    QTimer ticker;
    int shownLineCount = -1;
};

#endif
