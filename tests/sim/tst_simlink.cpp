// The tool's own Modbus link against the simulated sensor on its pseudo-terminal.

#include "linkspy.h"
#include "modbus.h"
#include "registermap.h"
#include "wordconversion.h"
#include "simprocess.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace
{

// The link with spies on its signals, connecting to the simulator.
struct Link : LinkSpy {
    bool connectTo(const SimProcess &sim, uint32_t baudrate = 19200, uint8_t address = 1)
    {
        return LinkSpy::connectTo(sim.portName(), baudrate, address);
    }
};

QVector<uint16_t> floatWords(const QVector<float> &values)
{
    QVector<uint16_t> words;
    for (float value : values)
        words += floatToWords(value);
    return words;
}

bool sameValue(double decoded, double logged)
{
    if (std::isnan(decoded) || std::isnan(logged))
        return std::isnan(decoded) && std::isnan(logged);
    return std::abs(decoded - logged) <= 1e-9 * std::max(1.0, std::abs(logged));
}

} // namespace

class TestSimLink : public QObject
{
    Q_OBJECT

private slots:
    void probeReadsTheIdentity();
    void liveBlockFollowsTheFirmwareDate_data();
    void liveBlockFollowsTheFirmwareDate();
    void configurationWriteSequenceIsCommitted();
    void mappingIsReadBackAndApplied();
    void rejectedWriteChangesNothing_data();
    void rejectedWriteChangesNothing();
    void readBeyondTheRegistersIsAnException();
    void rebootComesBackWithTheCommittedSettings();
    void rebootForgetsUncommittedValues();
    void ignoredWritesKeepTheirOldValues();
    void calibrationBlockIsLoadedAndCommitted();
    void lineFaultSurfacesAsLinkError_data();
    void lineFaultSurfacesAsLinkError();
    void seedRepeatsTheFaults();
    void portCanBeClosedAndReopened();

private:
    // Rows that reject writes change nothing, so they share one simulator as long as
    // their arguments agree.
    QStringList sharedArguments;
    std::unique_ptr<SimProcess> sharedSim;
    std::unique_ptr<Link> sharedLink;
};

void TestSimLink::probeReadsTheIdentity()
{
    SimProcess sim(
        {"--hw-rev", "7", "--serial", "0A1B2C3D", "--firmware-date", "2024-02-21T08:00:00Z"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Link link;
    QVERIFY(link.connectTo(sim));

    const QVector<uint16_t> info = link.replies.first().at(0).value<QVector<uint16_t>>();
    QCOMPARE(info.size(), int(ReplyLength::Info));
    const DeviceIdentity identity = decodeIdentity(info);
    QCOMPARE(identity.hardwareRevision, uint16_t(7));
    QCOMPARE(formatSerialNumber(identity.serialNumber), QString("0A-1B-2C-3D"));
    QCOMPARE(identity.firmwareDate.toUTC(), QDateTime(QDate(2024, 2, 21), QTime(8, 0), Qt::UTC));
    // Factory settings: 19200 baud, none/1, address 1.
    QCOMPARE(wordsToUint32(info.mid(Registers::ModbusBaudrate, 2)), 19200u);
    QCOMPARE(info[Registers::ModbusAddress], uint16_t(1));
    QCOMPARE(info[Registers::ModbusMode], uint16_t(0));
    QCOMPARE(info, sim.registers().mid(0, ReplyLength::Info));
}

void TestSimLink::liveBlockFollowsTheFirmwareDate_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("nuInRegisters24");
    QTest::addColumn<bool>("etaInRegisters28");
    QTest::addColumn<bool>("nuUcInRegister27");
    QTest::addColumn<bool>("noResonance");

    QTest::newRow("before 2023-03-20: nu only in 18, eta computed")
        << QStringList{"--firmware-date", "2022-06-01T12:00:00Z"} << false << false << false
        << false;
    // 23:30 UTC is 00:30 in Berlin: both sides gate on local midnight.
    QTest::newRow("just after local midnight of 2023-03-20")
        << QStringList{"--firmware-date", "2023-03-19T23:30:00Z"} << true << false << false
        << false;
    QTest::newRow("from 2024-02-21: eta in 28-29")
        << QStringList{"--firmware-date", "2024-03-01T00:00:00Z"} << true << true << false << false;
    QTest::newRow("from 2024-10-08: mapped nu in 27")
        << QStringList{"--firmware-date", "2024-10-10T11:08:48Z"} << true << true << true << false;
    QTest::newRow("no resonance: viscosities and density missing")
        << QStringList{"--fault-every", "1000", "--fault-for", "1000", "--fault-bits", "0001"}
        << true << true << true << true;
}

void TestSimLink::liveBlockFollowsTheFirmwareDate()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, nuInRegisters24);
    QFETCH(bool, etaInRegisters28);
    QFETCH(bool, nuUcInRegister27);
    QFETCH(bool, noResonance);

    SimProcess sim(arguments + QStringList{"--rate", "20", "--seed", "5"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Link link;
    QVERIFY(link.connectTo(sim));
    const DeviceIdentity identity =
        decodeIdentity(link.replies.first().at(0).value<QVector<uint16_t>>());
    QVERIFY(sim.waitForFrames(3));

    const QVector<uint16_t> words = link.read(Registers::LiveFirst, Registers::LiveLast);
    QCOMPARE(words.size(), int(ReplyLength::Live));
    const LiveSample sample = decodeLiveBlock(words, identity.firmwareDate);
    const SimProcess::Frame frame = sim.frame(sample.frameNr);
    QVERIFY2(frame.frameNr != 0, "the frame read is in the frames log");
    QCOMPARE(words, frame.words);

    // What the tool decodes is what the sensor meant to encode.
    QVERIFY2(sameValue(sample.nu, frame.nu), qPrintable(QString::number(sample.nu)));
    QVERIFY(sameValue(sample.rho, frame.rho));
    QVERIFY(sameValue(sample.T, frame.T));
    QVERIFY2(sameValue(sample.eta, frame.eta), qPrintable(QString::number(sample.eta)));
    QVERIFY2(sameValue(sample.nuUc, frame.nuUc), qPrintable(QString::number(sample.nuUc)));
    QCOMPARE(sample.systemState, frame.systemState);

    const int nuHigh = Registers::Nu - Registers::LiveFirst;
    const int etaHigh = Registers::Eta - Registers::LiveFirst;
    const int nuUc = Registers::NuUc - Registers::LiveFirst;
    QCOMPARE(words[nuHigh] != 0xFFFF || words[nuHigh + 1] != 0xFFFF,
             nuInRegisters24 && !noResonance);
    QCOMPARE(words[etaHigh] != 0xFFFF || words[etaHigh + 1] != 0xFFFF,
             etaInRegisters28 && !noResonance);
    QCOMPARE(words[nuUc] != 0xFFFF, nuUcInRegister27 && !noResonance);

    // The fluid is in its first seconds of cooling from 80 °C.
    QVERIFY2(sample.T > 78 && sample.T <= 80.5, qPrintable(QString::number(sample.T)));
    if (noResonance) {
        QCOMPARE(sample.systemState, uint16_t(0x0001));
        QVERIFY(std::isnan(sample.nu) && std::isnan(sample.rho) && std::isnan(sample.eta));
        QVERIFY(std::isnan(sample.nuUc));
        return;
    }
    QCOMPARE(sample.systemState, uint16_t(0));
    // nu = 0.02·exp(900/(80 + 95)) = 3.42 cSt; rho = 870 − 0.65·60 = 831 kg/m³.
    QVERIFY2(std::abs(sample.nu - 3.42) < 0.1, qPrintable(QString::number(sample.nu)));
    QVERIFY2(std::abs(sample.rho - 831) < 10, qPrintable(QString::number(sample.rho)));
    QVERIFY(std::abs(sample.eta - sample.nu * sample.rho / 1000) < 0.01);
    QCOMPARE(std::isnan(sample.nuUc), !nuUcInRegister27);
    if (nuUcInRegister27) // k = alpha = 1 from the factory
        QVERIFY(std::abs(sample.nuUc - sample.nu) <= 0.051);
}

void TestSimLink::configurationWriteSequenceIsCommitted()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Link link;
    QVERIFY(link.connectTo(sim));

    // As the settings panel writes it: baud rate, mode, address, outputs, filter.
    const QVector<RegisterWrite> data{{Registers::ModbusBaudrate, uint32ToWords(9600)},
                                      {Registers::ModbusMode, {2}},
                                      {Registers::ModbusAddress, {1}},
                                      {Registers::AnalogOutput1, {22, 0xF830, 0x3A98}},
                                      {Registers::AnalogOutput2, {0, 0, 0}},
                                      {Registers::FilterLength, {20}}};
    QCOMPARE(link.write(configurationWriteSequence(data, DeviceCommand::CommitConfiguration)),
             QString());

    const QVector<uint16_t> info = link.read(0, Registers::InfoLast);
    QCOMPARE(info.size(), int(ReplyLength::Info));
    QCOMPARE(wordsToUint32(info.mid(Registers::ModbusBaudrate, 2)), 9600u);
    QCOMPARE(info[Registers::ModbusMode], uint16_t(2));
    QCOMPARE(info.mid(Registers::AnalogOutput1, 3), (QVector<uint16_t>{22, 0xF830, 0x3A98}));
    QCOMPARE(info.mid(Registers::AnalogOutput2, 3), (QVector<uint16_t>{0, 0, 0}));
    QCOMPARE(info[Registers::FilterLength], uint16_t(20));

    const QJsonObject state = sim.state();
    QCOMPARE(state["unlocked"].toBool(), false);
    const QJsonObject committed = state["committed"].toObject();
    QCOMPARE(committed["baud"].toInt(), 9600);
    QCOMPARE(committed["mode"].toInt(), 2);
    QCOMPARE(committed["registers"].toArray().at(Registers::FilterLength).toInt(), 20);
    // Without a reboot the line stays as it was.
    QCOMPARE(state["line"].toObject()["baud"].toInt(), 19200);
}

void TestSimLink::mappingIsReadBackAndApplied()
{
    SimProcess sim({"--rate", "20"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Link link;
    QVERIFY(link.connectTo(sim));

    const QVector<uint16_t> mapping = floatWords({2.5f, 0.8f, 0.02f, 900.0f, 95.0f});
    QCOMPARE(link.write(configurationWriteSequence({{Registers::MappingFirst, mapping}},
                                                   DeviceCommand::CommitConfiguration)),
             QString());
    QCOMPARE(link.read(Registers::MappingFirst, Registers::MappingLast), mapping);

    // Measurements from now on carry nu' = k·nu^alpha in register 27.
    const int logged = sim.frames().size();
    QVERIFY(sim.waitForFrames(logged + 2));
    const SimProcess::Frame frame = sim.frames().last();
    const double expected = 2.5 * std::pow(frame.nu, 0.8);
    QVERIFY2(std::abs(frame.nuUc - expected) <= 0.06,
             qPrintable(QString("%1 vs %2").arg(frame.nuUc).arg(expected)));
}

void TestSimLink::rejectedWriteChangesNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("unlockFirst");
    QTest::addColumn<int>("firstReg");
    QTest::addColumn<QVector<uint16_t>>("data");

    const QStringList none;
    QTest::newRow("configuration while locked") << none << false << 38 << QVector<uint16_t>{5};
    QTest::newRow("mapping while locked") << none << false << 192 << floatWords({2});
    QTest::newRow("calibration block while locked") << none << false << 96 << QVector<uint16_t>{1};
    QTest::newRow("command while locked") << none << false << 33 << QVector<uint16_t>{1};
    QTest::newRow("wrong unlock code") << none << false << 32 << QVector<uint16_t>{0x1234};
    QTest::newRow("address 0") << none << true << 36 << QVector<uint16_t>{0};
    QTest::newRow("address 248") << none << true << 36 << QVector<uint16_t>{248};
    QTest::newRow("mode 6") << none << true << 37 << QVector<uint16_t>{6};
    QTest::newRow("filter length 0") << none << true << 38 << QVector<uint16_t>{0};
    QTest::newRow("filter length 257") << none << true << 38 << QVector<uint16_t>{257};
    QTest::newRow("baud rate 38400") << none << true << 34 << uint32ToWords(38400);
    QTest::newRow("half a baud rate") << none << true << 34 << QVector<uint16_t>{1};
    QTest::newRow("unknown command") << none << true << 33 << QVector<uint16_t>{7};
    QTest::newRow("live block is read-only") << none << true << 16 << QVector<uint16_t>{1};
    QTest::newRow("unlisted register") << none << true << 39 << QVector<uint16_t>{1};
    QTest::newRow("unknown analog source") << none << true << 40 << QVector<uint16_t>{21, 0, 1};
    QTest::newRow("mapped nu as source before 2024-10-08")
        << QStringList{"--firmware-date", "2024-03-01T00:00:00Z"} << true << 40
        << QVector<uint16_t>{27, 0, 1000};
    QTest::newRow("valid address, invalid mode in one write")
        << none << true << 36 << QVector<uint16_t>{5, 9};
    QTest::newRow("empty write") << none << true << 38 << QVector<uint16_t>{};
}

void TestSimLink::rejectedWriteChangesNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, unlockFirst);
    QFETCH(int, firstReg);
    QFETCH(QVector<uint16_t>, data);

    if (!sharedSim || arguments != sharedArguments) {
        sharedLink.reset();
        sharedSim = std::make_unique<SimProcess>(arguments);
        sharedArguments = arguments;
        QVERIFY2(sharedSim->start(), qPrintable(sharedSim->errorOutput()));
        sharedLink = std::make_unique<Link>();
        QVERIFY(sharedLink->connectTo(*sharedSim));
    }
    SimProcess &sim = *sharedSim;
    Link &link = *sharedLink;
    QCOMPARE(link.write({{Registers::Unlock, {unlockFirst ? UnlockCode : LockCode}}}), QString());
    const QJsonObject before = sim.state();

    QCOMPARE(link.write({{uint8_t(firstReg), data}}),
             QString("Modbus Error: invalid function code: 144"));
    const QJsonObject after = sim.state();
    QCOMPARE(after["committed"], before["committed"]);
    QCOMPARE(after["unlocked"].toBool(), unlockFirst);
    const QJsonArray registersBefore = before["registers"].toArray();
    const QJsonArray registersAfter = after["registers"].toArray();
    for (int reg = 0; reg < registersBefore.size(); ++reg) {
        if (reg < Registers::LiveFirst || reg > Registers::LiveLast)
            QVERIFY2(registersAfter[reg] == registersBefore[reg],
                     qPrintable(QString("register %1 changed").arg(reg)));
    }
}

void TestSimLink::readBeyondTheRegistersIsAnException()
{
    SimProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Link link;
    QVERIFY(link.connectTo(sim));
    // First 5, last 3: the quantity wraps to 65535.
    const int errorCount = link.errors.count();
    link.modbus.readRegisters(5, 3);
    QCOMPARE(link.errorAfter(errorCount), QString("Modbus Error: invalid function code: 131"));
    QCOMPARE(link.read(250, 255).size(), 6);
}

void TestSimLink::rebootComesBackWithTheCommittedSettings()
{
    SimProcess sim({"--reboot-ms", "300"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Link link;
    QVERIFY(link.connectTo(sim));

    const QVector<RegisterWrite> data{{Registers::ModbusBaudrate, uint32ToWords(115200)},
                                      {Registers::ModbusAddress, {5}}};
    QCOMPARE(link.write(configurationWriteSequence(data, DeviceCommand::CommitConfiguration, true)),
             QString());
    // The reboot is over once it was counted and is no longer going on.
    QTRY_COMPARE_WITH_TIMEOUT(sim.counter("reboots"), 1, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(!sim.state()["rebooting"].toBool(), 30000);

    // The old settings get no answer at all.
    const int errorCount = link.errors.count();
    link.modbus.connectDevice(sim.portName(), 19200, 0, 1);
    QCOMPARE(link.errorAfter(errorCount), QString("Modbus Error: timeout"));
    QVERIFY(sim.counter("ignoredLineSettings") >= 1);

    QVERIFY(link.connectTo(sim, 115200, 5));
    const QVector<uint16_t> info = link.replies.last().at(0).value<QVector<uint16_t>>();
    QCOMPARE(info[Registers::ModbusAddress], uint16_t(5));
    QCOMPARE(wordsToUint32(info.mid(Registers::ModbusBaudrate, 2)), 115200u);
    QCOMPARE(sim.state()["unlocked"].toBool(), false);
}

void TestSimLink::rebootForgetsUncommittedValues()
{
    SimProcess sim({"--reboot-ms", "600"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Link link;
    QVERIFY(link.connectTo(sim));
    const uint16_t filterLength = sim.registers().at(Registers::FilterLength);

    QCOMPARE(link.write({{Registers::Unlock, {UnlockCode}},
                         {Registers::FilterLength, {uint16_t(filterLength + 1)}}}),
             QString());
    QCOMPARE(link.read(Registers::FilterLength, Registers::FilterLength),
             QVector<uint16_t>{uint16_t(filterLength + 1)});
    QCOMPARE(link.write({{Registers::Command, {DeviceCommand::Reboot}}}), QString());
    QTRY_COMPARE_WITH_TIMEOUT(sim.counter("reboots"), 1, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(!sim.state()["rebooting"].toBool(), 30000);
    QCOMPARE(link.read(Registers::FilterLength, Registers::FilterLength),
             QVector<uint16_t>{filterLength});
}

void TestSimLink::ignoredWritesKeepTheirOldValues()
{
    SimProcess sim({"--ignore-writes", "192-201"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Link link;
    QVERIFY(link.connectTo(sim));
    const QVector<uint16_t> factory = link.read(Registers::MappingFirst, Registers::MappingLast);
    QCOMPARE(factory.mid(0, 4), floatWords({1, 1}));

    // Acknowledged, so only the read-back shows that nothing was stored.
    QCOMPARE(link.write(configurationWriteSequence(
                 {{Registers::MappingFirst, floatWords({2, 3, 4, 5, 6})}},
                 DeviceCommand::CommitConfiguration)),
             QString());
    QCOMPARE(link.read(Registers::MappingFirst, Registers::MappingLast), factory);
}

void TestSimLink::calibrationBlockIsLoadedAndCommitted()
{
    {
        SimProcess factory;
        QVERIFY2(factory.start(), qPrintable(factory.errorOutput()));
        const QVector<uint16_t> words = factory.registers();
        const QDateTime date = QDateTime::fromSecsSinceEpoch(
            wordsToUint32(words.mid(Registers::CalibrationDate, 2)), Qt::UTC);
        QCOMPARE(date.date().year(), 2023);
    }

    // A calibration image of registers 0..202, 16-bit little-endian words.
    QTemporaryDir directory;
    QVector<uint16_t> image(203);
    for (int reg = 0; reg < image.size(); ++reg)
        image[reg] = uint16_t(0x1000 + reg * 7);
    QByteArray bytes;
    for (uint16_t word : image)
        bytes.append(char(word & 0xFF)).append(char(word >> 8));
    const QString path = directory.filePath("calibration.bin");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    SimProcess sim({"--calib-file", path});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Link link;
    QVERIFY(link.connectTo(sim));
    const QVector<uint16_t> block = image.mid(Registers::CalibrationFirst, 53);
    QCOMPARE(link.read(Registers::CalibrationFirst, Registers::CalibrationLast), block);

    QVector<uint16_t> programmed = block;
    std::reverse(programmed.begin(), programmed.end());
    QCOMPARE(link.write(configurationWriteSequence({{Registers::CalibrationFirst, programmed}},
                                                   DeviceCommand::CommitCalibration)),
             QString());
    QCOMPARE(link.read(Registers::CalibrationFirst, Registers::CalibrationLast), programmed);
    const QJsonArray committed = sim.state()["committed"].toObject()["registers"].toArray();
    QCOMPARE(committed[Registers::CalibrationFirst].toInt(), int(programmed.first()));
    QCOMPARE(committed[Registers::CalibrationLast].toInt(), int(programmed.last()));
}

void TestSimLink::lineFaultSurfacesAsLinkError_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<QString>("error");

    QTest::newRow("dropped request") << "--drop"
                                     << "injectedDrop"
                                     << "^Modbus Error: timeout$";
    QTest::newRow("bad CRC") << "--bad-crc"
                             << "injectedBadCrc"
                             << "^Modbus Error: CRC error: \\d+ != \\d+$";
    QTest::newRow("wrong address") << "--wrong-address"
                                   << "injectedWrongAddress"
                                   << "^Modbus Error: invalid address received: 2$";
    QTest::newRow("split reply") << "--split"
                                 << "injectedSplit"
                                 << "^Modbus Error: CRC error: \\d+ != \\d+$";
    QTest::newRow("exception reply") << "--exception"
                                     << "injectedException"
                                     << "^Modbus Error: invalid function code: 131$";
    QTest::newRow("garbage before the reply") << "--garbage"
                                              << "injectedGarbage"
                                              << "^Modbus Error: CRC error: \\d+ != \\d+$";
}

void TestSimLink::lineFaultSurfacesAsLinkError()
{
    QFETCH(QString, option);
    QFETCH(QString, counter);
    QFETCH(QString, error);

    SimProcess sim({option, "1.0", "--seed", "7"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Link link;
    // The probe itself meets the fault.
    link.modbus.connectDevice(sim.portName(), 19200, 0, 1);
    const QString text = link.errorAfter(0);
    QVERIFY2(QRegularExpression(error).match(text).hasMatch(), qPrintable(text));
    QTRY_COMPARE(sim.counter(counter), 1);
    QCOMPARE(sim.counter("requests"), 1);
}

void TestSimLink::seedRepeatsTheFaults()
{
    const auto pattern = [](const char *seed) {
        SimProcess sim({"--bad-crc", "0.5", "--seed", seed, "--baud", "115200"});
        QString outcomes;
        if (!sim.start())
            return outcomes;
        Link link;
        link.modbus.connectDevice(sim.portName(), 115200, 0, 1);
        for (int i = 0; i < 8; ++i) {
            const int errorCount = link.errors.count();
            // Reads are accepted once the probe or an exception has connected the link.
            if (link.connected.isEmpty())
                link.modbus.connectDevice(sim.portName(), 115200, 0, 1);
            else
                link.modbus.readRegisters(16, 17);
            if (!QTest::qWaitFor([&] { return link.errors.count() > errorCount; }, 30000))
                outcomes += '?';
            else
                outcomes += link.errors.last().at(0).toString().isEmpty() ? '+' : '-';
        }
        return outcomes;
    };
    const QString first = pattern("11");
    QCOMPARE(first.size(), 8);
    QVERIFY2(first.contains('+') && first.contains('-'), qPrintable(first));
    QCOMPARE(pattern("11"), first);
}

void TestSimLink::portCanBeClosedAndReopened()
{
    // At 9600 baud a 95-register reply takes 200 ms: long enough to cut it off.
    SimProcess sim({"--baud", "9600", "--verbose"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    Link link;
    QVERIFY(link.connectTo(sim, 9600));

    link.modbus.readRegisters(0, 94);
    QVERIFY(QTest::qWaitFor([&] { return sim.errorOutput().count("reply ") >= 2; }, 30000));
    link.modbus.disconnectDevice(true);
    // Once the simulator has seen the port closed, the rest of its reply is gone.
    QVERIFY(
        QTest::qWaitFor([&] { return sim.errorOutput().contains("the port was closed"); }, 30000));

    // The rest of the cut-off reply must not greet the next opener.
    const int errorCount = link.errors.count();
    const int replyCount = link.replies.count();
    QVERIFY(link.connectTo(sim, 9600));
    QCOMPARE(link.replies.count(), replyCount + 1);
    QCOMPARE(link.replies.last().at(0).value<QVector<uint16_t>>().size(), int(ReplyLength::Info));
    for (int i = errorCount; i < link.errors.count(); ++i)
        QCOMPARE(link.errors.at(i).at(0).toString(), QString());
    QCOMPARE(link.read(16, 17).size(), 2);
}

QTEST_GUILESS_MAIN(TestSimLink)
#include "tst_simlink.moc"
