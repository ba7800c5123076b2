// The Debug tab against the simulated sensor: register dumps and calibration
// programming, wired to the link as the main window wires them.

#include "customization.h"
#include "dialoganswerer.h"
#include "modbus.h"
#include "modbusframe.h"
#include "wordconversion.h"
#include "ptypair.h"
#include "debugtab.h"
#include "simprocess.h"
#include "testfiles.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace
{

const uint32_t SimSerial = 0x0A1B2C3D;
// The time the tab's clock gives: dumps are named after its minute.
const QDateTime dumpTime(QDate(2025, 6, 1), QTime(8, 30, 59));
const QString dumpName = "dump-0A-1B-2C-3D-2025-06-01T08-30.bin";

// The Debug tab and the link, connected like in the main window.
struct Bench {
    Modbus modbus;
    DebugTab tab;
    QSignalSpy errors{&modbus, SIGNAL(showModbusError(QString))};
    QSignalSpy connected{&modbus, SIGNAL(deviceConnected())};

    Bench()
    {
        tab.setClock([] { return dumpTime; });
        QObject::connect(&tab, SIGNAL(readRegisters(uint8_t, uint8_t)), &modbus,
                         SLOT(readRegisters(uint8_t, uint8_t)));
        QObject::connect(&tab, SIGNAL(writeRegisters(uint8_t, QVector<uint16_t>)), &modbus,
                         SLOT(writeRegisters(uint8_t, QVector<uint16_t>)));
        QObject::connect(&modbus, SIGNAL(replyReceived(QVector<uint16_t>)), &tab,
                         SLOT(replyReceived(QVector<uint16_t>)));
    }

    bool connectTo(const QString &port)
    {
        modbus.connectDevice(port, 19200, 0, 1);
        return QTest::qWaitFor([&] { return connected.count() > 0; }, 30000);
    }

    void click(const char *button)
    {
        QTest::mouseClick(tab.findChild<QPushButton *>(button), Qt::LeftButton);
    }

    QString calibrationDateLabel() { return tab.findChild<QLabel *>("label_calibDate")->text(); }
};

// A calibration image of registers 0..202 as the factory writes it.
QByteArray calibrationFile(uint32_t serial, const QDateTime &date, uint16_t testValue = 42,
                           int extraBytes = 0)
{
    QVector<uint16_t> words(203, 0);
    words[0] = testValue;
    words[2] = uint16_t(serial >> 16);
    words[3] = uint16_t(serial);
    for (int i = 96; i <= 148; ++i)
        words[i] = uint16_t(0x1000 + i * 7);
    const QVector<uint16_t> dateWords = uint32ToWords(uint32_t(date.toSecsSinceEpoch()));
    words[144] = dateWords[0];
    words[145] = dateWords[1];
    return littleEndianBytes(words) + QByteArray(extraBytes, '\x55');
}

// Writes the file and gives its absolute path, as a file dialog would.
QString writeTestFile(const QString &name, const QByteArray &bytes)
{
    writeFile(name, bytes);
    return QFileInfo(name).absoluteFilePath();
}

QStringList dumpFiles()
{
    return QDir().entryList({"dump-*.bin"}, QDir::Files);
}

const QDateTime calibrated2023(QDate(2023, 6, 1), QTime(8, 30), Qt::LocalTime);

} // namespace

class TestDebugTab : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void dumpHoldsRegisters0To148();
    void dumpWithoutIdentityAndOtherReplies();
    void unwritableDumpFileIsReported();
    void programCalibration_data();
    void programCalibration();
    void refusalsSendNothing_data();
    void refusalsSendNothing();
    void sensorThatAltersTheBlock();
    void modbusErrorLeavesItPending();
};

void TestDebugTab::init()
{
    for (const QString &name : dumpFiles())
        QFile::remove(name);
    productName = "QUVA";
    deviceSerialNumber = SimSerial;
}

void TestDebugTab::dumpHoldsRegisters0To148()
{
    SimProcess sim({"--serial", "0A1B2C3D", "--rate", "0.01"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Bench bench;
    QVERIFY(bench.connectTo(sim.portName()));
    QCOMPARE(dumpFileName(SimSerial, dumpTime), dumpName);

    // A longer, older file of the same name must not keep its tail.
    const QString name = dumpName;
    writeFile(name, QByteArray(1000, '\x77'));

    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Ok);
    bench.click("pushButton_readAllRegisters");
    QCOMPARE(bench.calibrationDateLabel(), QString("-"));
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes[0].title, QString("Diagnostic Data"));
    // The whole path, so that the user can find the file.
    QCOMPARE(answerer.seenBoxes[0].text,
             "Diagnostic data was written to file:\n" + QDir::current().absoluteFilePath(name));
    QCOMPARE(answerer.seenBoxes[0].icon, QMessageBox::Information);

    QFile file(name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), 298);
    const QVector<uint16_t> registers = sim.registers();
    QCOMPARE(littleEndianWords(bytes), registers.mid(0, 149));
    QCOMPARE(uint8_t(bytes[2]), uint8_t(registers[1] & 0xFF));

    const QDateTime date = QDateTime::fromSecsSinceEpoch(wordsToUint32(registers.mid(144, 2)));
    QCOMPARE(bench.calibrationDateLabel(), date.toString("yyyy-MM-dd HH:mm:ss"));
    QCOMPARE(date.date().year(), 2023);
}

void TestDebugTab::dumpWithoutIdentityAndOtherReplies()
{
    SimProcess sim({"--rate", "0.01"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Bench bench;
    QVERIFY(bench.connectTo(sim.portName()));
    deviceSerialNumber = 0;

    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Ok);
    bench.click("pushButton_readAllRegisters");
    // Replies meant for other tabs change nothing.
    bench.tab.replyReceived(QVector<uint16_t>(47, 0xAAAA));
    bench.tab.replyReceived(QVector<uint16_t>(15, 0xBBBB));
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(dumpFiles().size(), 1);
    QCOMPARE(dumpFiles(), QStringList{"dump-00-00-00-00-2025-06-01T08-30.bin"});

    // A second dump in the same minute replaces the first.
    QVERIFY(QTest::qWaitFor([&] { return bench.errors.count() >= 3; }, 30000));
    bench.modbus.writeRegisters(32, {0x6B3E});
    bench.modbus.writeRegisters(38, {77});
    answerer.answerMessageBox(QMessageBox::Ok);
    bench.click("pushButton_readAllRegisters");
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(dumpFiles().size(), 1);
    QFile file(dumpFiles()[0]);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QVector<uint16_t> words = littleEndianWords(file.readAll());
    QCOMPARE(words.size(), 149);
    QCOMPARE(words[38], uint16_t(77));
    QCOMPARE(words, sim.registers().mid(0, 149));
}

void TestDebugTab::unwritableDumpFileIsReported()
{
    SimProcess sim({"--serial", "0A1B2C3D", "--rate", "0.01"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Bench bench;
    QVERIFY(bench.connectTo(sim.portName()));

    // A folder in the file's place cannot be replaced by the dump.
    const QString name = dumpName;
    QVERIFY(QDir().mkdir(name));
    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Ok);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^DebugTab: cannot write diagnostic"));
    bench.click("pushButton_readAllRegisters");
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes[0].title, QString("Diagnostic Data"));
    QCOMPARE(answerer.seenBoxes[0].text, "Could not write diagnostic data to file:\n" + name);
    QCOMPARE(answerer.seenBoxes[0].icon, QMessageBox::Warning);
    QCOMPARE(bench.calibrationDateLabel(), QString("-"));
    QVERIFY(QDir().rmdir(name));
    QCOMPARE(dumpFiles(), QStringList());
}

void TestDebugTab::programCalibration_data()
{
    QTest::addColumn<QDateTime>("date");
    QTest::addColumn<int>("extraBytes");
    QTest::newRow("exact file") << calibrated2023 << 0;
    QTest::newRow("longer file") << calibrated2023 << 100;
    QTest::newRow("dated 2020-01-01 00:00 local")
        << QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::LocalTime) << 0;
}

void TestDebugTab::programCalibration()
{
    QFETCH(QDateTime, date);
    QFETCH(int, extraBytes);

    SimProcess sim({"--serial", "0A1B2C3D", "--rate", "0.01"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Bench bench;
    QVERIFY(bench.connectTo(sim.portName()));
    const QByteArray image = calibrationFile(SimSerial, date, 42, extraBytes);
    const QString path = writeTestFile("calibration.bin", image);

    DialogAnswerer answerer;
    answerer.answerFileDialog(path);
    answerer.answerMessageBox(QMessageBox::Yes);
    answerer.answerMessageBox(QMessageBox::Ok);
    bench.click("pushButton_progCalib");
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenFileDialogTitles, QStringList{"Select Calibration File"});
    QCOMPARE(answerer.seenBoxes[0].title, QString("Calibration File"));
    QCOMPARE(answerer.seenBoxes[0].text,
             "Date of calibration file: " + date.toString("yyyy-MM-dd HH:mm:ss") +
                 "\nDo you want to program this calibration now?");
    QCOMPARE(answerer.seenBoxes[1].title, QString("Calibration Data"));
    QCOMPARE(answerer.seenBoxes[1].text, QString("Calibration data was written successfully."));

    QCOMPARE(sim.registers().mid(96, 53), littleEndianWords(image).mid(96, 53));
    QVERIFY(!sim.state().value("unlocked").toBool());
    QCOMPARE(bench.calibrationDateLabel(), date.toString("yyyy-MM-dd HH:mm:ss"));
}

void TestDebugTab::refusalsSendNothing_data()
{
    QTest::addColumn<uint32_t>("serialKnown");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    const QByteArray good = calibrationFile(SimSerial, calibrated2023);
    QTest::newRow("no sensor, before any dialog")
        << uint32_t(0) << QByteArray() << "Program Calibration File"
        << "Please connect to QUVA first.";
    QTest::newRow("too short") << SimSerial << good.left(405) << "Calibration File"
                               << "Could not read calibration file.";
    QTest::newRow("test value") << SimSerial << calibrationFile(SimSerial, calibrated2023, 41)
                                << "Calibration File"
                                << "Invalid Calibration File";
    QTest::newRow("test value is checked before the serial number")
        << SimSerial << calibrationFile(0x11111111, calibrated2023, 0) << "Calibration File"
        << "Invalid Calibration File";
    QTest::newRow("other sensor") << SimSerial << calibrationFile(0x0A1B2C3E, calibrated2023)
                                  << "Calibration File"
                                  << "The selected calibration file does not match the "
                                     "connected QUVA!";
    QTest::newRow("a second before 2020")
        << SimSerial
        << calibrationFile(SimSerial, QDateTime(QDate(2019, 12, 31), QTime(23, 59, 59)))
        << "Calibration File"
        << "The selected calibration file has an invalid calibration date!";
}

void TestDebugTab::refusalsSendNothing()
{
    QFETCH(uint32_t, serialKnown);
    QFETCH(QByteArray, file);
    QFETCH(QString, title);
    QFETCH(QString, text);

    SimProcess sim({"--serial", "0A1B2C3D", "--rate", "0.01"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Bench bench;
    QVERIFY(bench.connectTo(sim.portName()));
    deviceSerialNumber = serialKnown;
    const qint64 requestsBefore = sim.counter("requests");

    DialogAnswerer answerer;
    if (!file.isEmpty())
        answerer.answerFileDialog(writeTestFile("calibration.bin", file));
    answerer.answerMessageBox(QMessageBox::Ok);
    bench.click("pushButton_progCalib");
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.size(), 1);
    QCOMPARE(answerer.seenBoxes[0].title, title);
    QCOMPARE(answerer.seenBoxes[0].text, text);
    QCOMPARE(answerer.seenFileDialogTitles.size(), file.isEmpty() ? 0 : 1);

    // A read after the refusal: once it is answered, the simulator has counted every
    // request sent before it, and there is none but this read.
    const int errorsBefore = bench.errors.count();
    bench.modbus.readRegisters(0, 0);
    QVERIFY(QTest::qWaitFor([&] { return bench.errors.count() > errorsBefore; }, 30000));
    QCOMPARE(sim.counter("requests"), requestsBefore + 1);
    QCOMPARE(bench.calibrationDateLabel(), QString("-"));
}

void TestDebugTab::sensorThatAltersTheBlock()
{
    SimProcess sim({"--serial", "0A1B2C3D", "--rate", "0.01", "--ignore-writes", "120-121"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Bench bench;
    QVERIFY(bench.connectTo(sim.portName()));

    DialogAnswerer answerer;
    answerer.answerFileDialog(
        writeTestFile("calibration.bin", calibrationFile(SimSerial, calibrated2023)));
    answerer.answerMessageBox(QMessageBox::Yes);
    answerer.answerMessageBox(QMessageBox::Ok);
    bench.click("pushButton_progCalib");
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes[1].title, QString("Calibration Data"));
    QCOMPARE(answerer.seenBoxes[1].text,
             QString("Programming calibration data failed, please try again."));
    QCOMPARE(answerer.seenBoxes[1].icon, QMessageBox::Warning);
    QCOMPARE(bench.calibrationDateLabel(), QString("-"));
}

void TestDebugTab::modbusErrorLeavesItPending()
{
    // A scripted sensor that refuses the calibration block.
    PtyPair pty;
    Bench bench;
    bench.modbus.connectDevice(pty.slavePath(), 19200, 0, 1);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 0, 46));
    QByteArray info(1, char(94));
    info.append(QByteArray(94, 0));
    pty.write(buildRequest(1, 3, info));
    QVERIFY(QTest::qWaitFor([&] { return bench.connected.count() == 1; }, 30000));

    const QByteArray image = calibrationFile(SimSerial, calibrated2023);
    DialogAnswerer answerer;
    answerer.answerFileDialog(writeTestFile("calibration.bin", image));
    answerer.answerMessageBox(QMessageBox::Yes);
    bench.click("pushButton_progCalib");
    QVERIFY(answerer.waitUntilAnswered());

    QCOMPARE(pty.readFrame(), buildWriteRequest(1, 32, {0x6B3E}));
    pty.write(buildRequest(1, 16, QByteArray::fromHex("00200001")));
    const QByteArray block = pty.readFrame();
    QCOMPARE(block, buildWriteRequest(1, 96, littleEndianWords(image).mid(96, 53)));
    QCOMPARE(uint8_t(block[6]), uint8_t(106));
    pty.write(buildRequest(1, 0x90, QByteArray::fromHex("04")));

    // The command, the lock and the read-back are dropped; no box appears.
    QVERIFY(pty.readFrame(500).isEmpty());
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(bench.calibrationDateLabel(), QString("-"));

    // Still pending: a late 53-word reply is taken as the read-back.
    answerer.answerMessageBox(QMessageBox::Ok);
    bench.tab.replyReceived(littleEndianWords(image).mid(96, 53));
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.last().text, QString("Calibration data was written successfully."));
}

QTEST_MAIN(TestDebugTab)
#include "tst_debugtab.moc"
