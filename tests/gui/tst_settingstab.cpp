#include "customization.h"
#include "dialoganswerer.h"
#include "serialportlist.h"
#include "settingstab.h"
#include "testfiles.h"
#include "windowdriver.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QtTest>

Q_DECLARE_METATYPE(QVector<uint16_t>)

namespace
{

QStringList comboTexts(QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

QVector<uint16_t> infoBlock()
{
    QVector<uint16_t> words(47, 0);
    words[1] = 3;
    words[2] = 0x0A1B;
    words[3] = 0x2C05;
    words[4] = 0x6707; // 2024-10-10 11:08:48 UTC
    words[5] = 0xB5C0;
    words[34] = 0x0001; // 115200
    words[35] = 0xC200;
    words[36] = 17;
    words[37] = 4;
    words[38] = 300; // above the spin box's range
    words[40] = 27;
    words[41] = 123;
    words[42] = 60000; // 6000.0 cSt, above the spin box's range
    words[44] = 22;
    words[45] = 0xF830;
    words[46] = 0x3A98;
    return words;
}

} // namespace

class TestSettingsTab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void builtState();
    void rememberedKeys_data();
    void rememberedKeys();
    void portScanListsUserGivenPortsLast();
    void connectWithoutPortsOnlyDisablesSettings();
    void connectEmitsAndRemembers();
    void fillFromInfoBlock();
    void mappedSourceHiddenWithoutMapping();
    void disconnectResetsSerialNumber();
    void longPortPathIsShownWhole();
    void unknownModeIsNotWritten();
    void refusedOutputsWarnInTheirPlace_data();
    void refusedOutputsWarnInTheirPlace();
};

void TestSettingsTab::initTestCase()
{
    qRegisterMetaType<uint32_t>("uint32_t");
    qRegisterMetaType<uint8_t>("uint8_t");
    qRegisterMetaType<QVector<uint16_t>>("QVector<uint16_t>");
}

void TestSettingsTab::init()
{
    removeSettingsFile();
    setUserGivenPorts({});
    productName = "QUVA";
    viscosityMapping = false;
    deviceSerialNumber = 0;
    deviceFirmwareDate = QDateTime();
}

void TestSettingsTab::builtState()
{
    productName = "VISCO";
    SettingsTab tab;
    QVERIFY(!widget<QGroupBox>(tab, "groupBox_settings")->isEnabled());
    QCOMPARE(widget<QGroupBox>(tab, "groupBox_connect")->title(), QString("Connection"));
    QCOMPARE(widget<QLabel>(tab, "label_serial")->text(), QString("-"));
    QCOMPARE(widget<QLabel>(tab, "label_unit_0")->text(), QString("-"));
    QCOMPARE(widget<QComboBox>(tab, "comboBox_modbusBaudrate")->currentText(), QString("9600"));
    QCOMPARE(comboTexts(widget<QComboBox>(tab, "comboBox_connectMode")),
             (QStringList{"none, 1", "none, 2", "even, 1", "even, 2", "odd, 1", "odd, 2"}));
    QCOMPARE(widget<QLabel>(tab, "label_description")->text(),
             QString("The VISCO can be reset to factory settings using the USB Kit:\n\n"
                     " 1. Connect the VISCO to the USB Kit.\n"
                     " 2. Connect the USB Kit to the PC using the USB cable.\n"
                     " 3. Press the button \"Restore factory settings\" for at least 10 sec.\n"
                     " 4. Unplug and replug the USB cable.\n\n"
                     "The default baud rate is 19200, no parity, one stopbit.\n"
                     "The default address is 1."));
    QVERIFY(widget<QLabel>(tab, "label_serial")->textInteractionFlags() &
            Qt::TextSelectableByMouse);
    // Pictures come from the working directory; without them the labels stay empty.
    QVERIFY(widget<QLabel>(tab, "label_USB_KIT")->text().isEmpty());
    QVERIFY(widget<QLabel>(tab, "label_analogFormula")->text().isEmpty());
}

void TestSettingsTab::rememberedKeys_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QString>("baudrate");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("address");

    QTest::newRow("no file: factory settings") << QByteArray() << "19200" << 0 << 1;
    QTest::newRow("stored values")
        << QByteArray("[General]\nbaudrate=115200\nmode=5\naddress=200\n") << "115200" << 5 << 200;
    QTest::newRow("unknown baud text leaves the first entry")
        << QByteArray("[General]\nbaudrate=38400\n") << "9600" << 0 << 1;
    QTest::newRow("address clamped")
        << QByteArray("[General]\naddress=300\n") << "19200" << 0 << 247;
    // Regression: a mode outside the table left the box blank, and Connect passed 255 to
    // the link and saved -1.
    QTest::newRow("mode outside the table")
        << QByteArray("[General]\nmode=9\n") << "19200" << 0 << 1;
    QTest::newRow("negative mode") << QByteArray("[General]\nmode=-1\n") << "19200" << 0 << 1;
    QTest::newRow("mode not a number") << QByteArray("[General]\nmode=odd\n") << "19200" << 0 << 1;
}

void TestSettingsTab::rememberedKeys()
{
    QFETCH(QByteArray, settings);
    QFETCH(QString, baudrate);
    QFETCH(int, mode);
    QFETCH(int, address);

    if (!settings.isEmpty()) {
        QFile file("gui_settings.ini");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(settings);
    }
    setUserGivenPorts({"/dev/pts/99"});
    SettingsTab tab;
    QCOMPARE(widget<QComboBox>(tab, "comboBox_connectBaudrate")->currentText(), baudrate);
    QCOMPARE(widget<QComboBox>(tab, "comboBox_connectMode")->currentIndex(), mode);
    QCOMPARE(widget<QSpinBox>(tab, "spinBox_connectAddress")->value(), address);

    // Connect passes and stores what the boxes show, never a value outside them.
    QSignalSpy connects(&tab, SIGNAL(connectDevice(QString, uint32_t, uint8_t, uint8_t)));
    auto *ports = widget<QComboBox>(tab, "comboBox_serialPort");
    QVERIFY(QTest::qWaitFor([&] { return ports->count() > 0; }, 30000));
    QTest::mouseClick(widget<QPushButton>(tab, "pushButton_connect"), Qt::LeftButton);
    QCOMPARE(connects.count(), 1);
    QCOMPARE(connects[0][1].value<uint32_t>(), baudrate.toUInt());
    QCOMPARE(connects[0][2].value<uint8_t>(), uint8_t(mode));
    QSettings stored("./gui_settings.ini", QSettings::IniFormat);
    QCOMPARE(stored.value("mode").toString(), QString::number(mode));
    QCOMPARE(stored.value("address").toString(), QString::number(address));
}

void TestSettingsTab::portScanListsUserGivenPortsLast()
{
    setUserGivenPorts({"/tmp/quva-a", "/tmp/quva-b"});
    SettingsTab tab;
    auto *ports = widget<QComboBox>(tab, "comboBox_serialPort");
    QCOMPARE(ports->count(), 0);

    const int enumerated = QSerialPortInfo::availablePorts().size();
    QVERIFY(QTest::qWaitFor([&] { return ports->count() == enumerated + 2; }, 30000));
    QCOMPARE(ports->itemText(enumerated), QString("/tmp/quva-a : user-given port"));
    QCOMPARE(ports->itemText(enumerated + 1), QString("/tmp/quva-b : user-given port"));
    // The ports named on the command line are what the user came for: the first is chosen.
    QCOMPARE(ports->currentIndex(), enumerated);

    // An unchanged list leaves the user's choice alone, scan after scan.
    ports->setCurrentIndex(enumerated + 1);
    QVERIFY(QMetaObject::invokeMethod(&tab, "scanPorts"));
    QVERIFY(QMetaObject::invokeMethod(&tab, "scanPorts"));
    QCOMPARE(ports->currentIndex(), enumerated + 1);

    // A changed count rebuilds the list and drops the choice.
    setUserGivenPorts({"/tmp/quva-a"});
    QVERIFY(QTest::qWaitFor([&] { return ports->count() == enumerated + 1; }, 30000));
    QCOMPARE(ports->currentIndex(), 0);

    // Same count, same descriptions, another name: the list shows the port that is there.
    setUserGivenPorts({"/tmp/quva-c"});
    QVERIFY(QMetaObject::invokeMethod(&tab, "scanPorts"));
    QCOMPARE(ports->itemText(enumerated), QString("/tmp/quva-c : user-given port"));
}

void TestSettingsTab::connectWithoutPortsOnlyDisablesSettings()
{
    if (!QSerialPortInfo::availablePorts().isEmpty()) {
        // Run this case again as on a machine without serial ports: in a private
        // mount namespace whose tty class is empty.
        if (qEnvironmentVariableIsSet("QUVA_NO_PORTS"))
            QFAIL("the system still lists serial ports");
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QUVA_NO_PORTS", "1");
        child.setProcessEnvironment(environment);
        child.start("unshare", {"--mount", "sh", "-c",
                                "mount -t tmpfs none /sys/class/tty || exit 77; exec \"$0\" \"$1\"",
                                QCoreApplication::applicationFilePath(),
                                "connectWithoutPortsOnlyDisablesSettings"});
        QVERIFY(child.waitForFinished(60000));
        if (child.exitCode() == 77 || child.error() == QProcess::FailedToStart)
            QSKIP("this machine has serial ports and cannot hide them");
        QVERIFY2(child.exitCode() == 0, child.readAllStandardOutput().constData());
        return;
    }
    SettingsTab tab;
    QSignalSpy connects(&tab, SIGNAL(connectDevice(QString, uint32_t, uint8_t, uint8_t)));
    QVERIFY(QMetaObject::invokeMethod(&tab, "scanPorts"));
    QCOMPARE(widget<QComboBox>(tab, "comboBox_serialPort")->count(), 0);

    tab.deviceConnected();
    QTest::mouseClick(widget<QPushButton>(tab, "pushButton_connect"), Qt::LeftButton);
    QVERIFY(!widget<QGroupBox>(tab, "groupBox_settings")->isEnabled());
    QCOMPARE(connects.count(), 0);
    QVERIFY(!QFile::exists("gui_settings.ini"));
}

void TestSettingsTab::connectEmitsAndRemembers()
{
    setUserGivenPorts({"/dev/pts/99"});
    SettingsTab tab;
    QSignalSpy connects(&tab, SIGNAL(connectDevice(QString, uint32_t, uint8_t, uint8_t)));
    QSignalSpy disconnects(&tab, SIGNAL(disconnectDevice(bool)));
    auto *ports = widget<QComboBox>(tab, "comboBox_serialPort");
    QVERIFY(QTest::qWaitFor([&] { return ports->count() > 0; }, 30000));
    ports->setCurrentIndex(ports->count() - 1);
    widget<QComboBox>(tab, "comboBox_connectBaudrate")->setCurrentText("115200");
    widget<QComboBox>(tab, "comboBox_connectMode")->setCurrentIndex(3);
    widget<QSpinBox>(tab, "spinBox_connectAddress")->setValue(247);

    QTest::mouseClick(widget<QPushButton>(tab, "pushButton_connect"), Qt::LeftButton);
    QCOMPARE(connects.count(), 1);
    QCOMPARE(connects[0][0].toString(), QString("/dev/pts/99"));
    QCOMPARE(connects[0][1].value<uint32_t>(), uint32_t(115200));
    QCOMPARE(connects[0][2].value<uint8_t>(), uint8_t(3));
    QCOMPARE(connects[0][3].value<uint8_t>(), uint8_t(247));

    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    QCOMPARE(settings.value("baudrate").toString(), QString("115200"));
    QCOMPARE(settings.value("mode").toInt(), 3);
    QCOMPARE(settings.value("address").toInt(), 247);

    QTest::mouseClick(widget<QPushButton>(tab, "pushButton_disconnect"), Qt::LeftButton);
    QCOMPARE(disconnects.count(), 1);
    QCOMPARE(disconnects[0][0].toBool(), true);
}

void TestSettingsTab::fillFromInfoBlock()
{
    viscosityMapping = true;
    SettingsTab tab;
    tab.replyReceived(QVector<uint16_t>(15, 1));
    QCOMPARE(widget<QLabel>(tab, "label_serial")->text(), QString("-"));

    tab.deviceConnected();
    QVERIFY(widget<QGroupBox>(tab, "groupBox_settings")->isEnabled());
    tab.replyReceived(infoBlock());
    QCOMPARE(widget<QLabel>(tab, "label_HWrevision")->text(), QString("3"));
    QCOMPARE(widget<QLabel>(tab, "label_serial")->text(), QString("0A-1B-2C-05"));
    QCOMPARE(widget<QLabel>(tab, "label_firmwareDate")->text(), QString("2024-10-10 13:08:48"));
    QCOMPARE(deviceSerialNumber, uint32_t(0x0A1B2C05));
    QCOMPARE(deviceFirmwareDate.toSecsSinceEpoch(), qint64(0x6707B5C0));
    QCOMPARE(widget<QComboBox>(tab, "comboBox_modbusBaudrate")->currentText(), QString("115200"));
    QCOMPARE(widget<QComboBox>(tab, "comboBox_modbusMode")->currentIndex(), 4);
    QCOMPARE(widget<QSpinBox>(tab, "spinBox_modbusAddress")->value(), 17);
    QCOMPARE(widget<QSpinBox>(tab, "spinBox_filterLength")->value(), 256);
    QCOMPARE(widget<QComboBox>(tab, "comboBox_analog_0")->currentText(),
             QString("kinematic Viscosity mapped"));
    QCOMPARE(widget<QLabel>(tab, "label_unit_0")->text(), QString("cSt"));
    QCOMPARE(widget<QDoubleSpinBox>(tab, "doubleSpinBox_analog_0_min")->value(), 12.3);
    QCOMPARE(widget<QDoubleSpinBox>(tab, "doubleSpinBox_analog_0_max")->value(), 5000.0);
    QCOMPARE(widget<QComboBox>(tab, "comboBox_analog_1")->currentText(), QString("Temperature"));
    QCOMPARE(widget<QLabel>(tab, "label_unit_1")->text(), QString("°C"));
    QCOMPARE(widget<QDoubleSpinBox>(tab, "doubleSpinBox_analog_1_min")->value(), -20.0);
    QCOMPARE(widget<QDoubleSpinBox>(tab, "doubleSpinBox_analog_1_max")->value(), 150.0);

    // A baud rate the panel does not offer leaves the selection.
    QVector<uint16_t> words = infoBlock();
    words[34] = 0;
    words[35] = 38400;
    tab.replyReceived(words);
    QCOMPARE(widget<QComboBox>(tab, "comboBox_modbusBaudrate")->currentText(), QString("115200"));
}

void TestSettingsTab::mappedSourceHiddenWithoutMapping()
{
    SettingsTab tab;
    auto *source = widget<QComboBox>(tab, "comboBox_analog_0");
    QCOMPARE(comboTexts(source), (QStringList{"None", "kinematic Viscosity", "dynamic Viscosity",
                                              "Density", "Temperature"}));
    QCOMPARE(comboTexts(widget<QComboBox>(tab, "comboBox_analog_1")), comboTexts(source));

    // The sensor reports code 27: the selection stays, unit and limits follow the code.
    source->setCurrentText("Density");
    tab.replyReceived(infoBlock());
    QCOMPARE(source->currentText(), QString("Density"));
    QCOMPARE(widget<QLabel>(tab, "label_unit_0")->text(), QString("cSt"));
    QCOMPARE(widget<QDoubleSpinBox>(tab, "doubleSpinBox_analog_0_min")->value(), 12.3);

    // Choosing a source shows its unit.
    source->setCurrentText("Temperature");
    QCOMPARE(widget<QLabel>(tab, "label_unit_0")->text(), QString("°C"));
}

void TestSettingsTab::disconnectResetsSerialNumber()
{
    SettingsTab tab;
    tab.deviceConnected();
    tab.replyReceived(infoBlock());
    tab.deviceDisconnected();
    QVERIFY(!widget<QGroupBox>(tab, "groupBox_settings")->isEnabled());
    QCOMPARE(deviceSerialNumber, uint32_t(0));
    QVERIFY(deviceFirmwareDate.isValid());
    QCOMPARE(widget<QLabel>(tab, "label_serial")->text(), QString("0A-1B-2C-05"));
}

void TestSettingsTab::longPortPathIsShownWhole()
{
    const QString path = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    setUserGivenPorts({path});
    SettingsTab tab;
    tab.show();
    auto *ports = widget<QComboBox>(tab, "comboBox_serialPort");
    QVERIFY(QTest::qWaitFor([&] { return ports->findText(path, Qt::MatchStartsWith) >= 0; }, 2000));
    ports->setCurrentIndex(ports->findText(path, Qt::MatchStartsWith));
    QTRY_VERIFY_WITH_TIMEOUT(ports->width() >= ports->sizeHint().width(), 2000);
    QVERIFY(ports->width() > ports->fontMetrics().horizontalAdvance(ports->currentText()));
}

// A sensor reporting parity/stop-bits word 7 left the box blank; "Write Settings" then
// sent 0xFFFF to register 37 and rebooted the sensor into it.
void TestSettingsTab::unknownModeIsNotWritten()
{
    SettingsTab tab;
    tab.show();
    QSignalSpy writes(&tab, SIGNAL(writeRegisters(uint8_t, QVector<uint16_t>)));
    QSignalSpy disconnects(&tab, SIGNAL(disconnectDevice(bool)));
    tab.deviceConnected();
    QVector<uint16_t> words = infoBlock();
    words[37] = 7;
    tab.replyReceived(words);
    QCOMPARE(widget<QComboBox>(tab, "comboBox_modbusMode")->currentIndex(), -1);

    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Ok);
    QTest::mouseClick(widget<QPushButton>(tab, "pushButton_write"), Qt::LeftButton);
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.size(), 1);
    QCOMPARE(answerer.seenBoxes[0].title, QString("Invalid Value"));
    QCOMPARE(answerer.seenBoxes[0].text,
             QString("Parity / Stopbits is not set: the sensor reports a value this program "
                     "does not know. Choose one of \"none, 1\", \"none, 2\", \"even, 1\", "
                     "\"even, 2\", \"odd, 1\", \"odd, 2\" and write again; nothing was "
                     "written."));
    QCOMPARE(writes.count(), 0);
    QCOMPARE(disconnects.count(), 0);
    QCOMPARE(widget<QComboBox>(tab, "comboBox_connectMode")->currentIndex(), 0);

    // Once chosen, the settings go out as before.
    widget<QComboBox>(tab, "comboBox_modbusMode")->setCurrentIndex(0);
    QTest::mouseClick(widget<QPushButton>(tab, "pushButton_write"), Qt::LeftButton);
    QVERIFY(writes.count() > 0);
    QCOMPARE(writes[0][0].value<uint8_t>(), uint8_t(32));
}

void TestSettingsTab::refusedOutputsWarnInTheirPlace_data()
{
    QTest::addColumn<bool>("refuseSecond");
    QTest::addColumn<bool>("reboot");
    QTest::addColumn<QVector<int>>("registers"); // first register of each write, in order
    QTest::addColumn<QVector<int>>("writesBeforeWarnings");
    QTest::newRow("first refused, locked")
        << false << false << QVector<int>{32, 34, 37, 36, 44, 38, 33, 32} << QVector<int>{4};
    QTest::newRow("both refused, rebooted")
        << true << true << QVector<int>{32, 34, 37, 36, 38, 33, 33} << QVector<int>{4, 4};
}

// The run is unlock, line settings, analog outputs, filter, commit, then lock or reboot; a
// refused output's warning comes where its write would have gone.
void TestSettingsTab::refusedOutputsWarnInTheirPlace()
{
    QFETCH(bool, refuseSecond);
    QFETCH(bool, reboot);
    QFETCH(QVector<int>, registers);
    QFETCH(QVector<int>, writesBeforeWarnings);
    viscosityMapping = true;
    SettingsTab tab;
    tab.show();
    tab.deviceConnected();
    tab.replyReceived(infoBlock());
    if (!reboot) {
        widget<QComboBox>(tab, "comboBox_connectBaudrate")->setCurrentText("115200");
        widget<QComboBox>(tab, "comboBox_connectMode")->setCurrentIndex(4);
        widget<QSpinBox>(tab, "spinBox_connectAddress")->setValue(17);
    }
    widget<QDoubleSpinBox>(tab, "doubleSpinBox_analog_0_min")->setValue(-1);
    if (refuseSecond)
        widget<QDoubleSpinBox>(tab, "doubleSpinBox_analog_1_max")->setValue(301);

    QSignalSpy writes(&tab, SIGNAL(writeRegisters(uint8_t, QVector<uint16_t>)));
    DialogAnswerer answerer;
    QVector<int> seenAfter;
    answerer.beforeAnswer = [&] { seenAfter << writes.count(); };
    for (int i = 0; i < writesBeforeWarnings.size(); ++i)
        answerer.answerMessageBox(QMessageBox::Ok);
    QTest::mouseClick(widget<QPushButton>(tab, "pushButton_write"), Qt::LeftButton);
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(seenAfter, writesBeforeWarnings);
    for (int i = 0; i < answerer.seenBoxes.size(); ++i)
        QCOMPARE(answerer.seenBoxes[i].text,
                 QString("Invalid value range for analog output %1").arg(i + 1));

    QVector<int> written;
    for (const QList<QVariant> &write : qAsConst(writes))
        written << write[0].value<uint8_t>();
    QCOMPARE(written, registers);
    QCOMPARE(writes[0][1].value<QVector<uint16_t>>(), QVector<uint16_t>{0x6B3E});
    QCOMPARE(writes.last()[1].value<QVector<uint16_t>>(),
             QVector<uint16_t>{uint16_t(reboot ? 255 : 0)});
}

QTEST_MAIN(TestSettingsTab)
#include "tst_settingstab.moc"
