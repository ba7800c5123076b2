#include "connectionstatetext.h"
#include "currentdatatab.h"
#include "customization.h"
#include "debugtab.h"
#include "dialoganswerer.h"
#include "logrecorder.h"
#include "mainwindow.h"
#include "modbusframe.h"
#include "ptypair.h"
#include "settingstab.h"
#include "systemstatetext.h"
#include "testfiles.h"
#include "usercalibtab.h"

#include <QGroupBox>
#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>

Q_DECLARE_METATYPE(LinkState)

namespace
{

void writeSettingsFile(const QByteArray &content)
{
    QFile file("gui_settings.ini");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

void startUp()
{
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    readCustomization(settings);
}

QStringList tabTitles(MainWindow &window)
{
    auto *tabs = window.findChild<QTabWidget *>("tabWidget");
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i)
        titles << tabs->tabText(i);
    return titles;
}

QLabel *statusLabel(MainWindow &window, bool errorLabel)
{
    const QList<QLabel *> labels = window.statusBar()->findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (label->styleSheet().contains("red") == errorLabel)
            return label;
    }
    return nullptr;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void customizationDefaults();
    void customizationFromFile_data();
    void customizationFromFile();
    void tabBar_data();
    void tabBar();
    void everyConnectionIsMade();
    void stateTexts_data();
    void stateTexts();
    void stateLabel();
    void connectionStateTexts_data();
    void connectionStateTexts();
    void linkErrorsReachTheErrorLabel();
    void tabsTalkThroughTheOneLink();
    void quitAsksFirst();
    void numbersUseTheCLocale();
    void fitsASmallScreenWithEveryTab();
};

void TestMainWindow::init()
{
    removeSettingsFile();
    // A journal left by an earlier case would ask to be restored.
    QFile::remove("recording-journal.csv");
}

void TestMainWindow::customizationDefaults()
{
    startUp();
    QCOMPARE(companyName, QString("Tarnwell"));
    QCOMPARE(productName, QString("QUVA"));
    QCOMPARE(applicationName, QString("QUVA-Explorer"));
    QCOMPARE(viscosityMapping, false);
    QVERIFY2(!QFile::exists("gui_settings.ini"), "reading must not create the file");

    MainWindow window;
    QCOMPARE(window.windowTitle(), QString("QUVA-Explorer"));
    QCOMPARE(window.objectName(), QString("MainWindow"));
    QCOMPARE(window.size(), QSize(596, 447));
}

void TestMainWindow::customizationFromFile_data()
{
    QTest::addColumn<QByteArray>("mappingValue");
    QTest::addColumn<bool>("mapping");
    QTest::newRow("true") << QByteArray("true") << true;
    QTest::newRow("1") << QByteArray("1") << true;
    QTest::newRow("false") << QByteArray("false") << false;
    QTest::newRow("0") << QByteArray("0") << false;
    QTest::newRow("empty") << QByteArray("") << false;
}

void TestMainWindow::customizationFromFile()
{
    QFETCH(QByteArray, mappingValue);
    QFETCH(bool, mapping);

    const QByteArray content = "[customization]\ncompanyName=Acme Sensors\nproductName=VISCO\n"
                               "applicationName=Visco Tool\nviscosityMapping=" +
                               mappingValue + "\n";
    writeSettingsFile(content);
    startUp();
    QCOMPARE(companyName, QString("Acme Sensors"));
    QCOMPARE(productName, QString("VISCO"));
    QCOMPARE(viscosityMapping, mapping);

    {
        MainWindow window;
        QCOMPARE(window.windowTitle(), QString("Visco Tool"));
        QCOMPARE(QCoreApplication::organizationName(), QString("Acme Sensors"));
        QCOMPARE(QCoreApplication::applicationName(), QString("Visco Tool"));
    }
    // The customization values are never written back; other parts keep their own keys.
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    settings.beginGroup("customization");
    QCOMPARE(settings.childKeys().size(), 4);
    QCOMPARE(settings.value("productName").toString(), QString("VISCO"));
    QCOMPARE(settings.value("viscosityMapping").toByteArray(), mappingValue);
}

void TestMainWindow::tabBar_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("no settings file") << QByteArray() << QStringList{"Settings", "Live Data"};
    QTest::newRow("mapping on") << QByteArray("[customization]\nviscosityMapping=true\n")
                                << QStringList{"Settings", "Live Data", "Viscosity Mapping"};
    QTest::newRow("debug on, mapping off")
        << QByteArray("[General]\ndebug=true\n") << QStringList{"Settings", "Live Data", "Debug"};
    QTest::newRow("debug and mapping on")
        << QByteArray("[General]\ndebug=true\n[customization]\nviscosityMapping=1\n")
        << QStringList{"Settings", "Live Data", "Viscosity Mapping", "Debug"};
    QTest::newRow("debug inside another group has no effect")
        << QByteArray("[customization]\ndebug=true\n") << QStringList{"Settings", "Live Data"};
    QTest::newRow("debug false") << QByteArray("[General]\ndebug=false\n")
                                 << QStringList{"Settings", "Live Data"};
}

void TestMainWindow::tabBar()
{
    QFETCH(QByteArray, settings);
    QFETCH(QStringList, titles);

    if (!settings.isEmpty())
        writeSettingsFile(settings);
    startUp();
    MainWindow window;
    QCOMPARE(tabTitles(window), titles);
    QCOMPARE(window.findChild<QTabWidget *>("tabWidget")->currentIndex(), 0);
    // The mapping tab lives on without its page.
    QVERIFY(window.findChild<UserCalibTab *>("tab_userCalib"));
    QCOMPARE(window.findChild<DebugTab *>() != nullptr, titles.contains("Debug"));
}

void TestMainWindow::everyConnectionIsMade()
{
    // A string-based connection that fails says so on the message log; the
    // window with every tab makes all eighteen.
    writeSettingsFile("[General]\ndebug=true\n[customization]\nviscosityMapping=true\n");
    startUp();
    QStringList logged;
    {
        LogRecorder log(LogRecorder::KeepToItself);
        {
            MainWindow window;
        }
        logged = log.lines();
    }
    QVERIFY2(logged.filter("QObject::connect").isEmpty(), qPrintable(logged.join('\n')));
}

void TestMainWindow::stateTexts_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("oneLine");
    QTest::addColumn<QString>("multiLine");

    QTest::newRow("0 is normal") << 0 << "normal"
                                 << "normal";
    QTest::newRow("two bits") << 0x0006 << "out of range, frequency controller error"
                              << "out of range\nfrequency controller error";
    QTest::newRow("bit without text keeps its separator") << 0x0201 << "no resonance detected, "
                                                          << "no resonance detected\n";
    QTest::newRow("bit 9 alone is normal") << 0x0200 << "normal"
                                           << "normal";
    QTest::newRow("high bits alone are normal") << 0xF000 << "normal"
                                                << "normal";
    QTest::newRow("highest and lowest known bits")
        << 0x0801 << "no resonance detected, internal temperature error"
        << "no resonance detected\ninternal temperature error";
}

void TestMainWindow::stateTexts()
{
    QFETCH(int, state);
    QFETCH(QString, oneLine);
    QFETCH(QString, multiLine);
    QCOMPARE(systemStateText(uint16_t(state), false), oneLine);
    QCOMPARE(systemStateText(uint16_t(state), true), multiLine);
}

void TestMainWindow::stateLabel()
{
    startUp();
    MainWindow window;
    QLabel *label = statusLabel(window, false);
    QVERIFY(label);
    QVERIFY(label->text().isEmpty());

    auto *liveData = window.findChild<CurrentDataTab *>("tab_currentData");
    emit liveData->showSystemState(0);
    QCOMPARE(label->text(), QString("Current System State: normal"));
    emit liveData->showSystemState(0x0006);
    QCOMPARE(label->text(),
             QString("Current System State: out of range, frequency controller error"));
}

void TestMainWindow::connectionStateTexts_data()
{
    QTest::addColumn<LinkState>("state");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("text");
    const QString tty = "/dev/ttyUSB0";

    // The modes are the connection panel's and the sensor's register 37 coding.
    QTest::newRow("even, 2") << LinkState::Connected << tty << 3
                             << "Connected to /dev/ttyUSB0, 9600 baud, parity even, 2 stop bits, "
                                "address 7";
    QTest::newRow("odd, 1") << LinkState::Connecting << tty << 4
                            << "Connecting to /dev/ttyUSB0, 9600 baud, parity odd, 1 stop bit, "
                               "address 7 ...";
    QTest::newRow("mode outside the table")
        << LinkState::Connected << tty << 9
        << "Connected to /dev/ttyUSB0, 9600 baud, parity and stop bits as the port had them, "
           "address 7";
    QTest::newRow("port not opened")
        << LinkState::OpenFailed << tty << 0 << "Not connected: cannot open /dev/ttyUSB0";
    // A network address has no line parameters of its own.
    QTest::newRow("network, connected") << LinkState::Connected << "mbtcp://10.0.0.20:502" << 3
                                        << "Connected to mbtcp://10.0.0.20:502, address 7";
    QTest::newRow("network, no answer")
        << LinkState::ProbeUnanswered << "tcp://gw:4001" << 0
        << "Connecting to tcp://gw:4001: no answer from address 7: check the address and the "
           "serial settings of the device server or gateway";
    QTest::newRow("network, lost")
        << LinkState::ConnectionLost << "tcp://gw:4001" << 0 << "Connection lost: tcp://gw:4001";
}

void TestMainWindow::connectionStateTexts()
{
    QFETCH(LinkState, state);
    QFETCH(QString, port);
    QFETCH(int, mode);
    QFETCH(QString, text);
    QCOMPARE(connectionStateText(state, {port, 9600, uint8_t(mode), 7}), text);
}

void TestMainWindow::linkErrorsReachTheErrorLabel()
{
    startUp();
    MainWindow window;
    QLabel *label = statusLabel(window, true);
    QVERIFY(label);
    QCOMPARE(label->styleSheet(), QString("font-weight: bold; color: red"));

    auto *settings = window.findChild<SettingsTab *>("tab_settings");
    emit settings->connectDevice("/dev/no-such-port", 19200, 0, 1);
    QCOMPARE(label->text(), QString("Modbus Error: connect failed"));

    // A successful reply clears it.
    PtyPair pty;
    emit settings->connectDevice(pty.slavePath(), 19200, 0, 1);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 0, 46));
    QByteArray payload(1, char(94));
    payload.append(QByteArray(94, 0));
    pty.write(buildRequest(1, 3, payload));
    QVERIFY(QTest::qWaitFor([&] { return label->text().isEmpty(); }, 30000));
}

void TestMainWindow::tabsTalkThroughTheOneLink()
{
    writeSettingsFile("[General]\ndebug=true\n[customization]\nviscosityMapping=true\n");
    startUp();
    MainWindow window;
    PtyPair pty;
    auto *settings = window.findChild<SettingsTab *>("tab_settings");
    auto *liveData = window.findChild<CurrentDataTab *>("tab_currentData");
    auto *mapping = window.findChild<UserCalibTab *>("tab_userCalib");
    auto *debug = window.findChild<DebugTab *>();
    QVERIFY(debug);

    emit settings->connectDevice(pty.slavePath(), 19200, 0, 1);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 0, 46));
    QByteArray info(1, char(94));
    info.append(QByteArray(94, 0));
    pty.write(buildRequest(1, 3, info));
    // The probe's reply connects the link, which enables the settings panel.
    auto *settingsGroup = window.findChild<QGroupBox *>("groupBox_settings");
    QVERIFY(QTest::qWaitFor([&] { return settingsGroup->isEnabled(); }, 30000));

    const QByteArray writeAck = buildRequest(1, 16, QByteArray::fromHex("00200001"));
    const QByteArray readAck = buildRequest(1, 3, QByteArray::fromHex("020000"));
    struct Step {
        std::function<void()> emitRequest;
        QByteArray frame;
        QByteArray answer;
    };
    const QList<Step> steps = {
        {[&] { emit settings->readRegisters(0, 0); }, buildReadRequest(1, 0, 0), readAck},
        {[&] { emit settings->writeRegisters(32, {1}); }, buildWriteRequest(1, 32, {1}), writeAck},
        {[&] { emit liveData->readRegisters(16, 30); }, buildReadRequest(1, 16, 30), readAck},
        {[&] { emit mapping->writeRegisters(32, {2}); }, buildWriteRequest(1, 32, {2}), writeAck},
        {[&] { emit mapping->readRegisters(192, 201); }, buildReadRequest(1, 192, 201), readAck},
        {[&] { emit debug->readRegisters(0, 94); }, buildReadRequest(1, 0, 94), readAck},
        {[&] { emit debug->writeRegisters(32, {3}); }, buildWriteRequest(1, 32, {3}), writeAck},
    };
    // The Live Data tab polls meanwhile; its reads are answered and passed over.
    const QByteArray poll = buildReadRequest(1, 16, 30);
    for (const Step &step : steps) {
        step.emitRequest();
        QByteArray frame = pty.readFrame();
        for (int i = 0; i < 3 && frame == poll; ++i) {
            pty.write(readAck);
            frame = pty.readFrame();
        }
        QCOMPARE(frame.toHex(' '), step.frame.toHex(' '));
        // A request asked for before this answer is taken waits in the link's queue.
        pty.write(step.answer);
    }
}

void TestMainWindow::quitAsksFirst()
{
    startUp();
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::No);
    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    QCOMPARE(answerer.seenBoxes.size(), 1);
    QCOMPARE(answerer.seenBoxes[0].title, QString("Quit"));
    QCOMPARE(answerer.seenBoxes[0].text, QString("Are you sure?"));

    answerer.answerMessageBox(QMessageBox::Yes);
    QTest::ignoreMessage(QtDebugMsg, "application closed");
    QVERIFY(window.close());
    QVERIFY(!window.isVisible());
}

void TestMainWindow::numbersUseTheCLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(QLocale().toString(1234.5), QString("1.234,5"));

    useCLocale();
    QCOMPARE(QLocale().toString(1234567.25, 'f', 2), QString("1234567.25"));
    bool ok = false;
    QCOMPARE(QLocale().toDouble("1234.5", &ok), 1234.5);
    QVERIFY(ok);
    QLocale().toDouble("1,234.5", &ok);
    QVERIFY(!ok);
    QCOMPARE(QString::asprintf("%.1f", 2.5), QString("2.5"));
}

// With viscosity mapping on, the mapping tab held the window to at least 964 × 798, which
// pushed the buttons and the status bar off a 1366 × 768 screen (1280 × 680 usable).
void TestMainWindow::fitsASmallScreenWithEveryTab()
{
    writeSettingsFile("[General]\ndebug=true\n[customization]\nviscosityMapping=true\n");
    startUp();
    const QStringList pictures = {"USB-KIT.png", "analog-formula.svg", "visc-map.svg"};
    for (const QString &picture : pictures)
        QVERIFY(QFile::copy(QUVA_ASSETS_DIR "/" + picture, picture));
    const auto removePictures = qScopeGuard([&] {
        for (const QString &picture : pictures)
            QFile::remove(picture);
    });
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *tabs = window.findChild<QTabWidget *>("tabWidget");
    QCOMPARE(tabs->count(), 4);
    QVERIFY(!window.findChild<QLabel *>("label_USB_KIT")->pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(qobject_cast<UserCalibTab *>(tabs->widget(2)));

    for (int i = tabs->count() - 1; i >= 0; --i) {
        tabs->setCurrentIndex(i);
        const QSize minimum = window.minimumSizeHint().expandedTo(window.minimumSize());
        const QSize page = tabs->widget(i)->minimumSizeHint();
        QVERIFY2(minimum.width() <= 1280 && minimum.height() <= 680,
                 qPrintable(QString("%1: window %2 x %3, page %4 x %5")
                                .arg(tabs->tabText(i))
                                .arg(minimum.width())
                                .arg(minimum.height())
                                .arg(page.width())
                                .arg(page.height())));
    }
    window.resize(1280, 680);
    QTRY_COMPARE_WITH_TIMEOUT(window.size(), QSize(1280, 680), 2000);
    QVERIFY(window.statusBar()->geometry().bottom() < 680);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
