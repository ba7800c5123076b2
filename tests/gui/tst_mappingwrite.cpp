// The mapping tab writing to the simulated sensor through the tool's own Modbus link.

#include "customization.h"
#include "dialoganswerer.h"
#include "modbus.h"
#include "registermap.h"
#include "simprocess.h"
#include "testfiles.h"
#include "usercalibtab.h"
#include "wordconversion.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

namespace
{

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

QVector<uint16_t> mappingWords(std::initializer_list<double> values)
{
    QVector<uint16_t> words;
    for (double value : values)
        words += floatToWords(float(value));
    return words;
}

// The tab and the link wired as the main window wires them; the identity of the sensor
// is recorded from the connect probe as the settings tab records it.
struct Bench {
    Modbus modbus;
    UserCalibTab tab;
    QSignalSpy writes{&tab, SIGNAL(writeRegisters(uint8_t, QVector<uint16_t>))};
    QSignalSpy reads{&tab, SIGNAL(readRegisters(uint8_t, uint8_t))};
    QSignalSpy replies{&modbus, SIGNAL(replyReceived(QVector<uint16_t>))};
    DialogAnswerer answerer;

    Bench()
    {
        QObject::connect(&tab, SIGNAL(writeRegisters(uint8_t, QVector<uint16_t>)), &modbus,
                         SLOT(writeRegisters(uint8_t, QVector<uint16_t>)));
        QObject::connect(&tab, SIGNAL(readRegisters(uint8_t, uint8_t)), &modbus,
                         SLOT(readRegisters(uint8_t, uint8_t)));
        QObject::connect(&modbus, SIGNAL(replyReceived(QVector<uint16_t>)), &tab,
                         SLOT(replyReceived(QVector<uint16_t>)));
        QObject::connect(&modbus, &Modbus::replyReceived, [](const QVector<uint16_t> &words) {
            if (words.size() != ReplyLength::Info)
                return;
            const DeviceIdentity identity = decodeIdentity(words);
            deviceSerialNumber = identity.serialNumber;
            deviceFirmwareDate = identity.firmwareDate;
        });
        tab.show();
    }

    bool connectTo(const SimProcess &sim)
    {
        modbus.connectDevice(sim.portName(), 19200, 0, 1);
        return QTest::qWaitFor([] { return deviceSerialNumber != 0; }, 30000);
    }

    void click(const char *button)
    {
        QTest::mouseClick(tab.findChild<QPushButton *>(button), Qt::LeftButton);
    }

    void load(const QString &fileName)
    {
        answerer.answerFileDialog(fileName);
        click("pushButton_load");
        answerer.waitUntilAnswered();
    }

    // Presses the write button and returns the one message box it leads to.
    DialogAnswerer::SeenBox write()
    {
        const int seen = answerer.seenBoxes.size();
        answerer.answerMessageBox(QMessageBox::Ok);
        click("pushButton_writeQUVA");
        if (!answerer.waitUntilAnswered() || answerer.seenBoxes.size() != seen + 1)
            return {QString(), QString(), QMessageBox::NoIcon};
        return answerer.seenBoxes.last();
    }
};

} // namespace

class TestMappingWrite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void refusedWithoutSensor();
    void firmwareGate_data();
    void firmwareGate();
    void writeAfterStartUp();
    void readBack_data();
    void readBack();
    void otherReplyLengthsShowNothing();
    void invalidFactorsAreNotSent_data();
    void invalidFactorsAreNotSent();

private:
    QTemporaryDir directory;
};

void TestMappingWrite::initTestCase()
{
    qRegisterMetaType<uint8_t>("uint8_t");
    QVERIFY(directory.isValid());
}

void TestMappingWrite::init()
{
    removeSettingsFile();
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    readCustomization(settings);
}

void TestMappingWrite::cleanup()
{
    deviceSerialNumber = 0;
    deviceFirmwareDate = QDateTime();
}

void TestMappingWrite::refusedWithoutSensor()
{
    Bench bench;
    const DialogAnswerer::SeenBox box = bench.write();
    QCOMPARE(box.title, QString("Viscosity Mapping"));
    QCOMPARE(box.text, QString("Please connect to QUVA first."));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(bench.writes.count(), 0);
    QCOMPARE(bench.reads.count(), 0);
}

void TestMappingWrite::firmwareGate_data()
{
    QTest::addColumn<QString>("firmwareDate");
    QTest::addColumn<bool>("accepted");

    // The gate is local midnight (Europe/Berlin in the tests).
    QTest::newRow("2024-10-07 23:59:59 local") << "2024-10-07T23:59:59+02:00" << false;
    QTest::newRow("2024-10-08 00:00:00 local") << "2024-10-08T00:00:00+02:00" << true;
    QTest::newRow("2024-10-08 in the afternoon") << "2024-10-08T15:30:00+02:00" << true;
    QTest::newRow("2023 firmware") << "2023-05-02T08:00:00Z" << false;
}

void TestMappingWrite::firmwareGate()
{
    QFETCH(QString, firmwareDate);
    QFETCH(bool, accepted);

    SimProcess sim({"--firmware-date", firmwareDate});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Bench bench;
    QVERIFY(bench.connectTo(sim));

    const DialogAnswerer::SeenBox box = bench.write();
    QCOMPARE(box.title, QString("Viscosity Mapping"));
    if (accepted) {
        QCOMPARE(box.text, QString("Write was successful."));
        QCOMPARE(box.icon, QMessageBox::Information);
        QCOMPARE(bench.writes.count(), 4);
    } else {
        QCOMPARE(box.text, QString("The connected QUVA does not support viscosity mapping."));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(bench.writes.count(), 0);
        QCOMPARE(bench.reads.count(), 0);
    }
}

void TestMappingWrite::writeAfterStartUp()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Bench bench;
    QVERIFY(bench.connectTo(sim));

    const DialogAnswerer::SeenBox box = bench.write();
    QCOMPARE(box.text, QString("Write was successful."));

    const QVector<uint16_t> block = mappingWords({1, 1, NaN, NaN, NaN});
    const QList<QPair<int, QVector<uint16_t>>> expected{
        {32, {0x6B3E}}, {192, block}, {33, {1}}, {32, {0}}};
    QCOMPARE(bench.writes.count(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(bench.writes.at(i).at(0).toInt(), expected[i].first);
        QCOMPARE(bench.writes.at(i).at(1).value<QVector<uint16_t>>(), expected[i].second);
    }
    QCOMPARE(bench.reads.count(), 1);
    QCOMPARE(bench.reads.at(0).at(0).toInt(), 192);
    QCOMPARE(bench.reads.at(0).at(1).toInt(), 201);

    const QVector<uint16_t> registers = sim.registers();
    QCOMPARE(registers.mid(192, 4), block.mid(0, 4));
    for (int reg = 196; reg <= 200; reg += 2)
        QVERIFY(std::isnan(wordsToFloat(registers.mid(reg, 2))));
    QCOMPARE(sim.state().value("unlocked").toBool(), false);
}

void TestMappingWrite::readBack_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QString>("message");

    // 0.1 has no exact single-precision value: the comparison is made in single precision.
    QTest::newRow("sensor stores the block") << QStringList{} << "Write was successful.";
    QTest::newRow("sensor keeps its old block")
        << QStringList{"--ignore-writes", "192-201"} << "Data mismatch, please try again.";
}

void TestMappingWrite::readBack()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QString, message);

    const QString fileName = directory.filePath("mapping.quc");
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[General]\nT1=40\nnuRef1=25\nT2=100\nnuRef2=4\nA=0.02\nB=900.3\nC=95.1\n"
               "k=0.1\nalpha=0.95\n");
    file.close();

    SimProcess sim(simArguments);
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Bench bench;
    QVERIFY(bench.connectTo(sim));
    bench.load(fileName);

    const DialogAnswerer::SeenBox box = bench.write();
    QCOMPARE(box.title, QString("Viscosity Mapping"));
    QCOMPARE(box.text, message);
    if (simArguments.isEmpty()) {
        QCOMPARE(sim.registers().mid(192, 10), mappingWords({0.1, 0.95, 0.02, 900.3, 95.1}));
        QCOMPARE(box.icon, QMessageBox::Information);
    } else {
        QCOMPARE(box.icon, QMessageBox::Warning);
    }
}

void TestMappingWrite::otherReplyLengthsShowNothing()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Bench bench;
    QVERIFY(bench.connectTo(sim));

    // A box would take this answer and be recorded.
    bench.answerer.answerMessageBox(QMessageBox::Ok);
    for (uint8_t lastReg : {200, 202}) {
        const int before = bench.replies.count();
        bench.modbus.readRegisters(192, lastReg);
        QVERIFY(QTest::qWaitFor([&] { return bench.replies.count() > before; }, 30000));
        QCOMPARE(bench.replies.last().at(0).value<QVector<uint16_t>>().size(), lastReg - 191);
    }
    // The tab handled each reply within its signal, before the wait above ended.
    QVERIFY(bench.answerer.seenBoxes.isEmpty());
    QCOMPARE(bench.answerer.pendingAnswers(), 1);
}

void TestMappingWrite::invalidFactorsAreNotSent_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("k is nan") << QByteArray("[General]\nk=nan\nalpha=1\n");
    QTest::newRow("alpha is infinite") << QByteArray("[General]\nk=1.2\nalpha=inf\n");
    // Finite in double, infinite in single precision: was sent as 7f80 0000 and read back
    // equal, "Write was successful.".
    QTest::newRow("k beyond single precision") << QByteArray("[General]\nk=1e39\nalpha=1\n");
    QTest::newRow("alpha beyond single precision") << QByteArray("[General]\nk=1\nalpha=3.5e38\n");
    QTest::newRow("k far below single precision") << QByteArray("[General]\nk=-1e300\nalpha=1\n");
    QTest::newRow("B beyond single precision")
        << QByteArray("[General]\nk=1\nalpha=1\nA=0.02\nB=1e300\nC=95\n");
    QTest::newRow("C is infinite")
        << QByteArray("[General]\nk=1\nalpha=1\nA=0.02\nB=900\nC=-inf\n");
}

void TestMappingWrite::invalidFactorsAreNotSent()
{
    QFETCH(QByteArray, content);

    const QString fileName = directory.filePath("edited.quc");
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();

    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Bench bench;
    QVERIFY(bench.connectTo(sim));
    bench.load(fileName);

    const DialogAnswerer::SeenBox box = bench.write();
    QCOMPARE(box.title, QString("Viscosity Mapping"));
    QCOMPARE(box.text, QString("The mapping parameters are invalid: k and α must be finite "
                               "numbers, and A, B and C finite or empty, within single "
                               "precision. Please calculate or load a valid mapping."));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(bench.writes.count(), 0);
    QCOMPARE(bench.reads.count(), 0);
    QCOMPARE(sim.registers().mid(192, 4), mappingWords({1, 1}));
}

QTEST_MAIN(TestMappingWrite)
#include "tst_mappingwrite.moc"
