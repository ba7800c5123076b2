#include "timeplotform.h"

#include "app/customization.h"
#include "livedata/measurementdata.h"
#include "ui_timeplotform.h"

#include <QCoreApplication>
#include <QSettings>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <limits>

namespace
{

struct VisibleInterval {
    const char *text;
    qint64 tenthsOfSecond;
};

// "2 months" is eight weeks.
const VisibleInterval visibleIntervalTable[] = {
    {QT_TRANSLATE_NOOP("TimePlotForm", "10 sec"), 100},
    {QT_TRANSLATE_NOOP("TimePlotForm", "1 min"), 600},
    {QT_TRANSLATE_NOOP("TimePlotForm", "10 min"), 6000},
    {QT_TRANSLATE_NOOP("TimePlotForm", "1 hour"), 36000},
    {QT_TRANSLATE_NOOP("TimePlotForm", "6 hours"), 216000},
    {QT_TRANSLATE_NOOP("TimePlotForm", "2 days"), 1728000},
    {QT_TRANSLATE_NOOP("TimePlotForm", "2 weeks"), 12096000},
    {QT_TRANSLATE_NOOP("TimePlotForm", "2 months"), 48384000},
};
const int visibleIntervalCount = int(sizeof(visibleIntervalTable) / sizeof(VisibleInterval));

qint64 intervalOfIndex(int index)
{
    return visibleIntervalTable[qBound(0, index, visibleIntervalCount - 1)].tenthsOfSecond;
}

double readMinimumRange(QSettings &settings, const QString &key, double defaultValue)
{
    bool ok = false;
    const double value = settings.value(key, defaultValue).toDouble(&ok);
    return ok ? value : defaultValue;
}

} // namespace

TimePlotForm::TimePlotForm(QWidget *parent) : QWidget(parent), ui(new Ui::TimePlotForm)
{
    ui->setupUi(this);
    {
        const QSignalBlocker blocker(ui->comboBox_time);
        ui->comboBox_time->clear();
        for (const VisibleInterval &interval : visibleIntervalTable)
            ui->comboBox_time->addItem(tr(interval.text));
    }
    refresh();
    if (!viscosityMapping)
        ui->checkBox_show_nu_uc->hide();

    for (QCheckBox *checkBox : {ui->checkBox_show_nu, ui->checkBox_show_nu_uc,
                                ui->checkBox_show_eta, ui->checkBox_show_rho, ui->checkBox_show_T})
        connect(checkBox, &QCheckBox::clicked, this, &TimePlotForm::changeVisableGraphs);
    connect(ui->timePlot, &TimePlotWidget::wheelEventReceived, this,
            &TimePlotForm::on_wheelEventReceived);
    connect(ui->timePlot, &TimePlotWidget::selectionChanged, this, &TimePlotForm::selectionChanged);
}

TimePlotForm::~TimePlotForm()
{
    delete ui;
}

void TimePlotForm::setMeasurementData(MeasurementData *store)
{
    if (!store)
        return;
    if (this->store)
        disconnect(this->store, nullptr, ui->timePlot, nullptr);
    this->store = store;
    connect(store, &MeasurementData::cleared, ui->timePlot, &TimePlotWidget::dataReplaced);
    changeVisableGraphs();
    refresh();
}

void TimePlotForm::setIntervalTimeIndex(int index)
{
    if (index >= 0 && index < visibleIntervalCount)
        ui->comboBox_time->setCurrentIndex(index);
    refresh();
}

int TimePlotForm::intervalTimeIndex() const
{
    return ui->comboBox_time->currentIndex();
}

void TimePlotForm::setVisableGraphs(unsigned int flags)
{
    visableGraphFlags = flags;
    ui->checkBox_show_nu->setChecked(flags & 4);
    ui->checkBox_show_eta->setChecked(flags & 8);
    ui->checkBox_show_rho->setChecked(flags & 2);
    ui->checkBox_show_T->setChecked(flags & 1);
    ui->checkBox_show_nu_uc->setChecked(viscosityMapping && (flags & 16));
    changeVisableGraphs();
}

unsigned int TimePlotForm::visableGraphs() const
{
    return visableGraphFlags;
}

void TimePlotForm::selection(QDateTime &left, QDateTime &right) const
{
    ui->timePlot->selection(left, right);
}

void TimePlotForm::setSelection(const QDateTime &left, const QDateTime &right)
{
    ui->timePlot->setSelection(left, right);
}

void TimePlotForm::refresh()
{
    const qint64 interval = intervalOfIndex(ui->comboBox_time->currentIndex());
    QDateTime first;
    QDateTime last;
    if (store && !store->timestamps.isEmpty()) {
        first = store->timestamps.first();
        last = store->timestamps.last();
    } else {
        last = QDateTime::currentDateTime();
        first = last.addMSecs(-interval * 100);
    }

    QScrollBar *scrollBar = ui->horizontalScrollBar_time;
    {
        // A span shorter than the interval puts the maximum below the minimum, and the
        // scroll bar collapses to the single position span / 100.
        const QSignalBlocker blocker(scrollBar);
        scrollBar->setMinimum(int(interval));
        scrollBar->setMaximum(
            int(qMin<qint64>(first.msecsTo(last) / 100, std::numeric_limits<int>::max())));
        if (followLatest)
            scrollBar->setValue(scrollBar->maximum());
    }
    const QDateTime right = first.addMSecs(qint64(scrollBar->value()) * 100);
    ui->timePlot->setVisibleTimeInterval(right.addMSecs(-interval * 100), right);
}

void TimePlotForm::on_comboBox_time_currentIndexChanged(int index)
{
    const int interval = int(intervalOfIndex(index));
    ui->horizontalScrollBar_time->setPageStep(interval);
    ui->horizontalScrollBar_time->setSingleStep(qMax(1, interval / 100));
    refresh();
}

void TimePlotForm::on_horizontalScrollBar_time_valueChanged(int value)
{
    followLatest = value == ui->horizontalScrollBar_time->maximum();
    refresh();
}

void TimePlotForm::changeVisableGraphs()
{
    if (!store)
        return;
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    settings.beginGroup("plot");

    struct Graph {
        QCheckBox *checkBox;
        unsigned int bit;
        QString title;
        QVector<double> *values;
        const char *minimumRangeKey;
        double defaultMinimumRange;
    };
    // The mapped viscosity shares the minimum range of nu.
    const Graph graphs[] = {
        {ui->checkBox_show_nu, 4, tr("kin. Viscosity (cSt)"), &store->nu, "nuMinRange", 1},
        {ui->checkBox_show_nu_uc, 16, tr("kin. Viscosity mapped (cSt)"), &store->nuUc, "nuMinRange",
         1},
        {ui->checkBox_show_eta, 8, tr("dyn. Viscosity (mPas)"), &store->eta, "etaMinRange", 1},
        {ui->checkBox_show_rho, 2, tr("Density (kg/m³)"), &store->rho, "rhoMinRange", 10},
        {ui->checkBox_show_T, 1, tr("Temperature (°C)"), &store->T, "TMinRange", 1},
    };

    visableGraphFlags = 0;
    QVector<QString> titles;
    QVector<QVector<double> *> curveData;
    QVector<double> minimumRanges;
    for (const Graph &graph : graphs) {
        if (!graph.checkBox->isChecked())
            continue;
        visableGraphFlags |= graph.bit;
        titles.append(graph.title);
        curveData.append(graph.values);
        minimumRanges.append(
            readMinimumRange(settings, graph.minimumRangeKey, graph.defaultMinimumRange));
    }
    ui->timePlot->setData(&store->timestamps, titles, curveData, &store->systemState,
                          minimumRanges);
    settings.endGroup();
}

void TimePlotForm::on_wheelEventReceived(QWheelEvent *event)
{
    QCoreApplication::sendEvent(ui->horizontalScrollBar_time, event);
}
