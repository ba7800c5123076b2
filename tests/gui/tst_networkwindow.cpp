// The window over the network: the same requests reach the sensor over a serial line, a
// device server and a Modbus TCP gateway; the port box takes, keeps and checks a typed
// network address; the panel's line settings follow the sensor's.

#include "customization.h"
#include "dialoganswerer.h"
#include "mainwindow.h"
#include "measurementdata.h"
#include "serialportlist.h"
#include "simprocess.h"
#include "testfiles.h"
#include "windowdriver.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QtTest>

class TestNetworkWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sameRequestsOverEachTransport();
    void typedAddressIsCheckedKeptAndRemembered();
    void lineSettingsFollowTheSensor();
};

namespace
{

// What the sensor was asked, as RTU frames, without the live data tab's polls.
QStringList requestsSeen(const SimProcess &sim)
{
    QStringList requests;
    for (const QString &line : sim.errorOutput().split('\n')) {
        const int at = line.indexOf("request ");
        if (at >= 0 && !line.contains("request 01 03 00 10 00 0f"))
            requests << line.mid(at);
    }
    return requests;
}

} // namespace

void TestNetworkWindow::init()
{
    removeSettingsFile();
    QFile::remove("recording-journal.csv");
    measurementData->clear();
    viscosityMapping = true;
    setUserGivenPorts({});
}

void TestNetworkWindow::sameRequestsOverEachTransport()
{
    QMap<QString, QStringList> requests;
    for (const QString &transport : QStringList{"serial", "tcp", "mbtcp"}) {
        init();
        SimProcess sim(transport == "serial" ? QStringList{"--verbose"}
                                             : QStringList{"--verbose", "--" + transport, "0"});
        QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
        if (transport == "serial")
            setUserGivenPorts({sim.portName()});
        MainWindow window;
        QVERIFY2(connectThroughPanel(window, sim.portName()), qPrintable(transport));
        QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 2; }, 30000));

        widget<QSpinBox>(window, "spinBox_filterLength")->setValue(33);
        QTest::mouseClick(widget<QPushButton>(window, "pushButton_write"), Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return sim.registers()[38] == 33; }, 30000));
        QVERIFY(QTest::qWaitFor([&] { return !sim.state().value("unlocked").toBool(); }, 30000));

        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        QTest::mouseClick(widget<QPushButton>(window, "pushButton_writeQUVA"), Qt::LeftButton);
        QVERIFY(answerer.waitUntilAnswered());
        QCOMPARE(answerer.seenBoxes.value(0).text, QString("Write was successful."));
        requests[transport] = requestsSeen(sim);
    }
    QVERIFY(requests["serial"].size() > 10);
    QCOMPARE(requests["tcp"], requests["serial"]);
    QCOMPARE(requests["mbtcp"], requests["serial"]);
}

void TestNetworkWindow::typedAddressIsCheckedKeptAndRemembered()
{
    SimProcess sim({"--mbtcp", "0"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    {
        MainWindow window;
        auto *ports = widget<QComboBox>(window, "comboBox_serialPort");
        QSignalSpy connects(widget<QWidget>(window, "tab_settings"),
                            SIGNAL(connectDevice(QString, uint32_t, uint8_t, uint8_t)));

        // A malformed address is refused with what is accepted, and nothing is opened.
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        ports->lineEdit()->selectAll();
        QTest::keyClicks(ports->lineEdit(), "mbtcp://127.0.0.1:70000");
        QTest::mouseClick(widget<QPushButton>(window, "pushButton_connect"), Qt::LeftButton);
        QVERIFY(answerer.waitUntilAnswered());
        QCOMPARE(answerer.seenBoxes.value(0).title, QString("Invalid Network Address"));
        QVERIFY(answerer.seenBoxes.value(0).text.contains("mbtcp://HOST:PORT"));
        QCOMPARE(connects.count(), 0);
        QVERIFY(!QSettings("./gui_settings.ini", QSettings::IniFormat).contains("port"));

        // A rebuilt port list keeps the typed address.
        QVERIFY(connectThroughPanel(window, sim.portName()));
        setUserGivenPorts({"/dev/quva-test-port"});
        QVERIFY(QTest::qWaitFor(
            [&] {
                return ports->count() > 0 &&
                       ports->findText("/dev/quva-test-port : user-given port") >= 0;
            },
            30000));
        QCOMPARE(ports->currentText(), sim.portName());
        QCOMPARE(connects.last().at(0).toString(), sim.portName());
    }
    // Remembered as the port, and offered again at the next start.
    QCOMPARE(QSettings("./gui_settings.ini", QSettings::IniFormat).value("port").toString(),
             sim.portName());
    setUserGivenPorts({});
    MainWindow window;
    QCOMPARE(widget<QComboBox>(window, "comboBox_serialPort")->currentText(), sim.portName());
}

void TestNetworkWindow::lineSettingsFollowTheSensor()
{
    SimProcess sim({"--mbtcp", "0", "--baud", "115200", "--mode", "3"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    MainWindow window;
    QVERIFY(connectThroughPanel(window, sim.portName()));
    QCOMPARE(widget<QComboBox>(window, "comboBox_connectBaudrate")->currentText(),
             QString("115200"));
    QCOMPARE(widget<QComboBox>(window, "comboBox_connectMode")->currentIndex(), 3);

    // The panel's own line settings are no change of the sensor's: no reboot.
    widget<QSpinBox>(window, "spinBox_filterLength")->setValue(44);
    QTest::mouseClick(widget<QPushButton>(window, "pushButton_write"), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return sim.registers()[38] == 44; }, 30000));
    QVERIFY(QTest::qWaitFor([&] { return !sim.state().value("unlocked").toBool(); }, 30000));
    QCOMPARE(sim.counter("reboots"), 0);
    QVERIFY(widget<QGroupBox>(window, "groupBox_settings")->isEnabled());
}

QTEST_MAIN(TestNetworkWindow)
#include "tst_networkwindow.moc"
