// The Settings tab in the real main window, against the simulated sensor.

#include "customization.h"
#include "dialoganswerer.h"
#include "mainwindow.h"
#include "serialportlist.h"
#include "simprocess.h"
#include "testfiles.h"
#include "windowdriver.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <functional>

namespace
{

// Calls back when the watched widget is hidden.
class HideWatch : public QObject
{
public:
    HideWatch(QWidget *watched, std::function<void()> hidden)
        : watched(watched), hidden(std::move(hidden))
    {
        watched->installEventFilter(this);
    }
    ~HideWatch() override { watched->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Hide)
            hidden();
        return false;
    }

private:
    QWidget *watched;
    std::function<void()> hidden;
};

QMessageBox *rebootNotice()
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *candidate : windows) {
        auto *box = qobject_cast<QMessageBox *>(candidate);
        if (box && box->windowTitle() == "Reboot")
            return box;
    }
    return nullptr;
}

} // namespace

class TestSettingsSim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void connectShowsIdentityAndSettings();
    void filterLengthIsCommittedAndLocked();
    void addressChangeRebootsTheSensor();
    void refusedAnalogRangeSkipsOnlyThatOutput();
};

void TestSettingsSim::init()
{
    removeSettingsFile();
    // A journal left by an earlier case would ask to be restored.
    QFile::remove("recording-journal.csv");
    productName = "QUVA";
    viscosityMapping = true;
    deviceSerialNumber = 0;
    deviceFirmwareDate = QDateTime();
}

void TestSettingsSim::connectShowsIdentityAndSettings()
{
    SimProcess sim(
        {"--serial", "0A1B2C05", "--hw-rev", "7", "--firmware-date", "2024-03-01T10:00:00Z"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    QVERIFY(connectThroughPanel(window, sim.portName()));

    QCOMPARE(widget<QLabel>(window, "label_HWrevision")->text(), QString("7"));
    QCOMPARE(widget<QLabel>(window, "label_serial")->text(), QString("0A-1B-2C-05"));
    QCOMPARE(widget<QLabel>(window, "label_firmwareDate")->text(), QString("2024-03-01 11:00:00"));
    QCOMPARE(deviceSerialNumber, uint32_t(0x0A1B2C05));

    const QVector<uint16_t> registers = sim.registers();
    QCOMPARE(widget<QComboBox>(window, "comboBox_modbusBaudrate")->currentText(), QString("19200"));
    QCOMPARE(widget<QComboBox>(window, "comboBox_modbusMode")->currentIndex(), int(registers[37]));
    QCOMPARE(widget<QSpinBox>(window, "spinBox_modbusAddress")->value(), 1);
    QCOMPARE(widget<QSpinBox>(window, "spinBox_filterLength")->value(), int(registers[38]));
}

void TestSettingsSim::filterLengthIsCommittedAndLocked()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    QVERIFY(connectThroughPanel(window, sim.portName()));

    const int filterLength = sim.registers()[38] == 42 ? 43 : 42;
    widget<QSpinBox>(window, "spinBox_filterLength")->setValue(filterLength);
    QTest::mouseClick(widget<QPushButton>(window, "pushButton_write"), Qt::LeftButton);

    QVERIFY(QTest::qWaitFor([&] { return sim.registers()[38] == filterLength; }, 30000));
    QVERIFY(QTest::qWaitFor([&] { return !sim.state().value("unlocked").toBool(); }, 30000));
    QVERIFY(widget<QGroupBox>(window, "groupBox_settings")->isEnabled());
    QVERIFY(!rebootNotice() || !rebootNotice()->isVisible());
}

void TestSettingsSim::addressChangeRebootsTheSensor()
{
    SimProcess sim({"--reboot-ms", "300"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    QVERIFY(connectThroughPanel(window, sim.portName()));

    widget<QSpinBox>(window, "spinBox_modbusAddress")->setValue(42);
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(widget<QPushButton>(window, "pushButton_write"), Qt::LeftButton);

    QVERIFY(rebootNotice());
    QVERIFY(rebootNotice()->isVisible());
    // The moment the notice is first hidden, on the clock started before the click.
    qint64 hiddenAfterMs = -1;
    HideWatch hideWatch(rebootNotice(), [&] {
        if (hiddenAfterMs < 0)
            hiddenAfterMs = clock.elapsed();
    });
    QCOMPARE(rebootNotice()->text(),
             QString("Modbus settings changed, device is rebooting, please reconnect."));
    // A notice, not a question: no button, and the window keeps taking input.
    QVERIFY(rebootNotice()->buttons().isEmpty());
    QCOMPARE(rebootNotice()->windowModality(), Qt::NonModal);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QVERIFY(!widget<QGroupBox>(window, "groupBox_settings")->isEnabled());
    QCOMPARE(widget<QSpinBox>(window, "spinBox_connectAddress")->value(), 42);

    // The queued writes still reach the sensor, which reboots with its new address.
    QVERIFY(QTest::qWaitFor(
        [&] { return sim.state().value("committed").toObject().value("address").toInt() == 42; },
        30000));
    // The notice stays for 3 s: it is hidden, and not before 3 s have passed.
    QVERIFY(QTest::qWaitFor([&] { return !rebootNotice()->isVisible(); }, 30000));
    QVERIFY2(hiddenAfterMs >= 3000, qPrintable(QString("hidden after %1 ms").arg(hiddenAfterMs)));

    QVERIFY(connectThroughPanel(window, sim.portName()));
    QCOMPARE(widget<QSpinBox>(window, "spinBox_modbusAddress")->value(), 42);
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    QCOMPARE(settings.value("address").toInt(), 42);
}

void TestSettingsSim::refusedAnalogRangeSkipsOnlyThatOutput()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    QVERIFY(connectThroughPanel(window, sim.portName()));
    const QVector<uint16_t> before = sim.registers();

    widget<QComboBox>(window, "comboBox_analog_0")->setCurrentText("Density");
    widget<QDoubleSpinBox>(window, "doubleSpinBox_analog_0_min")->setValue(-1);
    widget<QComboBox>(window, "comboBox_analog_1")->setCurrentText("Temperature");
    widget<QDoubleSpinBox>(window, "doubleSpinBox_analog_1_min")->setValue(-20);
    widget<QDoubleSpinBox>(window, "doubleSpinBox_analog_1_max")->setValue(150);
    const int filterLength = before[38] == 42 ? 43 : 42;
    widget<QSpinBox>(window, "spinBox_filterLength")->setValue(filterLength);

    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Ok);
    QTest::mouseClick(widget<QPushButton>(window, "pushButton_write"), Qt::LeftButton);
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.size(), 1);
    QCOMPARE(answerer.seenBoxes[0].title, QString("Invalid Value"));
    QCOMPARE(answerer.seenBoxes[0].text, QString("Invalid value range for analog output 1"));
    QCOMPARE(answerer.seenBoxes[0].icon, QMessageBox::Warning);

    QVERIFY(QTest::qWaitFor([&] { return sim.registers()[38] == filterLength; }, 30000));
    const QVector<uint16_t> after = sim.registers();
    QCOMPARE(after.mid(40, 3), before.mid(40, 3));
    QCOMPARE(after.mid(44, 3), (QVector<uint16_t>{22, 0xF830, 0x3A98}));
    QVERIFY(QTest::qWaitFor([&] { return !sim.state().value("unlocked").toBool(); }, 30000));
}

QTEST_MAIN(TestSettingsSim)
#include "tst_settingssim.moc"
