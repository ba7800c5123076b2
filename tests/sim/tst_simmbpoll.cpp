// The simulated sensor against an independent Modbus master: mbpoll.

#include "simprocess.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

namespace
{

struct MbpollResult {
    int exitCode = -1;
    QString output;
    QVector<uint16_t> words; // the registers it printed, in order
};

// One mbpoll run against the simulator at 115200 baud, none/1, or over Modbus TCP when
// it serves mbtcp://; register numbers are 0-based. Without values it reads count
// registers, with values it writes them.
MbpollResult mbpoll(const SimProcess &sim, int firstReg, int count, const QStringList &values = {},
                    int unit = 1)
{
    const QString tcpPrefix = "mbtcp://127.0.0.1:";
    const bool overTcp = sim.portName().startsWith(tcpPrefix);
    QStringList arguments{"-a", QString::number(unit),    "-0", "-1", "-o", "10", "-t", "4:hex",
                          "-r", QString::number(firstReg)};
    if (overTcp)
        arguments << "-m"
                  << "tcp"
                  << "-p" << sim.portName().mid(tcpPrefix.size());
    else
        arguments << "-m"
                  << "rtu"
                  << "-b"
                  << "115200"
                  << "-P"
                  << "none"
                  << "-s"
                  << "1";
    if (values.isEmpty())
        arguments << "-c" << QString::number(count);
    arguments << (overTcp ? QString("127.0.0.1") : sim.portName()) << values;

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start("mbpoll", arguments);
    MbpollResult result;
    if (!process.waitForFinished(60000))
        return result;
    result.exitCode = process.exitCode();
    result.output = QString::fromLocal8Bit(process.readAll());
    const QRegularExpression line("^\\[(\\d+)\\]:\\s+0x([0-9A-Fa-f]{4})$",
                                  QRegularExpression::MultilineOption);
    auto matches = line.globalMatch(result.output);
    while (matches.hasNext())
        result.words.append(uint16_t(matches.next().captured(2).toUInt(nullptr, 16)));
    return result;
}

} // namespace

class TestSimMbpoll : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void readsTheInformationBlock();
    void readsTheLiveBlock();
    void readsEachUnitOverModbusTcp();
    void writesSettingsUnderTheUnlock_data();
    void writesSettingsUnderTheUnlock();
    void refusesAWriteWhileLocked();
};

void TestSimMbpoll::init()
{
    if (QStandardPaths::findExecutable("mbpoll").isEmpty())
        QSKIP("mbpoll is not installed; scripts/install-deps.sh installs it");
}

void TestSimMbpoll::readsTheInformationBlock()
{
    SimProcess sim({"--baud", "115200", "--hw-rev", "9", "--serial", "00C0FFEE", "--firmware-date",
                    "2024-10-10T11:08:48Z"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));

    const MbpollResult result = mbpoll(sim, 0, 47);
    QVERIFY2(result.exitCode == 0, qPrintable(result.output));
    QCOMPARE(result.words.size(), 47);
    // Hardware revision, serial number, firmware date 0x6707B5C0.
    QCOMPARE(result.words.mid(1, 5), (QVector<uint16_t>{9, 0x00C0, 0xFFEE, 0x6707, 0xB5C0}));
    // Configuration: 115200 baud, address 1, mode 0.
    QCOMPARE(result.words.mid(34, 4), (QVector<uint16_t>{0x0001, 0xC200, 1, 0}));
    QCOMPARE(result.words.mid(31), sim.registers().mid(31, 16));
}

void TestSimMbpoll::readsTheLiveBlock()
{
    SimProcess sim({"--baud", "115200", "--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    QVERIFY(sim.waitForFrames(2));

    const MbpollResult result = mbpoll(sim, 16, 15);
    QVERIFY2(result.exitCode == 0, qPrintable(result.output));
    QCOMPARE(result.words.size(), 15);
    const uint32_t frameNr = uint32_t(result.words[0]) << 16 | result.words[1];
    QVERIFY(frameNr >= 2);
    QCOMPARE(result.words, sim.frame(frameNr).words);
}

void TestSimMbpoll::readsEachUnitOverModbusTcp()
{
    SimProcess sim({"--mbtcp", "0", "--address", "1,3", "--serial", "00C0FFEE"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));

    // The unit identifier picks the sensor: the second has the next serial number.
    const MbpollResult second = mbpoll(sim, 0, 47, {}, 3);
    QVERIFY2(second.exitCode == 0, qPrintable(second.output));
    QCOMPARE(second.words.mid(2, 2), (QVector<uint16_t>{0x00C0, 0xFFEF}));
    QCOMPARE(second.words.at(36), uint16_t(3));
    const MbpollResult first = mbpoll(sim, 0, 47, {}, 1);
    QCOMPARE(first.words.mid(31), sim.registers().mid(31, 16));
}

void TestSimMbpoll::writesSettingsUnderTheUnlock_data()
{
    QTest::addColumn<QStringList>("line");
    QTest::newRow("RTU") << QStringList{"--baud", "115200"};
    QTest::newRow("Modbus TCP") << QStringList{"--mbtcp", "0"};
}

void TestSimMbpoll::writesSettingsUnderTheUnlock()
{
    QFETCH(QStringList, line);
    SimProcess sim(line);
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));

    // One value goes out as function 6, several as function 16.
    const QVector<QPair<int, QStringList>> writes{
        {32, {"27454"}}, {38, {"12"}}, {40, {"19", "0", "9000"}}, {33, {"1"}}, {32, {"0"}}};
    for (const auto &write : writes) {
        const MbpollResult result = mbpoll(sim, write.first, 0, write.second);
        QVERIFY2(result.exitCode == 0 && result.output.contains("Written"),
                 qPrintable(result.output));
    }

    const MbpollResult readBack = mbpoll(sim, 38, 5);
    QCOMPARE(readBack.words, (QVector<uint16_t>{12, 0, 19, 0, 9000}));
    const QJsonObject state = sim.state();
    QCOMPARE(state["unlocked"].toBool(), false);
    const QJsonArray committed = state["committed"].toObject()["registers"].toArray();
    QCOMPARE(committed[38].toInt(), 12);
    QCOMPARE(committed[42].toInt(), 9000);
}

void TestSimMbpoll::refusesAWriteWhileLocked()
{
    SimProcess sim({"--baud", "115200"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    const uint16_t filterLength = sim.registers().at(38);

    const MbpollResult result = mbpoll(sim, 38, 0, {QString::number(filterLength + 1)});
    QVERIFY(result.exitCode != 0);
    QVERIFY2(result.output.contains("Illegal data address"), qPrintable(result.output));
    QCOMPARE(sim.registers().at(38), filterLength);
    QCOMPARE(mbpoll(sim, 38, 1).words, QVector<uint16_t>{filterLength});
}

QTEST_GUILESS_MAIN(TestSimMbpoll)
#include "tst_simmbpoll.moc"
