#include "debugtab.h"
#include "ui_debugtab.h"

#include "customization.h"
#include "registermap.h"
#include "wordconversion.h"
#include "calibrationfile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>

QString dumpFileName(uint32_t serialNumber, const QDateTime &time)
{
    return QString("dump-%1-%2.bin")
        .arg(formatSerialNumber(serialNumber), time.toString("yyyy-MM-ddTHH-mm"));
}

DebugTab::DebugTab(QWidget *parent) : QWidget(parent), ui(new Ui::DebugTab)
{
    ui->setupUi(this);
    connect(ui->registerTable, &RegisterTable::readRequested, this, &DebugTab::readRegisterTable);
}

DebugTab::~DebugTab()
{
    delete ui;
}

void DebugTab::setClock(std::function<QDateTime()> clock)
{
    this->clock = std::move(clock);
}

void DebugTab::on_pushButton_readAllRegisters_clicked()
{
    emit readRegisters(0, Registers::DumpFirstLast);
    emit readRegisters(Registers::DumpSecondFirst, Registers::CalibrationLast);
    pendingOperation = Dump;
    ui->label_calibDate->setText("-");
}

void DebugTab::replyReceived(QVector<uint16_t> data)
{
    if (pendingOperation == Dump)
        dumpReplyReceived(data);
    else if (pendingOperation == CalibrationReadBack)
        calibrationReplyReceived(data);
    else if (pendingOperation == RegisterTableRead && collectDumpReply(data))
        pendingOperation = None;
}

// The table is read with the dump's own two requests, so that no reply of a new length
// reaches the tabs; it writes no file.
void DebugTab::readRegisterTable()
{
    emit readRegisters(0, Registers::DumpFirstLast);
    emit readRegisters(Registers::DumpSecondFirst, Registers::CalibrationLast);
    pendingOperation = RegisterTableRead;
}

bool DebugTab::collectDumpReply(const QVector<uint16_t> &data)
{
    if (data.size() == ReplyLength::DumpFirst) {
        qDebug() << "received first data block:" << data;
        registerBuffer = data;
        return false;
    }
    if (data.size() != ReplyLength::DumpSecond)
        return false;
    qDebug() << "received second data block" << data;
    registerBuffer += data;
    // Whole only when the first reply came before: an error drops the second request.
    if (registerBuffer.size() == ReplyLength::DumpFirst + ReplyLength::DumpSecond)
        ui->registerTable->showRegisters(registerBuffer, clock());
    return true;
}

void DebugTab::dumpReplyReceived(const QVector<uint16_t> &data)
{
    if (!collectDumpReply(data))
        return;

    // Written aside and moved into place, so the file holds exactly this dump.
    const QString fileName = dumpFileName(deviceSerialNumber, clock());
    QSaveFile file(fileName);
    const QByteArray bytes = wordsToLittleEndianBytes(registerBuffer);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        qWarning() << "DebugTab: cannot write diagnostic data to" << fileName << ":"
                   << file.errorString();
        QMessageBox::warning(this, tr("Diagnostic Data"),
                             tr("Could not write diagnostic data to file:\n%1").arg(fileName),
                             QMessageBox::Ok);
        return;
    }

    // Done before the box, whose event loop may deliver further replies.
    pendingOperation = None;
    QMessageBox::information(
        this, tr("Diagnostic Data"),
        tr("Diagnostic data was written to file:\n%1")
            .arg(QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath())),
        QMessageBox::Ok);
    showCalibrationDate(registerBuffer);
}

void DebugTab::on_pushButton_progCalib_clicked()
{
    ui->label_calibDate->setText("-");
    if (deviceSerialNumber == 0) {
        QMessageBox::warning(this, tr("Program Calibration File"),
                             "Please connect to " + productName + " first.", QMessageBox::Ok);
        return;
    }

    const QString fileName =
        QFileDialog::getOpenFileName(this, tr("Select Calibration File"), QString(), "*.bin");
    if (fileName.isEmpty())
        return;

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        QMessageBox::warning(this, tr("Calibration File"), tr("Could not open calibration file."),
                             QMessageBox::Ok);
        return;
    }
    const CalibrationFile calibration =
        checkCalibrationFile(file.read(CalibrationFileBytes), deviceSerialNumber);
    file.close();
    registerBuffer = calibration.registers;
    if (calibration.status == CalibrationFile::TooShort) {
        QMessageBox::warning(this, tr("Calibration File"), tr("Could not read calibration file."),
                             QMessageBox::Ok);
        return;
    }

    const QDateTime &date = calibration.date;
    qDebug() << "test register:" << calibration.testValue;
    qDebug() << "calib serial:" << QString::number(calibration.serialNumber, 16);
    qDebug() << "calib date:" << date;

    if (calibration.status == CalibrationFile::InvalidTestValue) {
        QMessageBox::warning(this, tr("Calibration File"), tr("Invalid Calibration File"),
                             QMessageBox::Ok);
        return;
    }
    if (calibration.status == CalibrationFile::OtherSensor) {
        QMessageBox::warning(this, tr("Calibration File"),
                             "The selected calibration file does not match the connected " +
                                 productName + "!",
                             QMessageBox::Ok);
        return;
    }
    if (calibration.status == CalibrationFile::InvalidDate) {
        QMessageBox::warning(this, tr("Calibration File"),
                             tr("The selected calibration file has an invalid calibration date!"),
                             QMessageBox::Ok);
        return;
    }
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr("Calibration File"),
        tr("Date of calibration file: %1\nDo you want to program this calibration now?")
            .arg(date.toString("yyyy-MM-dd HH:mm:ss")),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    if (answer != QMessageBox::Yes)
        return;

    qDebug() << "registers:" << registerBuffer;
    const QVector<RegisterWrite> writes = configurationWriteSequence(
        {{Registers::CalibrationFirst,
          registerBuffer.mid(Registers::CalibrationFirst, ReplyLength::Calibration)}},
        DeviceCommand::CommitCalibration);
    for (const RegisterWrite &write : writes)
        emit writeRegisters(write.firstReg, write.data);
    emit readRegisters(Registers::CalibrationFirst, Registers::CalibrationLast);
    pendingOperation = CalibrationReadBack;
}

void DebugTab::calibrationReplyReceived(const QVector<uint16_t> &data)
{
    if (data.size() != ReplyLength::Calibration)
        return;

    qDebug() << "received calib data";
    pendingOperation = None;
    const QVector<uint16_t> expected =
        registerBuffer.mid(Registers::CalibrationFirst, ReplyLength::Calibration);
    if (data == expected) {
        QMessageBox::information(this, tr("Calibration Data"),
                                 tr("Calibration data was written successfully."), QMessageBox::Ok);
        showCalibrationDate(registerBuffer);
    } else {
        qDebug() << "data:" << data;
        qDebug() << "registers:" << expected;
        QMessageBox::warning(this, tr("Calibration Data"),
                             tr("Programming calibration data failed, please try again."),
                             QMessageBox::Ok);
        ui->label_calibDate->setText("-");
    }
}

void DebugTab::showCalibrationDate(const QVector<uint16_t> &registers)
{
    ui->label_calibDate->setText(formatDeviceDate(decodeCalibrationDate(registers)));
}
