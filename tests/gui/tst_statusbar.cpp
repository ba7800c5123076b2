// What the status bar tells the user, through the real window against the simulated
// sensor: the connection state, the last system state seen, and what succeeded.

#include "connectionstatelabel.h"
#include "customization.h"
#include "dialoganswerer.h"
#include "mainwindow.h"
#include "measurementdata.h"
#include "serialportlist.h"
#include "simprocess.h"
#include "testfiles.h"
#include "windowdriver.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <cstring>

class TestStatusBar : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void connectionStateThroughConnectTimeoutLossAndReconnect();
    void successAndFailureAreSaid();
};

void TestStatusBar::init()
{
    removeSettingsFile();
    QFile::remove("recording-journal.csv");
    measurementData->clear();
    viscosityMapping = true;
}

void TestStatusBar::connectionStateThroughConnectTimeoutLossAndReconnect()
{
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    auto *state = widget<ConnectionStateLabel>(window, "connectionState");
    auto *error = widget<QLabel>(window, "label_modbusError");
    auto *systemState = widget<QLabel>(window, "label_systemState");
    QCOMPARE(state->text(), QString("Not connected"));

    // The sensor answers at address 1 only.
    auto *ports = widget<QComboBox>(window, "comboBox_serialPort");
    const QString entry = sim.portName() + " : user-given port";
    QVERIFY(QTest::qWaitFor([&] { return ports->findText(entry) >= 0; }, 2000));
    ports->setCurrentIndex(ports->findText(entry));
    widget<QSpinBox>(window, "spinBox_connectAddress")->setValue(2);
    auto *connectButton = widget<QPushButton>(window, "pushButton_connect");
    QTest::mouseClick(connectButton, Qt::LeftButton);
    QCOMPARE(state->text(),
             QString("Connecting to %1, 19200 baud, parity none, 1 stop bit, address 2 ...")
                 .arg(sim.portName()));
    QVERIFY(QTest::qWaitFor([&] { return state->state() == LinkState::ProbeUnanswered; }, 8000));
    QCOMPARE(state->text(), QString("Connecting to %1: no answer from address 2 at 19200 baud, "
                                    "parity none, 1 stop bit: check the cable, the address and "
                                    "the line settings")
                                .arg(sim.portName()));
    QCOMPARE(error->text(), QString("Modbus Error: timeout"));

    // The error stays through the next attempt, until the sensor answers.
    widget<QSpinBox>(window, "spinBox_connectAddress")->setValue(1);
    QTest::mouseClick(connectButton, Qt::LeftButton);
    QCOMPARE(error->text(), QString("Modbus Error: timeout"));
    QVERIFY(QTest::qWaitFor([&] { return state->state() == LinkState::Connected; }, 5000));
    QCOMPARE(state->text(),
             QString("Connected to %1, 19200 baud, parity none, 1 stop bit, address 1")
                 .arg(sim.portName()));
    QVERIFY(QTest::qWaitFor([&] { return error->text().isEmpty(); }, 2000));
    QVERIFY(QTest::qWaitFor([&] { return systemState->text() == "Current System State: normal"; },
                            5000));

    // The sensor goes away: the state says so, and the system state is the last one seen.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Modbus: connection lost on "));
    QVERIFY(sim.stop());
    QVERIFY(QTest::qWaitFor([&] { return state->state() == LinkState::ConnectionLost; }, 8000));
    QCOMPARE(state->text(), QString("Connection lost: %1").arg(sim.portName()));
    QCOMPARE(systemState->text(), QString("Last System State seen: normal"));
    QCOMPARE(error->text(), QString("Modbus Error: connection lost"));

    // Back again: connected, and the system state is live once a sample came in.
    SimProcess next({"--rate", "10"});
    QVERIFY2(next.start(), qPrintable(next.errorOutput()));
    setUserGivenPorts({next.portName()});
    QVERIFY(connectThroughPanel(window, next.portName()));
    QCOMPARE(state->text(),
             QString("Connected to %1, 19200 baud, parity none, 1 stop bit, address 1")
                 .arg(next.portName()));
    QVERIFY(QTest::qWaitFor([&] { return systemState->text() == "Current System State: normal"; },
                            5000));

    widget<QPushButton>(window, "pushButton_disconnect")->click();
    QCOMPARE(state->text(), QString("Not connected"));
    QCOMPARE(systemState->text(), QString("Last System State seen: normal"));
}

void TestStatusBar::successAndFailureAreSaid()
{
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    window.show();
    auto *notice = widget<QLabel>(window, "label_notice");
    auto *state = widget<ConnectionStateLabel>(window, "connectionState");
    QVERIFY(connectThroughPanel(window, sim.portName()));
    QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 3; }, 8000));

    // Said once the sensor has answered the last request of the run.
    widget<QPushButton>(window, "pushButton_write")->click();
    QVERIFY(notice->text().isEmpty());
    QVERIFY(QTest::qWaitFor([&] { return !notice->text().isEmpty(); }, 8000));
    QCOMPARE(notice->text(), QString("Settings written to the sensor"));

    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Ok);
    widget<QPushButton>(window, "pushButton_writeQUVA")->click();
    QVERIFY(answerer.waitUntilAnswered(8000));
    QCOMPARE(answerer.seenBoxes.last().text, QString("Write was successful."));
    QCOMPARE(notice->text(), QString::fromUtf8("Mapping written to the sensor and read back: "
                                               "k = 1.00000, α = 1.00000"));
    // The notes never hide the state widgets.
    QVERIFY(state->isVisible());
    QVERIFY(widget<QLabel>(window, "label_systemState")->isVisible());

    widget<QPushButton>(window, "pushButton_disconnect")->click();
    const int count = measurementData->frameNr.size();
    QTemporaryDir folder;
    const QString csv = QDir(folder.path()).absoluteFilePath("run.csv");
    answerer.answerFileDialog(csv);
    widget<QPushButton>(window, "pushButton_export")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(notice->text(), QString("Exported %1 samples to %2").arg(count).arg(csv));

    const QString xlsx = QDir(folder.path()).absoluteFilePath("run.xlsx");
    answerer.answerFileDialog(xlsx);
    widget<QPushButton>(window, "pushButton_exportXLSX")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(notice->text(), QString("Exported %1 samples to %2").arg(count).arg(xlsx));

    answerer.answerFileDialog(csv);
    widget<QPushButton>(window, "pushButton_import")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(notice->text(), QString("Imported %1 samples from %2").arg(count).arg(csv));

    // A failed export names the file and the system's reason beside the usual text.
    const QString missing = QDir(folder.path()).absoluteFilePath("gone/run.csv");
    for (const char *button : {"pushButton_export", "pushButton_exportXLSX"}) {
        const QString target = QString(missing).replace(
            ".csv", button == QByteArray("pushButton_export") ? ".csv" : ".xlsx");
        answerer.answerFileDialog(target);
        answerer.answerMessageBox(QMessageBox::Ok);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("MeasurementData: cannot open"));
        widget<QPushButton>(window, button)->click();
        QVERIFY(answerer.waitUntilAnswered());
        QCOMPARE(answerer.seenBoxes.last().title, QString("Export"));
        QCOMPARE(answerer.seenBoxes.last().text,
                 QString("Export failed, error writing file.\n\n%1: %2")
                     .arg(target, QString::fromLocal8Bit(std::strerror(ENOENT))));
    }

    // The note goes after a few seconds.
    QVERIFY(QTest::qWaitFor([&] { return notice->text().isEmpty(); }, 20000));
}

QTEST_MAIN(TestStatusBar)
#include "tst_statusbar.moc"
