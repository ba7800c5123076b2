#include "usercalibtab.h"
#include "ui_usercalibtab.h"

#include "app/customization.h"
#include "fluidmodel.h"
#include "livedata/measurementdata.h"
#include "mappingcalculation.h"
#include "mappingfile.h"
#include "modbus/registermap.h"
#include "modbus/wordconversion.h"
#include "plot/plotwidget.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPixmap>
#include <QSettings>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>

namespace
{

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr int curvePoints = 500;
constexpr double narrowSpan = 15; // K

bool allFinite(std::initializer_list<double> values)
{
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

} // namespace

UserCalibTab::UserCalibTab(QWidget *parent)
    : QWidget(parent), ui(new Ui::UserCalibTab), selectionTMin(NaN), selectionTMax(NaN)
{
    ui->setupUi(this);
    ui->label_visc_map->setPixmap(QPixmap("visc-map.svg"));

    // A file can be saved before the first calculation: it then holds the form's defaults.
    T1 = ui->doubleSpinBox_T1->value();
    T2 = ui->doubleSpinBox_T2->value();
    nuRef1 = ui->doubleSpinBox_nuRef1->value();
    nuRef2 = ui->doubleSpinBox_nuRef2->value();
    on_pushButton_resetCalib_clicked();

    const QString quote = "\"";
    ui->label_description->setText(
        tr("This form can be used to generate a viscosity mapping to make the ") + productName +
        tr(" measurement results more compareable to reference data that was aquired using "
           "different measurement principles.") +
        "\n\n" +
        tr("1.    Record the temperature curve for the wanted liquid. E.g., a cool down curve.") +
        "\n" +
        tr("2.    Select the range of time span of measurements you want to use from the Live "
           "Data tab.") +
        "\n" + tr("3.    Specify the two reference viscosities at two temperatures.") + "\n" +
        tr("4.    Press “Generate Now” to calculate the parameters k and α of the mapping.") +
        "\n" + tr("5.    Connect to the ") + productName + tr(" and press ") + quote +
        tr("Write to ") + productName + quote + tr(" to transfer the calculated paramters.") +
        "\n\n" + tr("The mapped viscosity is shown in the Live Data as ") + quote +
        tr("kin. Viscosity mapped.") + quote);
    ui->pushButton_writeQUVA->setText(tr("Write to ") + productName);
}

UserCalibTab::~UserCalibTab()
{
    delete ui;
}

void UserCalibTab::on_selectionChanged(QDateTime left, QDateTime right)
{
    clearSelection();
    ui->label_selectionTime->setText(left.toString("yyyy-MM-dd HH:mm") + "  -  " +
                                     right.toString("yyyy-MM-dd HH:mm"));

    const SampleSelection selection = selectSamples(measurementData->timestamps, measurementData->T,
                                                    measurementData->nu, left, right);
    if (selection.T.isEmpty())
        return;

    selectionT = selection.T;
    selectionNu = selection.nu;
    selectionTMin = selection.TMin;
    selectionTMax = selection.TMax;
    ui->label_temperatureRange->setText(QString::number(selectionTMin, 'f', 2) + "  -  " +
                                        QString::number(selectionTMax, 'f', 2));
}

void UserCalibTab::replyReceived(QVector<uint16_t> data)
{
    // No other request reads ten registers: a reply of ten words is the mapping read-back.
    if (data.size() != ReplyLength::Mapping)
        return;

    const auto readBack = [&data](int index) { return wordsToFloat(data.mid(2 * index, 2)); };
    const auto stored = [](double value, float read) {
        return std::isnan(value) || float(value) == read;
    };
    const bool matches = float(k) == readBack(0) && float(alpha) == readBack(1) &&
                         stored(A, readBack(2)) && stored(B, readBack(3)) && stored(C, readBack(4));
    if (matches)
        QMessageBox::information(this, tr("Viscosity Mapping"), tr("Write was successful."));
    else
        QMessageBox::warning(this, tr("Viscosity Mapping"), tr("Data mismatch, please try again."));
}

void UserCalibTab::on_pushButton_calibrate_clicked()
{
    ui->label_messageBox->setText(QString());

    T1 = ui->doubleSpinBox_T1->value();
    T2 = ui->doubleSpinBox_T2->value();
    nuRef1 = ui->doubleSpinBox_nuRef1->value();
    nuRef2 = ui->doubleSpinBox_nuRef2->value();

    QString rejection;
    switch (
        checkMappingInput(T1, nuRef1, T2, nuRef2, selectionT.isEmpty() || selectionNu.isEmpty())) {
    case MappingInput::Accepted:
        break;
    case MappingInput::InconsistentSets:
        rejection = tr("Invalid input. Enter 1 or 2 sets of reference temperatures / viscosites.");
        break;
    case MappingInput::ZeroViscosity:
        rejection = tr("Invalid input. Viscosity must not be 0.");
        break;
    case MappingInput::ViscosityIncreasing:
        rejection = tr("Invalid input. Viscosity must decrease with higher temperature.");
        break;
    case MappingInput::NoSelection:
        rejection = tr("Invalid data section. Please select data section first.");
        break;
    }
    if (!rejection.isEmpty()) {
        QMessageBox::warning(this, tr("Viscosity Mapping"), rejection);
        return;
    }

    if (!referencesCovered(T1, T2, selectionTMin, selectionTMax))
        ui->label_messageBox->setText(tr("Warning: The reference temperature points should "
                                         "ideally be covered by the measurement data."));

    const TemperatureSpan span = curveSpan(selectionTMin, selectionTMax, T1, T2);

    // A model that is rejected leaves no trace: A, B and C change only with a result.
    const std::optional<FluidModel> model = fitFluidModel(selectionT, selectionNu);
    MappingFactors factors;
    bool estimated = model.has_value();
    if (estimated) {
        factors = mappingFactors(T1, nuRef1, T2, nuRef2, model->A, model->B, model->C);
        // A mapping that is not finite would be written into the sensor as such.
        estimated = allFinite({factors.k, factors.alpha});
    }
    if (!estimated) {
        QString text =
            tr("Estimation of fluid parameters from measurement failed, please check data.");
        // Over a few kelvin the curvature of the model cannot be told from noise.
        if (selectionTMax - selectionTMin < narrowSpan)
            text += " " + tr("The selected data covers only %1 K; please select a section with "
                             "a temperature range of at least %2 K.")
                              .arg(selectionTMax - selectionTMin, 0, 'f', 1)
                              .arg(narrowSpan);
        QMessageBox::warning(this, tr("Viscosity Mapping"), text);
        return;
    }

    A = model->A;
    B = model->B;
    C = model->C;
    nuErr = relativeFitError(selectionT, selectionNu, A, B, C);
    k = factors.k;
    alpha = factors.alpha;
    showResults();
    showCurves(span.lo, span.hi);
}

void UserCalibTab::showCurves(double lo, double hi)
{
    QVector<double> grid(curvePoints);
    QVector<double> fitted(curvePoints);
    QVector<double> mapped(curvePoints);
    for (int j = 0; j < curvePoints; ++j) {
        grid[j] = lo + j * (hi - lo) / curvePoints;
        fitted[j] = vogelViscosity(grid[j], A, B, C);
        mapped[j] = k * std::pow(fitted[j], alpha);
    }

    // Each calculation opens its own window; it lives until the user closes it.
    auto *plot = new PlotWidget();
    plot->setAttribute(Qt::WA_DeleteOnClose);
    plot->setWindowTitle(tr("Viscosity Mapping"));
    plot->setPictureCaption(tr("Viscosity Mapping: kin. viscosity (cSt) over temperature (°C)"));
    plot->plot(selectionT, selectionNu, PlotWidget::Line, "nu_measured");
    plot->plot(grid, fitted, PlotWidget::Line, "nu_fit");
    plot->plot({T1, T2}, {nuRef1, nuRef2}, PlotWidget::Points, "nu_ref");
    plot->plot(grid, mapped, PlotWidget::Line, "nu_cal");
}

void UserCalibTab::on_pushButton_resetCalib_clicked()
{
    k = 1;
    alpha = 1;
    A = NaN;
    B = NaN;
    C = NaN;
    nuErr = NaN;
    showResults();
    ui->label_messageBox->setText(QString());
}

void UserCalibTab::on_pushButton_load_clicked()
{
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Load mapping parameter file"),
                                                          startDirectory(), "*.quc");
    if (fileName.isEmpty())
        return;

    MappingParameters parameters;
    if (!loadMappingFile(fileName, parameters)) {
        QMessageBox::warning(this, tr("Viscosity Mapping"),
                             tr("The mapping parameter file %1 could not be read.")
                                 .arg(QDir::toNativeSeparators(fileName)));
        return;
    }

    T1 = parameters.T1;
    nuRef1 = parameters.nuRef1;
    T2 = parameters.T2;
    nuRef2 = parameters.nuRef2;
    A = parameters.A;
    B = parameters.B;
    C = parameters.C;
    k = parameters.k;
    alpha = parameters.alpha;
    nuErr = NaN;

    // The spin boxes clamp to their ranges; the state keeps the file's values.
    ui->doubleSpinBox_T1->setValue(T1);
    ui->doubleSpinBox_nuRef1->setValue(nuRef1);
    ui->doubleSpinBox_T2->setValue(T2);
    ui->doubleSpinBox_nuRef2->setValue(nuRef2);
    showResults();
    ui->label_messageBox->setText(QString());
    // The loaded mapping does not belong to the data section selected before.
    clearSelection();
}

void UserCalibTab::on_pushButton_save_clicked()
{
    const QString chosenName = QFileDialog::getSaveFileName(this, tr("Save mapping paramter file"),
                                                            startDirectory(), "*.quc");
    if (chosenName.isEmpty())
        return;

    const QString fileName = mappingFileName(chosenName);
    const MappingParameters parameters{T1, nuRef1, T2, nuRef2, A, B, C, k, alpha};
    if (!saveMappingFile(fileName, parameters))
        QMessageBox::warning(this, tr("Viscosity Mapping"),
                             tr("The mapping parameter file %1 could not be written.")
                                 .arg(QDir::toNativeSeparators(fileName)));
}

void UserCalibTab::on_pushButton_writeQUVA_clicked()
{
    if (deviceSerialNumber == 0) {
        QMessageBox::warning(this, tr("Viscosity Mapping"),
                             tr("Please connect to ") + productName + tr(" first."));
        return;
    }
    if (!firmwareAtLeast(deviceFirmwareDate, FirmwareGate::Mapping)) {
        QMessageBox::warning(this, tr("Viscosity Mapping"),
                             tr("The connected ") + productName +
                                 tr(" does not support viscosity mapping."));
        return;
    }
    // k and α are what the sensor applies; A, B and C may be NaN (no model). Checked in
    // double before the conversion, which would turn 1e39 into infinity.
    const auto modelValue = [](double value) { return std::isnan(value) || finiteAsFloat(value); };
    if (!finiteAsFloat(k) || !finiteAsFloat(alpha) || !modelValue(A) || !modelValue(B) ||
        !modelValue(C)) {
        QMessageBox::warning(this, tr("Viscosity Mapping"),
                             tr("The mapping parameters are invalid: k and α must be finite "
                                "numbers, and A, B and C finite or empty, within single "
                                "precision. Please calculate or load a valid mapping."));
        return;
    }

    QVector<uint16_t> words;
    for (double value : {k, alpha, A, B, C})
        words += floatToWords(float(value));
    const QVector<RegisterWrite> sequence = configurationWriteSequence(
        {RegisterWrite{Registers::MappingFirst, words}}, DeviceCommand::CommitConfiguration);
    for (const RegisterWrite &write : sequence)
        emit writeRegisters(write.firstReg, write.data);
    emit readRegisters(Registers::MappingFirst, Registers::MappingLast);
}

void UserCalibTab::clearSelection()
{
    selectionT.clear();
    selectionNu.clear();
    ui->label_selectionTime->setText(" - ");
    ui->label_temperatureRange->setText(" - ");
}

void UserCalibTab::showResults()
{
    ui->label_k->setText(QString::number(k, 'f', 5));
    ui->label_alpha->setText(QString::number(alpha, 'f', 5));
    ui->label_nuErr->setText(std::isnan(nuErr) ? QString("-")
                                               : QString::number(100 * nuErr, 'f', 3));
}

QString UserCalibTab::startDirectory() const
{
    const QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    return settings.value("workingDir", QDir::homePath()).toString();
}
