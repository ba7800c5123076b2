#include "currentvalueswindow.h"
#include "ui_currentvalueswindow.h"

#include "currentvalues.h"
#include "customization.h"
#include "measurementdata.h"
#include "registermap.h"
#include "systemstatetext.h"

#include <QKeyEvent>

#include <algorithm>

namespace
{

// The widest value a line is sized for, so that the digits do not jump as values change.
const QString widestValue = QStringLiteral("-0000.00");

void setPixelSize(QLabel *label, int pixels)
{
    QFont font = label->font();
    if (font.pixelSize() == pixels)
        return;
    font.setPixelSize(pixels);
    label->setFont(font);
}

} // namespace

CurrentValuesWindow::CurrentValuesWindow(const MeasurementData &store,
                                         std::function<unsigned int()> visableGraphs,
                                         QWidget *parent, std::function<QDateTime()> clock)
    : QWidget(parent, Qt::Window), ui(new Ui::CurrentValuesWindow), store(store),
      visableGraphs(std::move(visableGraphs)), clock(std::move(clock))
{
    ui->setupUi(this);
    lines = {
        {ui->label_name_nu, ui->label_value_nu, ui->label_unit_nu},
        {ui->label_name_nu_uc, ui->label_value_nu_uc, ui->label_unit_nu_uc},
        {ui->label_name_eta, ui->label_value_eta, ui->label_unit_eta},
        {ui->label_name_rho, ui->label_value_rho, ui->label_unit_rho},
        {ui->label_name_T, ui->label_value_T, ui->label_unit_T},
    };
    // The fonts follow the window, not the other way round: no text holds it larger.
    for (QLabel *label : findChildren<QLabel *>())
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    // Four times a second: the age is shown in whole seconds.
    ticker.setInterval(250);
    connect(&ticker, &QTimer::timeout, this, &CurrentValuesWindow::refresh);
    refresh();
}

CurrentValuesWindow::~CurrentValuesWindow()
{
    delete ui;
}

void CurrentValuesWindow::refresh()
{
    const int count = store.timestamps.size();
    const unsigned int flags = visableGraphs();
    const QVector<CurrentValue> values =
        count > 0 ? currentValues(store.sampleAt(count - 1), flags, viscosityMapping)
                  : currentValuesWithoutSample(flags, viscosityMapping);
    int shown = 0;
    for (int line = 0; line < lines.size(); ++line) {
        lines[line].value->setText(values[line].value);
        for (QLabel *label : {lines[line].name, lines[line].value, lines[line].unit})
            label->setVisible(values[line].shown);
        shown += values[line].shown;
    }

    if (count == 0) {
        ui->label_age->setText(tr("no sample yet"));
        ui->label_age->setStyleSheet(QString());
        ui->label_state->clear();
    } else {
        const qint64 ageMs = store.timestamps.last().msecsTo(clock());
        ui->label_age->setText(sampleAgeText(ageMs));
        // Amber, readable on a light background.
        ui->label_age->setStyleSheet(sampleIsLate(ageMs, LivePollIntervalMs)
                                         ? "color: #c77700; font-weight: bold"
                                         : QString());
        const uint16_t state = store.systemState.last();
        ui->label_state->setText(systemStateText(state, false));
        ui->label_state->setStyleSheet(stateIsNormal(state) ? QString()
                                                            : "color: red; font-weight: bold");
    }
    if (shown != shownLineCount) {
        shownLineCount = shown;
        // Each line of values gets twice the height of the age and of the state.
        ui->verticalLayout->setStretch(0, 2 * std::max(shown, 1));
        ui->verticalLayout->setStretch(1, 1);
        ui->verticalLayout->setStretch(2, 1);
        fitFonts();
    }
}

void CurrentValuesWindow::fitFonts()
{
    // Lines of values, then the age and the state at half their height, then the button.
    const QMargins margins = layout()->contentsMargins();
    const int buttonHeight = ui->pushButton_fullScreen->sizeHint().height();
    const int freeHeight = height() - margins.top() - margins.bottom() - buttonHeight;
    const int freeWidth = width() - margins.left() - margins.right();
    const double rows = std::max(shownLineCount, 1) + 1.0;
    // A line of text is about 1.2 times its font's pixel size; the rest is for the spacing.
    int valuePixels = int(freeHeight / rows / 1.4);

    // As wide as the window allows: name and unit at 40 % of the value's size. The columns
    // share the width in proportion to what their texts need.
    int nameWidth = 0;
    int valueWidth = 0;
    int unitWidth = 0;
    const auto widthAt = [&](int pixels) {
        QFont valueFont = ui->label_value_nu->font();
        valueFont.setPixelSize(pixels);
        QFont textFont = valueFont;
        textFont.setPixelSize(std::max(1, pixels * 2 / 5));
        const QFontMetrics valueMetrics(valueFont);
        const QFontMetrics textMetrics(textFont);
        nameWidth = 0;
        unitWidth = 0;
        for (const Line &line : qAsConst(lines)) {
            nameWidth = std::max(nameWidth, textMetrics.horizontalAdvance(line.name->text()));
            unitWidth = std::max(unitWidth, textMetrics.horizontalAdvance(line.unit->text()));
        }
        valueWidth = valueMetrics.horizontalAdvance(widestValue);
        const int spacing = 2 * ui->gridLayout_values->horizontalSpacing() + 8;
        return nameWidth + valueWidth + unitWidth + spacing;
    };
    while (valuePixels > 8 && widthAt(valuePixels) > freeWidth)
        valuePixels = valuePixels * 9 / 10;
    valuePixels = std::max(valuePixels, 8);
    widthAt(valuePixels);
    ui->gridLayout_values->setColumnStretch(0, std::max(1, nameWidth));
    ui->gridLayout_values->setColumnStretch(1, std::max(1, valueWidth));
    ui->gridLayout_values->setColumnStretch(2, std::max(1, unitWidth));
    const int textPixels = std::max(6, valuePixels * 2 / 5);
    for (const Line &line : qAsConst(lines)) {
        setPixelSize(line.value, valuePixels);
        setPixelSize(line.name, textPixels);
        setPixelSize(line.unit, textPixels);
    }
    setPixelSize(ui->label_age, std::max(6, valuePixels / 2));
    setPixelSize(ui->label_state, std::max(6, valuePixels / 2));
}

void CurrentValuesWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitFonts();
}

void CurrentValuesWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
    ticker.start();
}

void CurrentValuesWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    ticker.stop();
}

void CurrentValuesWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F11 ||
        (event->key() == Qt::Key_Escape && ui->pushButton_fullScreen->isChecked())) {
        ui->pushButton_fullScreen->toggle();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CurrentValuesWindow::on_pushButton_fullScreen_toggled(bool on)
{
    if (on)
        showFullScreen();
    else
        showNormal();
}
