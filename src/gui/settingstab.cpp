#include "settingstab.h"
#include "ui_settingstab.h"

#include "analogoutput.h"
#include "customization.h"
#include "findsensordialog.h"
#include "networkaddress.h"
#include "pictures.h"
#include "registermap.h"
#include "settingsfile.h"
#include "settingsvalue.h"
#include "wordconversion.h"

#include <QDebug>

#include <algorithm>

namespace
{

constexpr int minimumPortBoxWidth = 150;

} // namespace

SettingsTab::SettingsTab(QWidget *parent) : QWidget(parent), ui(new Ui::SettingsTab)
{
    ui->setupUi(this);
    ui->label_HWrevision->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ui->label_serial->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ui->label_firmwareDate->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ui->label_USB_KIT->setPixmap(loadPicture("USB-KIT.png"));
    ui->label_analogFormula->setPixmap(loadPicture("analog-formula.svg"));

    SettingsFile settings;
    ui->comboBox_connectBaudrate->setCurrentText(settings.value("baudrate", "19200").toString());
    // A mode outside the table would leave the box blank and reach the link as 255.
    ui->comboBox_connectMode->setCurrentIndex(
        settingsInteger(settings, "mode", 0, 0, ui->comboBox_connectMode->count() - 1));
    ui->spinBox_connectAddress->setValue(int(settings.value("address", 1).toUInt()));
    ui->checkBox_autoReconnect->setChecked(settings.value("autoReconnect", false).toBool());
    // A port named on the command line wins over the one remembered.
    if (userGivenPorts().isEmpty())
        rememberedPort = settings.value("port").toString();
    // A network address is no entry of the list: the port box holds it as its text.
    const QString firstPort =
        userGivenPorts().isEmpty() ? rememberedPort : userGivenPorts().first();
    if (networkKind(firstPort) != NetworkKind::None)
        ui->comboBox_serialPort->setEditText(firstPort);

    portScanTimer.start(200);
    connect(&portScanTimer, SIGNAL(timeout()), this, SLOT(scanPorts()));

    rebootNotice = new QMessageBox(QMessageBox::Information, tr("Reboot"),
                                   tr("Modbus settings changed, device is rebooting, please "
                                      "reconnect."),
                                   QMessageBox::NoButton);
    // Without these Qt adds an OK button and blocks the whole application while it shows.
    rebootNotice->setStandardButtons(QMessageBox::NoButton);
    rebootNotice->setWindowModality(Qt::NonModal);
    ui->label_description->setText(
        "The " + productName +
        " can be reset to factory settings using the USB Kit:\n\n"
        " 1. Connect the " +
        productName +
        " to the USB Kit.\n"
        " 2. Connect the USB Kit to the PC using the USB cable.\n"
        " 3. Press the button \"Restore factory settings\" for at least 10 sec.\n"
        " 4. Unplug and replug the USB cable.\n\n"
        "The default baud rate is 19200, no parity, one stopbit.\n"
        "The default address is 1.");

    if (!viscosityMapping) {
        for (QComboBox *box : {ui->comboBox_analog_0, ui->comboBox_analog_1})
            box->removeItem(box->findText("kinematic Viscosity mapped"));
    }
}

SettingsTab::~SettingsTab()
{
    delete rebootNotice;
    delete ui;
}

void SettingsTab::scanPorts()
{
    const QList<SerialPortEntry> ports = availableSerialPorts();
    if (samePortList(ports, knownPorts))
        return;

    knownPorts = ports;
    qDebug() << "Portlist changed, number of ports:" << ports.size();
    const QString typed = ui->comboBox_serialPort->currentText();
    ui->comboBox_serialPort->clear();
    for (const SerialPortEntry &port : ports)
        ui->comboBox_serialPort->addItem(port.name + " : " + port.description);
    // A typed network address outlives the list it was typed over.
    const bool keepTyped = networkKind(typed) != NetworkKind::None;
    if (keepTyped)
        ui->comboBox_serialPort->setEditText(typed);

    // Only the first list: later changes make the first entry current.
    for (int index = 0; index < ports.size() && !rememberedPort.isEmpty() && !keepTyped; ++index) {
        if (ports[index].name == rememberedPort)
            ui->comboBox_serialPort->setCurrentIndex(index);
    }
    rememberedPort.clear();
    // The closed box shows a whole path (/dev/serial/by-id/... names are long): the window
    // widens for it rather than cut it.
    ui->comboBox_serialPort->setMinimumWidth(
        std::max(minimumPortBoxWidth, ui->comboBox_serialPort->sizeHint().width()));

    // Ports named on the command line are the ones the user came for (a simulator, a
    // bridge): the first of them is chosen when the list is first shown.
    if (!portListShown && !userGivenPorts().isEmpty() && !keepTyped) {
        for (int i = 0; i < knownPorts.size(); ++i) {
            if (knownPorts[i].name == userGivenPorts().first()) {
                ui->comboBox_serialPort->setCurrentIndex(i);
                break;
            }
        }
    }
    portListShown = true;
}

void SettingsTab::on_pushButton_connect_clicked()
{
    // Text that begins with a network scheme wins over the list's entry.
    const QString typed = ui->comboBox_serialPort->currentText().trimmed();
    if (networkKind(typed) != NetworkKind::None) {
        connectToNetworkAddress(typed);
        return;
    }
    overNetwork = false;
    ui->groupBox_settings->setEnabled(false);
    const int index = ui->comboBox_serialPort->currentIndex();
    if (knownPorts.isEmpty() || index < 0 || index >= knownPorts.size())
        return;

    const QString portName = knownPorts[index].name;
    const uint32_t baudrate = ui->comboBox_connectBaudrate->currentText().toUInt(nullptr, 10);
    const uint8_t mode = uint8_t(ui->comboBox_connectMode->currentIndex());
    const uint8_t address = uint8_t(ui->spinBox_connectAddress->value());
    emit connectDevice(portName, baudrate, mode, address);

    SettingsFile settings;
    settings.setValue("baudrate", ui->comboBox_connectBaudrate->currentText());
    settings.setValue("mode", ui->comboBox_connectMode->currentIndex());
    settings.setValue("address", ui->spinBox_connectAddress->value());
    // By the name that finds the same adapter after a replug, where it has one.
    const QString stableName = stablePortName(portName);
    settings.setValue("port", stableName.isEmpty() ? portName : stableName);
}

void SettingsTab::connectToNetworkAddress(const QString &text)
{
    const NetworkAddress address = parseNetworkAddress(text);
    if (!address.error.isEmpty()) {
        QMessageBox::warning(this, tr("Invalid Network Address"),
                             address.error + tr("; nothing was opened."), QMessageBox::Ok);
        return;
    }
    ui->groupBox_settings->setEnabled(false);
    overNetwork = true;
    // The baud rate and mode go along for the link's records only: the serial side
    // belongs to the device server or gateway.
    emit connectDevice(text, ui->comboBox_connectBaudrate->currentText().toUInt(nullptr, 10),
                       uint8_t(ui->comboBox_connectMode->currentIndex()),
                       uint8_t(ui->spinBox_connectAddress->value()));
    SettingsFile settings;
    settings.setValue("baudrate", ui->comboBox_connectBaudrate->currentText());
    settings.setValue("mode", ui->comboBox_connectMode->currentIndex());
    settings.setValue("address", ui->spinBox_connectAddress->value());
    settings.setValue("port", text);
}

void SettingsTab::on_pushButton_findSensor_clicked()
{
    // A typed network address wins over the list, as at Connect.
    const QString typed = ui->comboBox_serialPort->currentText().trimmed();
    const int index = ui->comboBox_serialPort->currentIndex();
    QString port = typed;
    if (networkKind(typed) == NetworkKind::None) {
        if (index < 0 || index >= knownPorts.size()) {
            QMessageBox::warning(this, tr("Find sensor"), tr("There is no port to search on."),
                                 QMessageBox::Ok);
            return;
        }
        port = knownPorts[index].name;
    } else if (const QString error = parseNetworkAddress(typed).error; !error.isEmpty()) {
        QMessageBox::warning(this, tr("Invalid Network Address"),
                             error + tr("; nothing was opened."), QMessageBox::Ok);
        return;
    }
    FindSensorDialog dialog(port, ui->comboBox_connectBaudrate->currentText().toUInt(nullptr, 10),
                            uint8_t(ui->comboBox_connectMode->currentIndex()),
                            uint8_t(ui->spinBox_connectAddress->value()), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const ScanHit sensor = dialog.chosenSensor();
    ui->comboBox_connectBaudrate->setCurrentText(QString::number(sensor.baudrate));
    ui->comboBox_connectMode->setCurrentIndex(sensor.mode);
    ui->spinBox_connectAddress->setValue(sensor.address);
}

void SettingsTab::showLinkState(LinkState state)
{
    ui->pushButton_findSensor->setEnabled(state == LinkState::NotConnected);
}

bool SettingsTab::reconnectsAutomatically() const
{
    return ui->checkBox_autoReconnect->isChecked();
}

void SettingsTab::on_checkBox_autoReconnect_toggled(bool on)
{
    SettingsFile().setValue("autoReconnect", on);
    emit reconnectAutomaticallyChanged(on);
}

void SettingsTab::on_pushButton_disconnect_clicked()
{
    emit disconnectDevice(true);
}

void SettingsTab::deviceConnected()
{
    ui->groupBox_settings->setEnabled(true);
}

void SettingsTab::deviceDisconnected()
{
    ui->groupBox_settings->setEnabled(false);
    deviceSerialNumber = 0;
}

void SettingsTab::replyReceived(QVector<uint16_t> data)
{
    if (data.size() != ReplyLength::Info)
        return;

    const DeviceIdentity identity = decodeIdentity(data);
    ui->label_HWrevision->setText(QString::number(identity.hardwareRevision));
    ui->label_serial->setText(formatSerialNumber(identity.serialNumber));
    deviceSerialNumber = identity.serialNumber;
    deviceFirmwareDate = identity.firmwareDate;
    ui->label_firmwareDate->setText(formatDeviceDate(identity.firmwareDate));

    const QString baudrate = QString::number(wordsToUint32(data.mid(Registers::ModbusBaudrate, 2)));
    const int baudIndex = ui->comboBox_modbusBaudrate->findText(baudrate);
    if (baudIndex >= 0)
        ui->comboBox_modbusBaudrate->setCurrentIndex(baudIndex);
    ui->comboBox_modbusMode->setCurrentIndex(data[Registers::ModbusMode]);
    ui->spinBox_modbusAddress->setValue(data[Registers::ModbusAddress]);
    // Over a network the panel's line settings are the sensor's own, so that only a change
    // the user makes to them counts as a change before a write.
    if (overNetwork) {
        if (baudIndex >= 0)
            ui->comboBox_connectBaudrate->setCurrentText(baudrate);
        if (data[Registers::ModbusMode] < ui->comboBox_connectMode->count())
            ui->comboBox_connectMode->setCurrentIndex(data[Registers::ModbusMode]);
    }
    ui->spinBox_filterLength->setValue(data[Registers::FilterLength]);

    for (int output = 0; output < 2; ++output) {
        const AnalogOutputWidgets widgets = analogOutputWidgets(output);
        const AnalogOutputSetting setting = decodeAnalogOutput(
            data[widgets.firstReg], data[widgets.firstReg + 1], data[widgets.firstReg + 2]);
        const int sourceIndex = widgets.source->findText(setting.source);
        if (sourceIndex >= 0)
            widgets.source->setCurrentIndex(sourceIndex);
        widgets.unit->setText(analogUnit(setting.source));
        widgets.min->setValue(setting.min);
        widgets.max->setValue(setting.max);
    }
}

SettingsTab::AnalogOutputWidgets SettingsTab::analogOutputWidgets(int output) const
{
    if (output == 0)
        return {ui->comboBox_analog_0, ui->label_unit_0, ui->doubleSpinBox_analog_0_min,
                ui->doubleSpinBox_analog_0_max, Registers::AnalogOutput1};
    return {ui->comboBox_analog_1, ui->label_unit_1, ui->doubleSpinBox_analog_1_min,
            ui->doubleSpinBox_analog_1_max, Registers::AnalogOutput2};
}

void SettingsTab::on_pushButton_write_clicked()
{
    // A blank box holds a value the sensor reported but this program does not know; its
    // index would go out as 0xFFFF and reboot the sensor into it.
    for (const QComboBox *box : {ui->comboBox_modbusBaudrate, ui->comboBox_modbusMode}) {
        if (box->currentIndex() >= 0)
            continue;
        QStringList entries;
        for (int i = 0; i < box->count(); ++i)
            entries << "\"" + box->itemText(i) + "\"";
        const QString field =
            box == ui->comboBox_modbusBaudrate ? tr("Modbus Baud Rate") : tr("Parity / Stopbits");
        QMessageBox::warning(this, tr("Invalid Value"),
                             tr("%1 is not set: the sensor reports a value this program does "
                                "not know. Choose one of %2 and write again; nothing was "
                                "written.")
                                 .arg(field, entries.join(", ")),
                             QMessageBox::Ok);
        return;
    }

    QVector<RegisterWrite> dataWrites{
        {Registers::ModbusBaudrate,
         uint32ToWords(ui->comboBox_modbusBaudrate->currentText().toUInt())},
        {Registers::ModbusMode, {uint16_t(ui->comboBox_modbusMode->currentIndex())}},
        {Registers::ModbusAddress, {uint16_t(ui->spinBox_modbusAddress->value())}}};
    // An analog output whose range is refused is left out of the run; its warning comes
    // where its write would have gone.
    QVector<QPair<int, int>> refusedOutputs; // output, index of the write it precedes
    for (int output = 0; output < 2; ++output) {
        const AnalogOutputWidgets widgets = analogOutputWidgets(output);
        const std::optional<QVector<uint16_t>> words =
            encodeAnalogOutput(widgets.source->currentText(), widgets.min->value(),
                               widgets.max->value(), deviceFirmwareDate);
        if (words)
            dataWrites.append(RegisterWrite{widgets.firstReg, *words});
        else
            refusedOutputs.append(qMakePair(output, dataWrites.size()));
    }
    dataWrites.append(
        RegisterWrite{Registers::FilterLength, {uint16_t(ui->spinBox_filterLength->value())}});
    const bool reboot = modbusParametersChanged();
    const QVector<RegisterWrite> run =
        configurationWriteSequence(dataWrites, DeviceCommand::CommitConfiguration, reboot);

    // A warning box runs the event loop, so a first part of the run may be answered
    // before the rest is sent: only the run after the last write counts.
    pendingWriteNote.clear();
    QStringList skipped;
    for (int index = 0; index < run.size(); ++index) {
        for (const QPair<int, int> &refused : qAsConst(refusedOutputs)) {
            // The run starts with the unlock: data write i is its write i + 1.
            if (refused.second + 1 != index)
                continue;
            QMessageBox::warning(
                this, tr("Invalid Value"),
                tr("Invalid value range for analog output %1").arg(refused.first + 1),
                QMessageBox::Ok);
            skipped << tr("analog output %1 was left unchanged").arg(refused.first + 1);
        }
        emit writeRegisters(run[index].firstReg, run[index].data);
    }

    QString note = tr("Settings written to the sensor");
    if (!skipped.isEmpty())
        note += " (" + skipped.join(", ") + ")";
    if (!reboot) {
        pendingWriteNote = note;
        return;
    }
    pendingWriteNote = note + "; " + tr("it restarts with the new line settings");

    // The sensor reboots with its new line settings; the connection panel takes them
    // over so that the next "Connect" reaches it. A soft disconnect lets the queued
    // writes still go out on the open port.
    ui->comboBox_connectBaudrate->setCurrentText(ui->comboBox_modbusBaudrate->currentText());
    ui->comboBox_connectMode->setCurrentIndex(ui->comboBox_modbusMode->currentIndex());
    ui->spinBox_connectAddress->setValue(ui->spinBox_modbusAddress->value());
    ui->groupBox_settings->setEnabled(false);
    emit disconnectDevice(false);
    rebootNotice->show();
    QTimer::singleShot(3000, Qt::PreciseTimer, rebootNotice, &QMessageBox::hide);
}

void SettingsTab::writeRunFinished(bool succeeded)
{
    if (pendingWriteNote.isEmpty())
        return;
    const QString note = pendingWriteNote;
    pendingWriteNote.clear();
    // A failure is on the error label already.
    if (succeeded)
        emit statusMessage(note);
}

bool SettingsTab::modbusParametersChanged() const
{
    return ui->comboBox_connectBaudrate->currentText() !=
               ui->comboBox_modbusBaudrate->currentText() ||
           ui->spinBox_modbusAddress->value() != ui->spinBox_connectAddress->value() ||
           ui->comboBox_modbusMode->currentIndex() != ui->comboBox_connectMode->currentIndex();
}

void SettingsTab::on_comboBox_analog_0_currentTextChanged(const QString &text)
{
    ui->label_unit_0->setText(analogUnit(text));
}

void SettingsTab::on_comboBox_analog_1_currentTextChanged(const QString &text)
{
    ui->label_unit_1->setText(analogUnit(text));
}
