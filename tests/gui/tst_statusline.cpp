// The status bar says what is so, on one line: a connected sensor that stopped answering
// is shown as such, long texts are shortened after a whole word with all of it a click
// away, and pictures say where they went. Through the real window against the simulated
// sensor, and the pure pieces directly.

#include "answerwatch.h"
#include "connectionstatelabel.h"
#include "connectionstatetext.h"
#include "customization.h"
#include "dialoganswerer.h"
#include "elidedlabel.h"
#include "mainwindow.h"
#include "measurementdata.h"
#include "serialportlist.h"
#include "simprocess.h"
#include "testchild.h"
#include "testfiles.h"
#include "windowdriver.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

#include <csignal>

class TestStatusLine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void elideAtWord_data();
    void elideAtWord();
    void answerWatch();
    void quietSensorIsNotShownAsCurrent();
    void statusBarStaysOneLine();
    void statusBarStaysOneLineAtScaleTwo();
    void picturesSayWhereTheyWent();

private:
    DialogAnswerer answerer;
};

void TestStatusLine::init()
{
    removeSettingsFile();
    // No journal: no earlier run's recording is offered at start-up.
    QSettings("gui_settings.ini", QSettings::IniFormat).setValue("recordingJournal", false);
    measurementData->clear();
    viscosityMapping = false;
}

void TestStatusLine::elideAtWord_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("room"); // a text exactly as wide as the room given
    QTest::addColumn<QString>("shown");

    const QString dots = QString::fromUtf8("…");
    QTest::newRow("fits") << "Exported 5 samples"
                          << "Exported 5 samples"
                          << "Exported 5 samples";
    QTest::newRow("cut after the last whole word that fits")
        << "Imported 30 samples from /tmp/a.csv"
        << "Imported 30 samples fr"
        << "Imported 30 samples" + dots;
    QTest::newRow("line breaks become blanks") << "Import failed\n\nline 7"
                                               << "Import failed line 7"
                                               << "Import failed line 7";
    QTest::newRow("not even the first word") << "/a/very/long/path.csv"
                                             << "/a/very" << dots;
}

void TestStatusLine::elideAtWord()
{
    QFETCH(QString, text);
    QFETCH(QString, room);
    QFETCH(QString, shown);
    const QFontMetrics metrics(QApplication::font());
    QCOMPARE(ElidedLabel::elideAtWord(text, metrics, metrics.horizontalAdvance(room)), shown);
}

void TestStatusLine::answerWatch()
{
    const QDateTime connected(QDate(2026, 3, 4), QTime(10, 11, 12));
    AnswerWatch watch;
    watch.start(connected);
    QVERIFY(!watch.isQuiet());
    watch.linkResult("Modbus Error: CRC error", connected.addSecs(1));
    QVERIFY(!watch.isQuiet());
    watch.linkResult("", connected.addSecs(2));
    watch.linkResult("Modbus Error: timeout", connected.addSecs(5));
    watch.linkResult("Modbus Error: timeout", connected.addSecs(9));
    QVERIFY(watch.isQuiet());
    QCOMPARE(watch.lastAnswer(), connected.addSecs(2));
    QCOMPARE(noAnswerText(watch.lastAnswer(), watch.timeoutCount()),
             QString("No answer since 10:11:14 (2 time-outs)"));
    QCOMPARE(noAnswerText(watch.lastAnswer(), 1), QString("No answer since 10:11:14 (1 time-out)"));
    watch.linkResult("", connected.addSecs(20));
    QVERIFY(!watch.isQuiet());
    QCOMPARE(watch.lastAnswer(), connected.addSecs(20));
}

// Regression: a sensor frozen for 50 s left "Connected to ..." in green and "Current
// System State: normal" as if both were current.
void TestStatusLine::quietSensorIsNotShownAsCurrent()
{
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    auto *state = widget<ConnectionStateLabel>(window, "connectionState");
    auto *systemState = widget<QLabel>(window, "label_systemState");
    QVERIFY(connectThroughPanel(window, sim.portName()));
    QVERIFY(QTest::qWaitFor([&] { return systemState->text() == "Current System State: normal"; },
                            30000));

    ::kill(pid_t(sim.processId()), SIGSTOP);
    const QRegularExpression quiet(
        "^No answer since (\\d\\d:\\d\\d:\\d\\d) \\((\\d+) time-outs?\\)$");
    QVERIFY(QTest::qWaitFor([&] { return quiet.match(state->text()).hasMatch(); }, 30000));
    const QString since = quiet.match(state->text()).captured(1);
    QCOMPARE(systemState->text(), "Current System State: normal (last seen " + since + ")");
    QVERIFY(QTest::qWaitFor([&] { return quiet.match(state->text()).captured(2).toInt() >= 2; },
                            30000));
    QCOMPARE(state->state(), LinkState::Connected);

    ::kill(pid_t(sim.processId()), SIGCONT);
    QVERIFY(QTest::qWaitFor([&] { return state->text().startsWith("Connected to "); }, 30000));
    QVERIFY(QTest::qWaitFor([&] { return systemState->text() == "Current System State: normal"; },
                            30000));
}

// Regression: with the port gone the status bar grew to about 200 px, a failed Connect to
// about 90 px, and the plot and the Write Settings button lost that room.
void TestStatusLine::statusBarStaysOneLine()
{
    auto sim = std::make_unique<SimProcess>(QStringList{"--rate", "10"});
    QVERIFY2(sim->start(), qPrintable(sim->errorOutput()));
    const QString missing = "/dev/quva-test-no-such-port";
    setUserGivenPorts({sim->portName(), missing});
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(1366, 768);
    QStatusBar *bar = window.statusBar();
    auto *state = widget<ConnectionStateLabel>(window, "connectionState");
    auto *portProblem = widget<ElidedLabel>(window, "label_portProblem");
    const int oneLine = bar->height();
    QVERIFY2(oneLine < 2 * bar->fontMetrics().height(), qPrintable(QString::number(oneLine)));
    const auto settled = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        return bar->height();
    };

    // A plain failed Connect, also in a narrow window: the reason is shortened, and a
    // click shows it whole.
    auto *ports = widget<QComboBox>(window, "comboBox_serialPort");
    QVERIFY(QTest::qWaitFor([&] { return ports->findText(missing + " : user-given port") >= 0; },
                            30000));
    ports->setCurrentIndex(ports->findText(missing + " : user-given port"));
    widget<QPushButton>(window, "pushButton_connect")->click();
    QVERIFY(QTest::qWaitFor([&] { return state->state() == LinkState::OpenFailed; }, 30000));
    QVERIFY(!portProblem->text().isEmpty());
    QCOMPARE(settled(), oneLine);
    window.resize(800, 600);
    QVERIFY(QTest::qWaitFor([&] { return portProblem->shownText() != portProblem->text(); }, 5000));
    QCOMPARE(settled(), oneLine);
    QCOMPARE(portProblem->toolTip(), portProblem->text());
    QTest::mouseClick(portProblem, Qt::LeftButton);
    auto *popup = portProblem->findChild<QLabel *>("elidedTextPopup");
    QVERIFY(popup && popup->isVisible());
    QCOMPARE(popup->text(), portProblem->text());
    popup->close();
    window.resize(1366, 768);

    // Connected, then the port gone while "Reconnect automatically" waits: the countdown is
    // part of the connection state.
    widget<QCheckBox>(window, "checkBox_autoReconnect")->setChecked(true);
    QVERIFY(connectThroughPanel(window, sim->portName()));
    QCOMPARE(settled(), oneLine);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Modbus: connection lost on "));
    sim->kill();
    QVERIFY2(QTest::qWaitFor([&] { return state->text().contains("reconnecting automatically"); },
                             30000),
             qPrintable(state->text()));
    QVERIFY(QTest::qWaitFor([&] { return !portProblem->text().isEmpty(); }, 30000));
    QCOMPARE(settled(), oneLine);
    widget<QPushButton>(window, "pushButton_disconnect")->click();
}

void TestStatusLine::statusBarStaysOneLineAtScaleTwo()
{
    if (qEnvironmentVariableIsSet("QUVA_SCALE_TWO_CHILD"))
        QSKIP("run by the parent");
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    QVERIFY(startTestChild(child, "statusBarStaysOneLine",
                           {"QT_SCALE_FACTOR=2", "QUVA_SCALE_TWO_CHILD=1"}));
    QVERIFY(child.waitForFinished(300000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
}

void TestStatusLine::picturesSayWhereTheyWent()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *notice = widget<ElidedLabel>(window, "label_notice");
    QTemporaryDir folder;

    const QString png = folder.filePath("plot.png");
    answerer.answerFileDialog(png);
    widget<QPushButton>(window, "pushButton_savePicture")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QVERIFY(QFile::exists(png));
    QCOMPARE(notice->text(), "Picture saved to " + png);

    const QString missing = folder.filePath("gone/plot.png");
    answerer.answerFileDialog(missing);
    answerer.answerMessageBox(QMessageBox::Ok);
    widget<QPushButton>(window, "pushButton_savePicture")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.last().title, QString("Save picture"));
    QVERIFY2(answerer.seenBoxes.last().text.startsWith("The picture could not be saved to " +
                                                       missing + ": "),
             qPrintable(answerer.seenBoxes.last().text));
    QCOMPARE(notice->text(), "Picture saved to " + png);

    widget<QPushButton>(window, "pushButton_copyPicture")->click();
    const QImage copied = QApplication::clipboard()->image();
    QVERIFY(!copied.isNull());
    QCOMPARE(notice->text(), QString::fromUtf8("Picture copied to the clipboard (%1 × %2 pixels)")
                                 .arg(copied.width())
                                 .arg(copied.height()));
}

QTEST_MAIN(TestStatusLine)
#include "tst_statusline.moc"
