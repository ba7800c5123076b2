#include "usercalibtab.h"
#include "ui_usercalibtab.h"

#include "customization.h"
#include "fluidmodel.h"
#include "mappingcalculation.h"
#include "mappingfile.h"
#include "measurementdata.h"
#include "pictures.h"
#include "plotwidget.h"
#include "registermap.h"
#include "settingsfile.h"
#include "windowplacement.h"
#include "wordconversion.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QScreen>

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

UserCalibTab::UserCalibTab(QWidget *parent) : QWidget(parent), ui(new Ui::UserCalibTab)
{
    ui->setupUi(this);
    ui->label_visc_map->setPixmap(loadPicture("visc-map.svg"));

    // A file can be saved before the first calculation: it then holds the form's defaults.
    takeReferences();
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

    SampleSelection selected = selectSamples(measurementData->timestamps, measurementData->T,
                                             measurementData->nu, left, right);
    if (selected.T.isEmpty())
        return;

    selection = std::move(selected);
    ui->label_temperatureRange->setText(QString::number(selection.TMin, 'f', 2) + "  -  " +
                                        QString::number(selection.TMax, 'f', 2));
}

void UserCalibTab::replyReceived(QVector<uint16_t> data)
{
    // No other request reads ten registers: a reply of ten words is the mapping read-back.
    if (data.size() != ReplyLength::Mapping)
        return;

    const MappingBlock readBack = decodeMappingBlock(data);
    const auto stored = [](double value, float read) {
        return std::isnan(value) || float(value) == read;
    };
    const bool matches = float(mapping.k) == readBack.k && float(mapping.alpha) == readBack.alpha &&
                         stored(mapping.A, readBack.A) && stored(mapping.B, readBack.B) &&
                         stored(mapping.C, readBack.C);
    if (matches) {
        // Said before the box, which waits for the user.
        emit statusMessage(tr("Mapping written to the sensor and read back: k = %1, α = %2")
                               .arg(mapping.k, 0, 'f', 5)
                               .arg(mapping.alpha, 0, 'f', 5));
        QMessageBox::information(this, tr("Viscosity Mapping"), tr("Write was successful."));
    } else
        QMessageBox::warning(this, tr("Viscosity Mapping"), tr("Data mismatch, please try again."));
}

void UserCalibTab::on_pushButton_calibrate_clicked()
{
    ui->label_messageBox->setText(QString());

    takeReferences();

    QString rejection;
    switch (checkMappingInput(mapping.T1, mapping.nuRef1, mapping.T2, mapping.nuRef2,
                              selection.T.isEmpty() || selection.nu.isEmpty())) {
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

    if (!referencesCovered(mapping.T1, mapping.T2, selection.TMin, selection.TMax))
        ui->label_messageBox->setText(tr("Warning: The reference temperature points should "
                                         "ideally be covered by the measurement data."));

    const TemperatureSpan span = curveSpan(selection.TMin, selection.TMax, mapping.T1, mapping.T2);

    // A model that is rejected leaves no trace: A, B and C change only with a result.
    const std::optional<FluidModel> model = fitFluidModel(selection.T, selection.nu);
    MappingFactors factors;
    bool estimated = model.has_value();
    if (estimated) {
        factors = mappingFactors(mapping.T1, mapping.nuRef1, mapping.T2, mapping.nuRef2, model->A,
                                 model->B, model->C);
        // A mapping that is not finite would be written into the sensor as such.
        estimated = allFinite({factors.k, factors.alpha});
    }
    if (!estimated) {
        QString text =
            tr("Estimation of fluid parameters from measurement failed, please check data.");
        // Over a few kelvin the curvature of the model cannot be told from noise.
        if (selection.TMax - selection.TMin < narrowSpan)
            text += " " + tr("The selected data covers only %1 K; please select a section with "
                             "a temperature range of at least %2 K.")
                              .arg(selection.TMax - selection.TMin, 0, 'f', 1)
                              .arg(narrowSpan);
        QMessageBox::warning(this, tr("Viscosity Mapping"), text);
        return;
    }

    mapping.A = model->A;
    mapping.B = model->B;
    mapping.C = model->C;
    nuErr = relativeFitError(selection.T, selection.nu, model->A, model->B, model->C);
    mapping.k = factors.k;
    mapping.alpha = factors.alpha;
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
        fitted[j] = vogelViscosity(grid[j], mapping.A, mapping.B, mapping.C);
        mapped[j] = mapping.k * std::pow(fitted[j], mapping.alpha);
    }

    // Each calculation opens its own window; it lives until the user closes it.
    auto *plot = new PlotWidget();
    plot->setAttribute(Qt::WA_DeleteOnClose);
    // Wholly on the screen that shows the tab, also a small one.
    plot->setGeometry(placeWithin(QSize(800, 600), screen()->availableGeometry()));
    plot->setWindowTitle(tr("Viscosity Mapping"));
    plot->setPictureCaption(tr("Viscosity Mapping: kin. viscosity (cSt) over temperature (°C)"));
    plot->plot(selection.T, selection.nu, PlotWidget::Line, "nu_measured");
    plot->plot(grid, fitted, PlotWidget::Line, "nu_fit");
    plot->plot({mapping.T1, mapping.T2}, {mapping.nuRef1, mapping.nuRef2}, PlotWidget::Points,
               "nu_ref");
    plot->plot(grid, mapped, PlotWidget::Line, "nu_cal");
}

void UserCalibTab::on_pushButton_resetCalib_clicked()
{
    mapping.k = 1;
    mapping.alpha = 1;
    mapping.A = NaN;
    mapping.B = NaN;
    mapping.C = NaN;
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

    // A file that cannot be read leaves the mapping as it was.
    if (!loadMappingFile(fileName, mapping)) {
        QMessageBox::warning(this, tr("Viscosity Mapping"),
                             tr("The mapping parameter file %1 could not be read.")
                                 .arg(QDir::toNativeSeparators(fileName)));
        return;
    }

    nuErr = NaN;

    // The spin boxes clamp to their ranges; the state keeps the file's values.
    ui->doubleSpinBox_T1->setValue(mapping.T1);
    ui->doubleSpinBox_nuRef1->setValue(mapping.nuRef1);
    ui->doubleSpinBox_T2->setValue(mapping.T2);
    ui->doubleSpinBox_nuRef2->setValue(mapping.nuRef2);
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
    if (!saveMappingFile(fileName, mapping))
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
    if (!finiteAsFloat(mapping.k) || !finiteAsFloat(mapping.alpha) || !modelValue(mapping.A) ||
        !modelValue(mapping.B) || !modelValue(mapping.C)) {
        QMessageBox::warning(this, tr("Viscosity Mapping"),
                             tr("The mapping parameters are invalid: k and α must be finite "
                                "numbers, and A, B and C finite or empty, within single "
                                "precision. Please calculate or load a valid mapping."));
        return;
    }

    const MappingBlock block{float(mapping.k), float(mapping.alpha), float(mapping.A),
                             float(mapping.B), float(mapping.C)};
    const QVector<RegisterWrite> sequence = configurationWriteSequence(
        {RegisterWrite{Registers::MappingFirst, encodeMappingBlock(block)}},
        DeviceCommand::CommitConfiguration);
    for (const RegisterWrite &write : sequence)
        emit writeRegisters(write.firstReg, write.data);
    emit readRegisters(Registers::MappingFirst, Registers::MappingLast);
}

void UserCalibTab::clearSelection()
{
    selection.T.clear();
    selection.nu.clear();
    ui->label_selectionTime->setText(" - ");
    ui->label_temperatureRange->setText(" - ");
}

void UserCalibTab::showResults()
{
    ui->label_k->setText(QString::number(mapping.k, 'f', 5));
    ui->label_alpha->setText(QString::number(mapping.alpha, 'f', 5));
    ui->label_nuErr->setText(std::isnan(nuErr) ? QString("-")
                                               : QString::number(100 * nuErr, 'f', 3));
}

void UserCalibTab::takeReferences()
{
    mapping.T1 = ui->doubleSpinBox_T1->value();
    mapping.T2 = ui->doubleSpinBox_T2->value();
    mapping.nuRef1 = ui->doubleSpinBox_nuRef1->value();
    mapping.nuRef2 = ui->doubleSpinBox_nuRef2->value();
}

QString UserCalibTab::startDirectory() const
{
    return SettingsFile().workingDir();
}
