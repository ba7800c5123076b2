// "Reconnect automatically" in the window: a replugged sensor is found again, the
// status bar says so while it waits, and the choice is remembered.

#include "connectionstatelabel.h"
#include "customization.h"
#include "mainwindow.h"
#include "measurementdata.h"
#include "serialportlist.h"
#include "settingstab.h"
#include "simprocess.h"
#include "testfiles.h"
#include "windowdriver.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QtTest>

#include <memory>

class TestAutoReconnect : public QObject
{
    Q_OBJECT

private slots:
    void replugFoundAgain();
};

void TestAutoReconnect::replugFoundAgain()
{
    removeSettingsFile();
    // No journal, so that no earlier run's recording is offered at start-up.
    QSettings("gui_settings.ini", QSettings::IniFormat).setValue("recordingJournal", false);
    measurementData->clear();
    const QString link = QDir::current().absoluteFilePath("sensor-port");
    setUserGivenPorts({link});
    auto sensor = std::make_unique<SimProcess>(QStringList{"--rate", "5", "--link", link});
    QVERIFY(sensor->start());

    auto window = std::make_unique<MainWindow>();
    auto *checkBox = widget<QCheckBox>(*window, "checkBox_autoReconnect");
    QVERIFY(!checkBox->isChecked());
    QTest::mouseClick(checkBox, Qt::LeftButton);
    QVERIFY(QSettings("gui_settings.ini", QSettings::IniFormat).value("autoReconnect").toBool());
    QVERIFY(connectThroughPanel(*window, link));
    QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 3; }, 10000));

    // Replugged: another sensor takes the name, the old one goes away.
    auto replugged = std::make_unique<SimProcess>(QStringList{"--rate", "5", "--link", link});
    QVERIFY(replugged->start());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Modbus: connection lost on "));
    QVERIFY(sensor->stop());
    // The countdown is part of the connection state, on the status bar's one line.
    auto *state = widget<ConnectionStateLabel>(*window, "connectionState");
    const auto statusShows = [&](const QString &text) { return state->text().contains(text); };
    QVERIFY(QTest::qWaitFor(
        [&] { return statusShows("Connection lost; reconnecting automatically, attempt 1 at "); },
        10000));

    const int before = measurementData->frameNr.size();
    QVERIFY(QTest::qWaitFor(
        [&] {
            return widget<QGroupBox>(*window, "groupBox_settings")->isEnabled() &&
                   measurementData->frameNr.size() >= before + 3;
        },
        20000));
    QVERIFY(!statusShows("reconnecting"));
    // The replugged sensor's frames, from where the window found it again.
    QVERIFY(replugged->frame(measurementData->frameNr.last()).frameNr != 0);

    // Remembered for the next start.
    SettingsTab nextStart;
    QVERIFY(widget<QCheckBox>(nextStart, "checkBox_autoReconnect")->isChecked());
}

QTEST_MAIN(TestAutoReconnect)
#include "tst_autoreconnect.moc"
