#include "rangesdialog.h"
#include "ui_rangesdialog.h"

#include "customization.h"
#include "settingsfile.h"

#include <QMessageBox>

namespace
{

enum Mode { Automatic, Fixed };

} // namespace

RangesDialog::RangesDialog(QWidget *parent) : QDialog(parent), ui(new Ui::RangesDialog)
{
    ui->setupUi(this);
    rows = {
        {"nu", ui->label_nu, ui->comboBox_nu, ui->lineEdit_nu_min, ui->lineEdit_nu_max},
        {"nuUc", ui->label_nu_uc, ui->comboBox_nu_uc, ui->lineEdit_nu_uc_min,
         ui->lineEdit_nu_uc_max},
        {"eta", ui->label_eta, ui->comboBox_eta, ui->lineEdit_eta_min, ui->lineEdit_eta_max},
        {"rho", ui->label_rho, ui->comboBox_rho, ui->lineEdit_rho_min, ui->lineEdit_rho_max},
        {"T", ui->label_T, ui->comboBox_T, ui->lineEdit_T_min, ui->lineEdit_T_max},
    };
    if (!viscosityMapping) {
        for (QWidget *widget :
             {static_cast<QWidget *>(ui->label_nu_uc), static_cast<QWidget *>(ui->comboBox_nu_uc),
              static_cast<QWidget *>(ui->lineEdit_nu_uc_min),
              static_cast<QWidget *>(ui->lineEdit_nu_uc_max)})
            widget->hide();
    }

    SettingsFile settings;
    const PlotRanges ranges = PlotRanges::load(settings);
    for (const Row &row : qAsConst(rows)) {
        const std::optional<FixedRange> range = ranges.fixed(row.quantity);
        row.mode->setCurrentIndex(range ? Fixed : Automatic);
        if (range) {
            row.minimum->setText(QString::number(range->minimum, 'g', 17));
            row.maximum->setText(QString::number(range->maximum, 'g', 17));
        }
        const auto enableEnds = [row](int mode) {
            row.minimum->setEnabled(mode == Fixed);
            row.maximum->setEnabled(mode == Fixed);
        };
        enableEnds(row.mode->currentIndex());
        connect(row.mode, QOverload<int>::of(&QComboBox::currentIndexChanged), this, enableEnds);
    }
}

RangesDialog::~RangesDialog()
{
    delete ui;
}

void RangesDialog::accept()
{
    PlotRanges ranges;
    QStringList quantities;
    for (const Row &row : qAsConst(rows)) {
        quantities.append(row.quantity);
        if (row.mode->currentIndex() != Fixed)
            continue;
        const QString error = fixedRangeError(row.minimum->text(), row.maximum->text());
        if (!error.isEmpty()) {
            QMessageBox::warning(this, tr("Ranges"),
                                 tr("%1: %2\n\nA fixed range needs a finite minimum below a "
                                    "finite maximum, such as 0 and 100.")
                                     .arg(row.label->text(), error),
                                 QMessageBox::Ok);
            row.minimum->setFocus();
            return;
        }
        ranges.setFixed(row.quantity, parseFixedRange(row.minimum->text(), row.maximum->text()));
    }
    SettingsFile settings;
    ranges.save(settings, quantities);
    QDialog::accept();
}
