#include "timeplotform.h"

#include "customization.h"
#include "measurementdata.h"
#include "rangesdialog.h"
#include "selectionstatistics.h"
#include "settingsfile.h"
#include "ui_timeplotform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QHeaderView>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QSettings>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
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

const qint64 minimumSpanMs = 1000;

enum InspectColumn {
    AtA,
    AtB,
    BMinusA,
    Samples,
    Mean,
    Minimum,
    Maximum,
    StandardDeviation,
    Slope,
    Faults,
    InspectColumnCount
};

QString formatValue(double value)
{
    return std::isnan(value) ? QStringLiteral("–") : QString::number(value, 'g', 6);
}

void setCell(QTableWidget *table, int row, int column, const QString &text)
{
    QTableWidgetItem *item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, column, item);
    }
    item->setText(text);
}

// The value of the sample taken exactly at time (cursors stand on samples); NaN when
// there is none, as after the store was cleared.
double valueAt(const QVector<QDateTime> &timestamps, const QVector<double> &values,
               const QDateTime &time)
{
    if (!time.isValid())
        return std::numeric_limits<double>::quiet_NaN();
    const int row =
        int(std::lower_bound(timestamps.begin(), timestamps.end(), time) - timestamps.begin());
    if (row >= timestamps.size() || timestamps[row] != time || row >= values.size())
        return std::numeric_limits<double>::quiet_NaN();
    return values[row];
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

    connect(ui->timePlot, &TimePlotWidget::zoomRequested, this, &TimePlotForm::zoomAbout);
    connect(ui->timePlot, &TimePlotWidget::panRequested, this, &TimePlotForm::pan);
    connect(ui->timePlot, &TimePlotWidget::homeRequested, this,
            &TimePlotForm::on_pushButton_home_clicked);
    connect(ui->timePlot, &TimePlotWidget::cursorsChanged, this, &TimePlotForm::updateInspectTable);
    connect(ui->timePlot, &TimePlotWidget::selectionChanged, this,
            &TimePlotForm::updateInspectTable);
    QTableWidget *table = ui->tableWidget_inspect;
    table->setColumnCount(InspectColumnCount);
    table->setHorizontalHeaderLabels({tr("A"), tr("B"), tr("B − A"), tr("Samples"), tr("Mean"),
                                      tr("Minimum"), tr("Maximum"), tr("Std. dev."),
                                      tr("Slope /min"), tr("Faults")});
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->hide();
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
    ui->checkBox_show_nu->setChecked(flags & GraphFlag::Nu);
    ui->checkBox_show_eta->setChecked(flags & GraphFlag::Eta);
    ui->checkBox_show_rho->setChecked(flags & GraphFlag::Rho);
    ui->checkBox_show_T->setChecked(flags & GraphFlag::T);
    ui->checkBox_show_nu_uc->setChecked(viscosityMapping && (flags & GraphFlag::NuUc));
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
    updateInspectTable();
}

void TimePlotForm::refresh()
{
    const bool haveSamples = store && !store->timestamps.isEmpty();
    if (ownSpanMs > 0 && !haveSamples)
        leaveOwnWindow();
    const qint64 interval = ownSpanMs > 0 ? qMax<qint64>(1, ownSpanMs / 100)
                                          : intervalOfIndex(ui->comboBox_time->currentIndex());
    QDateTime first;
    QDateTime last;
    if (haveSamples) {
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
        if (ownSpanMs > 0)
            scrollBar->setValue(int(qMin<qint64>((ownRightMs - first.toMSecsSinceEpoch()) / 100,
                                                 std::numeric_limits<int>::max())));
        else if (followLatest)
            scrollBar->setValue(scrollBar->maximum());
    }
    QDateTime right = first.addMSecs(qint64(scrollBar->value()) * 100);
    QDateTime left = right.addMSecs(-interval * 100);
    if (ownSpanMs > 0) {
        right = QDateTime::fromMSecsSinceEpoch(ownRightMs);
        left = right.addMSecs(-ownSpanMs);
    }
    if (ui->timePlot->setVisibleTimeInterval(left, right)) {
        windowLeftMs = left.toMSecsSinceEpoch();
        windowRightMs = right.toMSecsSinceEpoch();
    }
    updateInspectTable();
}

void TimePlotForm::on_comboBox_time_currentIndexChanged(int index)
{
    // Choosing an interval ends a zoom; the window keeps its right edge.
    if (ownSpanMs > 0) {
        ownSpanMs = 0;
        followLatest = false;
    }
    const int interval = int(intervalOfIndex(index));
    ui->horizontalScrollBar_time->setPageStep(interval);
    ui->horizontalScrollBar_time->setSingleStep(qMax(1, interval / 100));
    refresh();
}

void TimePlotForm::on_horizontalScrollBar_time_valueChanged(int value)
{
    if (ownSpanMs > 0 && store && !store->timestamps.isEmpty()) {
        // While zoomed the scroll bar moves the own window, which never follows.
        setOwnWindow(ownSpanMs,
                     store->timestamps.first().toMSecsSinceEpoch() + qint64(value) * 100);
        return;
    }
    followLatest = value == ui->horizontalScrollBar_time->maximum();
    refresh();
}

void TimePlotForm::changeVisableGraphs()
{
    if (!store)
        return;
    SettingsFile settings;
    const PlotRanges ranges = PlotRanges::load(settings);
    settings.beginGroup("plot");

    struct Graph {
        QCheckBox *checkBox;
        unsigned int bit;
        QString title;
        QVector<double> *values;
        const char *minimumRangeKey;
        double defaultMinimumRange;
        const char *rangeKey; // in plotRanges
    };
    // The mapped viscosity shares the minimum range of nu.
    const Graph graphs[] = {
        {ui->checkBox_show_nu, GraphFlag::Nu, tr("kin. Viscosity (cSt)"), &store->nu, "nuMinRange",
         1, "nu"},
        {ui->checkBox_show_nu_uc, GraphFlag::NuUc, tr("kin. Viscosity mapped (cSt)"), &store->nuUc,
         "nuMinRange", 1, "nuUc"},
        {ui->checkBox_show_eta, GraphFlag::Eta, tr("dyn. Viscosity (mPas)"), &store->eta,
         "etaMinRange", 1, "eta"},
        {ui->checkBox_show_rho, GraphFlag::Rho, tr("Density (kg/m³)"), &store->rho, "rhoMinRange",
         10, "rho"},
        {ui->checkBox_show_T, GraphFlag::T, tr("Temperature (°C)"), &store->T, "TMinRange", 1, "T"},
    };

    visableGraphFlags = 0;
    QVector<QString> titles;
    QVector<QVector<double> *> curveData;
    QVector<double> minimumRanges;
    QVector<std::optional<FixedRange>> fixedRanges;
    for (const Graph &graph : graphs) {
        if (!graph.checkBox->isChecked())
            continue;
        visableGraphFlags |= graph.bit;
        titles.append(graph.title);
        curveData.append(graph.values);
        minimumRanges.append(
            readMinimumRange(settings, graph.minimumRangeKey, graph.defaultMinimumRange));
        fixedRanges.append(ranges.fixed(graph.rangeKey));
    }
    ui->timePlot->setData(&store->timestamps, titles, curveData, &store->systemState,
                          minimumRanges);
    ui->timePlot->setFixedRanges(fixedRanges);
    settings.endGroup();
    shownTitles = titles;
    shownColumns.clear();
    for (const QVector<double> *column : qAsConst(curveData))
        shownColumns.append(column);
    updateInspectTable();
}

void TimePlotForm::on_wheelEventReceived(QWheelEvent *event)
{
    QCoreApplication::sendEvent(ui->horizontalScrollBar_time, event);
}

void TimePlotForm::setOwnWindow(qint64 spanMs, qint64 rightMs)
{
    const qint64 firstMs = store->timestamps.first().toMSecsSinceEpoch();
    const qint64 lastMs = store->timestamps.last().toMSecsSinceEpoch();
    // The window stays on the recording.
    rightMs = qBound(firstMs + spanMs, rightMs, qMax(lastMs, firstMs + spanMs));
    QScrollBar *scrollBar = ui->horizontalScrollBar_time;
    if (ownSpanMs == 0) {
        chosenPageStep = scrollBar->pageStep();
        chosenSingleStep = scrollBar->singleStep();
    }
    ownSpanMs = spanMs;
    ownRightMs = rightMs;
    followLatest = false;
    {
        const QSignalBlocker blocker(scrollBar);
        scrollBar->setPageStep(int(qMax<qint64>(1, spanMs / 100)));
        scrollBar->setSingleStep(int(qMax<qint64>(1, spanMs / 10000)));
    }
    refresh();
}

void TimePlotForm::leaveOwnWindow()
{
    if (ownSpanMs == 0)
        return;
    ownSpanMs = 0;
    QScrollBar *scrollBar = ui->horizontalScrollBar_time;
    const QSignalBlocker blocker(scrollBar);
    scrollBar->setPageStep(chosenPageStep);
    scrollBar->setSingleStep(chosenSingleStep);
}

void TimePlotForm::zoomAbout(double factor, const QDateTime &anchor)
{
    if (!store || store->timestamps.isEmpty() || !anchor.isValid() || !(factor > 0))
        return;
    const qint64 spanMs = windowRightMs - windowLeftMs;
    const qint64 wholeMs =
        qMax(minimumSpanMs, store->timestamps.first().msecsTo(store->timestamps.last()));
    const qint64 newSpanMs = qBound(minimumSpanMs, qint64(std::llround(spanMs * factor)), wholeMs);
    // At a limit a zoom does nothing (and never turns into its opposite).
    if ((factor < 1 && newSpanMs >= spanMs) || (factor > 1 && newSpanMs <= spanMs))
        return;
    const qint64 anchorMs = qBound(windowLeftMs, anchor.toMSecsSinceEpoch(), windowRightMs);
    const double anchorShare = spanMs > 0 ? double(anchorMs - windowLeftMs) / spanMs : 1;
    const qint64 newLeftMs = anchorMs - qint64(std::llround(anchorShare * newSpanMs));
    setOwnWindow(newSpanMs, newLeftMs + newSpanMs);
}

void TimePlotForm::pan(qint64 milliseconds)
{
    if (!store || store->timestamps.isEmpty() || milliseconds == 0)
        return;
    // A window that holds the whole recording has nowhere to go.
    if (windowRightMs - windowLeftMs >= store->timestamps.first().msecsTo(store->timestamps.last()))
        return;
    setOwnWindow(windowRightMs - windowLeftMs, windowRightMs + milliseconds);
}

void TimePlotForm::on_pushButton_home_clicked()
{
    leaveOwnWindow();
    followLatest = true;
    refresh();
}

void TimePlotForm::on_pushButton_cursors_toggled(bool on)
{
    ui->timePlot->setCursorMode(on);
    if (!on)
        ui->timePlot->clearCursors();
}

void TimePlotForm::updateInspectTable()
{
    QTableWidget *table = ui->tableWidget_inspect;
    const QDateTime a = ui->timePlot->cursorA();
    const QDateTime b = ui->timePlot->cursorB();
    QDateTime left;
    QDateTime right;
    ui->timePlot->selection(left, right);
    const bool cursors = store && (a.isValid() || b.isValid());
    const bool selection = store && left.isValid() && right.isValid() && left < right;
    if (!cursors && !selection) {
        table->hide();
        statisticsKey = StatisticsKey();
        return;
    }

    const int rows = shownTitles.size();
    if (table->rowCount() != rows) {
        table->setRowCount(rows);
        statisticsKey = StatisticsKey();
    }
    table->setVerticalHeaderLabels(QStringList(shownTitles.begin(), shownTitles.end()));
    for (int column = AtA; column <= BMinusA; ++column)
        table->setColumnHidden(column, !cursors);
    for (int column = Samples; column <= Faults; ++column)
        table->setColumnHidden(column, !selection);

    if (cursors) {
        QString difference = tr("B − A");
        if (a.isValid() && b.isValid())
            difference += tr(" (Δt %1 s)").arg(a.msecsTo(b) / 1000.0, 0, 'f', 3);
        table->horizontalHeaderItem(BMinusA)->setText(difference);
        for (int row = 0; row < rows; ++row) {
            const double atA = valueAt(store->timestamps, *shownColumns[row], a);
            const double atB = valueAt(store->timestamps, *shownColumns[row], b);
            setCell(table, row, AtA, formatValue(atA));
            setCell(table, row, AtB, formatValue(atB));
            setCell(table, row, BMinusA, formatValue(atB - atA));
        }
    }
    if (selection) {
        const QPair<int, int> selectedRows = rowsBetween(store->timestamps, left, right);
        fillStatistics(selectedRows.first, selectedRows.second);
    }

    // All rows in view; a narrow window scrolls the columns sideways.
    table->show();
    int height = table->horizontalHeader()->sizeHint().height() +
                 table->verticalHeader()->length() + 2 * table->frameWidth();
    if (table->horizontalHeader()->length() + table->verticalHeader()->width() +
            2 * table->frameWidth() >
        table->width())
        height += table->horizontalScrollBar()->sizeHint().height();
    table->setFixedHeight(height);
}

void TimePlotForm::fillStatistics(int first, int last)
{
    StatisticsKey key;
    key.first = first;
    key.last = last;
    key.storeSize = store->timestamps.size();
    key.firstSample = store->timestamps.value(0);
    key.columns = shownColumns;
    if (key == statisticsKey)
        return;
    statisticsKey = key;

    QTableWidget *table = ui->tableWidget_inspect;
    const QVector<SelectionStatistics> statistics =
        selectionStatistics(store->timestamps, shownColumns, store->systemState, first, last);
    for (int row = 0; row < statistics.size(); ++row) {
        const SelectionStatistics &s = statistics[row];
        setCell(table, row, Samples, QString::number(s.count));
        setCell(table, row, Mean, formatValue(s.mean));
        setCell(table, row, Minimum, formatValue(s.minimum));
        setCell(table, row, Maximum, formatValue(s.maximum));
        setCell(table, row, StandardDeviation, formatValue(s.standardDeviation));
        setCell(table, row, Slope, formatValue(s.slopePerMinute));
        setCell(table, row, Faults, QString::number(s.faultCount));
    }
}

PlotPicture TimePlotForm::picture() const
{
    TimePlotWidget *plot = ui->timePlot;
    const QString format =
        windowRightMs - windowLeftMs >= 86400000 ? "yyyy-MM-dd HH:mm" : "yyyy-MM-dd HH:mm:ss";
    const QString caption =
        tr("%1 to %2")
            .arg(QDateTime::fromMSecsSinceEpoch(windowLeftMs).toString(format),
                 QDateTime::fromMSecsSinceEpoch(windowRightMs).toString(format));
    return PlotPicture(
        plot->size(), [plot](QPainter &painter) { plot->renderPicture(painter); }, caption);
}

void TimePlotForm::on_pushButton_savePicture_clicked()
{
    const QString saved = picture().saveWithDialog(this);
    if (!saved.isEmpty())
        emit statusMessage(tr("Picture saved to %1").arg(QDir::toNativeSeparators(saved)));
}

void TimePlotForm::on_pushButton_ranges_clicked()
{
    RangesDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The ranges hold for every plot: the live one and each viewer's.
    for (QWidget *widget : QApplication::allWidgets()) {
        if (auto *form = qobject_cast<TimePlotForm *>(widget))
            form->changeVisableGraphs();
    }
}

int TimePlotForm::intervalIndexHolding(qint64 spanMs)
{
    for (int index = 0; index < visibleIntervalCount; ++index) {
        if (visibleIntervalTable[index].tenthsOfSecond * 100 >= spanMs)
            return index;
    }
    return visibleIntervalCount - 1;
}

void TimePlotForm::on_pushButton_copyPicture_clicked()
{
    const PlotPicture copied = picture();
    if (copied.copyToClipboard(devicePixelRatioF()))
        emit statusMessage(tr("Picture copied to the clipboard (%1 × %2 pixels)")
                               .arg(copied.size().width())
                               .arg(copied.size().height()));
    else
        QMessageBox::warning(this, tr("Copy picture"),
                             tr("The picture could not be copied to the clipboard: the system "
                                "clipboard did not take it."),
                             QMessageBox::Ok);
}
