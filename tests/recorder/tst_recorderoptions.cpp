// The recorder's command line: every value checked before a file or a port is touched,
// and a recorder that finds old bytes on the line still connects.

#include "measurementdata.h"
#include "modbusframe.h"
#include "ptypair.h"
#include "recorderoptions.h"
#include "replyframes.h"
#include "simprocess.h"

#include <QProcess>
#include <QtTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace
{

ParsedRecorderOptions parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    addRecorderOptions(parser);
    if (!parser.parse(QStringList{"quva-explorer"} + arguments))
        return {std::nullopt, parser.errorText()};
    return parseRecorderOptions(parser);
}

const QStringList base = {"--record", "run.csv", "--port", "/dev/ttyUSB0"};

} // namespace

class TestRecorderOptions : public QObject
{
    Q_OBJECT

private slots:
    void goodOptions_data();
    void goodOptions();
    void badOptions_data();
    void badOptions();
    void badOptionTouchesNothing();
    void staleReplyOnTheLine();
    void spoiledProbeIsSentAgain();
};

void TestRecorderOptions::goodOptions_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<uint32_t>("baudrate");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("address");
    QTest::addColumn<double>("duration");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QVector<uint8_t>>("addresses");

    QTest::newRow("defaults: 19200, none/1, address 1, no limit")
        << QStringList{} << 19200u << 0 << 1 << 0.0 << QString("run.csv") << QVector<uint8_t>{1};
    QTest::newRow("every value at its upper end")
        << QStringList{"--baud",    "115200", "--mode",     "5",
                       "--address", "247",    "--duration", "1000000000"}
        << 115200u << 5 << 247 << 1e9 << QString("run.csv") << QVector<uint8_t>{247};
    // 1.5 was taken as "no limit".
    QTest::newRow("lower ends, a duration with decimals")
        << QStringList{"--baud=9600", "--mode=0", "--address=1", "--duration=1.5"} << 9600u << 0
        << 1 << 1.5 << QString("run.csv") << QVector<uint8_t>{1};
    QTest::newRow("three sensors, files named by serial number, in the order given")
        << QStringList{"--record", "run-{serial}.csv", "--address", "5,1,247"} << 19200u << 0 << 5
        << 0.0 << QString("run-{serial}.csv") << QVector<uint8_t>{5, 1, 247};
    QTest::newRow("two sensors, files named by address")
        << QStringList{"--record", "{address}.csv", "--address=2,3"} << 19200u << 0 << 2 << 0.0
        << QString("{address}.csv") << QVector<uint8_t>{2, 3};
}

void TestRecorderOptions::goodOptions()
{
    QFETCH(QStringList, extra);
    const ParsedRecorderOptions parsed = parse(base + extra);
    QVERIFY2(parsed.options, qPrintable(parsed.error));
    QCOMPARE(parsed.options->portName, QString("/dev/ttyUSB0"));
    QTEST(parsed.options->baudrate, "baudrate");
    QTEST(int(parsed.options->mode), "mode");
    QTEST(int(parsed.options->address), "address");
    QTEST(parsed.options->durationSeconds, "duration");
    QTEST(parsed.options->fileName, "fileName");
    QTEST(parsed.options->addresses, "addresses");
}

void TestRecorderOptions::badOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");

    const QString address = "Error: --address: expected a whole number from 1 to 247, got \"%1\"";
    const QString mode =
        "Error: --mode: expected a whole number from 0 (none, 1) to 5 (odd, 2), got \"%1\"";
    const QString baud = "Error: --baud: expected 9600, 19200 or 115200, got \"%1\"";
    const QString duration = "Error: --duration: expected a positive number of seconds such as "
                             "60 or 1.5, at most 1000000000, got \"%1\"";

    // Was taken modulo 256: address 1, on a bus the wrong sensor.
    QTest::newRow("address 257") << base + QStringList{"--address", "257"} << address.arg("257");
    QTest::newRow("address 0") << base + QStringList{"--address", "0"} << address.arg("0");
    QTest::newRow("address 248") << base + QStringList{"--address", "248"} << address.arg("248");
    QTest::newRow("address with decimals")
        << base + QStringList{"--address", "1.5"} << address.arg("1.5");
    const QString addresses = "Error: --address: expected whole numbers from 1 to 247 separated "
                              "by commas, such as 1,2,5, got \"%1\"";
    const QStringList pattern = {"--record", "run-{address}.csv"};
    QTest::newRow("address list with a word")
        << base + pattern + QStringList{"--address", "1,x,5"} << addresses.arg("1,x,5");
    QTest::newRow("address list with an empty place")
        << base + pattern + QStringList{"--address", "1,,5"} << addresses.arg("1,,5");
    QTest::newRow("address list ending in a comma")
        << base + pattern + QStringList{"--address", "1,2,"} << addresses.arg("1,2,");
    QTest::newRow("address list with 248")
        << base + pattern + QStringList{"--address", "1,248"} << addresses.arg("1,248");
    QTest::newRow("address list with spaces")
        << base + pattern + QStringList{"--address", "1, 2"} << addresses.arg("1, 2");
    QTest::newRow("an address twice")
        << base + pattern + QStringList{"--address", "1,2,1"}
        << "Error: --address: 1 is given twice in \"1,2,1\"; each sensor is recorded once";
    QTest::newRow("several sensors, one file")
        << base + QStringList{"--address", "1,2"}
        << "Error: --record: several sensors cannot share one file; put {serial} or {address} "
           "into the name, such as run-{serial}.csv, got \"run.csv\"";
    QTest::newRow("mode 6") << base + QStringList{"--mode", "6"} << mode.arg("6");
    // Was 0 baud, reported as a port that cannot be opened.
    QTest::newRow("baud word") << base + QStringList{"--baud", "fast"} << baud.arg("fast");
    QTest::newRow("baud not offered") << base + QStringList{"--baud", "38400"} << baud.arg("38400");
    QTest::newRow("baud empty") << base + QStringList{"--baud="} << baud.arg("");
    // Was silently "no limit".
    QTest::newRow("duration with unit")
        << base + QStringList{"--duration", "1.5s"} << duration.arg("1.5s");
    QTest::newRow("duration 0") << base + QStringList{"--duration", "0"} << duration.arg("0");
    QTest::newRow("duration infinite")
        << base + QStringList{"--duration", "inf"} << duration.arg("inf");
    QTest::newRow("duration above the limit")
        << base + QStringList{"--duration", "1e10"} << duration.arg("1e10");
    QTest::newRow("no port") << QStringList{"--record", "run.csv"}
                             << "Error: --record needs --port PATH";
    QTest::newRow("empty file name")
        << QStringList{"--record=", "--port", "/dev/ttyUSB0"}
        << "Error: --record: expected the name of the CSV file to record into, got \"\"";
    QTest::newRow("stray argument")
        << base + QStringList{"--address", "3", "7"}
        << "Error: unexpected argument \"7\": every value follows its option";
}

void TestRecorderOptions::badOptions()
{
    QFETCH(QStringList, arguments);
    const ParsedRecorderOptions parsed = parse(arguments);
    QVERIFY(!parsed.options);
    QTEST(parsed.error, "error");
}

// The program itself: one line, exit code 2, no file and not a byte on the port.
void TestRecorderOptions::badOptionTouchesNothing()
{
    PtyPair pty;
    for (const QStringList &bad : {QStringList{"--address", "257"}, QStringList{"--baud", "fast"},
                                   QStringList{"--duration", "1.5x"}}) {
        QProcess recorder;
        recorder.start(QUVA_EXPLORER_PATH,
                       QStringList{"--record", "bad.csv", "--port", pty.slavePath()} + bad);
        QVERIFY(recorder.waitForFinished(30000));
        QCOMPARE(recorder.exitStatus(), QProcess::NormalExit);
        QCOMPARE(recorder.exitCode(), 2);
        const QString error = recorder.readAllStandardError();
        QVERIFY2(error.startsWith("Error: " + bad.first() + ": expected ") &&
                     error.count('\n') == 1,
                 qPrintable(error));
        QVERIFY(recorder.readAllStandardOutput().isEmpty());
        QVERIFY(!QFile::exists("bad.csv"));
        QVERIFY(pty.readAvailable().isEmpty());
    }
}

// A recorder killed while a reply was on its way left it on the line; the next start read
// it glued to its probe's reply ("CRC error") and gave up after 5 s.
void TestRecorderOptions::staleReplyOnTheLine()
{
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));

    // Plays the killed recorder: asks, and is gone before the answer is read.
    const int line = ::open(qPrintable(sim.portName()), O_RDWR | O_NOCTTY);
    QVERIFY(line >= 0);
    termios settings;
    QVERIFY(tcgetattr(line, &settings) == 0);
    cfmakeraw(&settings);
    cfsetspeed(&settings, B19200);
    QVERIFY(tcsetattr(line, TCSANOW, &settings) == 0);
    const QByteArray probe = buildReadRequest(1, 0, 46);
    QCOMPARE(::write(line, probe.constData(), size_t(probe.size())), ssize_t(probe.size()));
    // The whole reply (47 words) waits on the line.
    QVERIFY(QTest::qWaitFor(
        [&] {
            int waiting = 0;
            return ::ioctl(line, FIONREAD, &waiting) == 0 && waiting == 5 + 2 * 47;
        },
        5000));

    QProcess recorder;
    recorder.start(QUVA_EXPLORER_PATH,
                   {"--record", "stale.csv", "--port", sim.portName(), "--duration", "2.5"});
    QVERIFY(recorder.waitForFinished(30000));
    ::close(line);
    const QString error = recorder.readAllStandardError();
    QVERIFY2(recorder.exitCode() == 0, qPrintable(error));
    QVERIFY2(!error.contains("CRC error"), qPrintable(error));
    MeasurementData store;
    QVERIFY(store.importCsv("stale.csv"));
    QVERIFY(store.frameNr.size() >= 2);
}

// A probe whose reply was spoiled on the line was not sent again: "no answer ... within
// 5 s" although the sensor was there.
void TestRecorderOptions::spoiledProbeIsSentAgain()
{
    PtyPair pty;
    QProcess recorder;
    recorder.start(QUVA_EXPLORER_PATH,
                   {"--record", "spoiled.csv", "--port", pty.slavePath(), "--duration", "1.5"});
    QVERIFY(recorder.waitForStarted());

    // The scripted sensor: its first reply loses its last byte, then all is well.
    QVector<uint16_t> info(47, 0);
    info[3] = 0x1234;
    int probes = 0;
    uint16_t frameNr = 0;
    QElapsedTimer clock;
    clock.start();
    while (recorder.state() != QProcess::NotRunning && clock.elapsed() < 30000) {
        const QByteArray request = pty.readFrame(100);
        if (request == buildReadRequest(1, 0, 46)) {
            const QByteArray reply = readReplyFrame(info);
            pty.write(probes++ == 0 ? reply.chopped(1) : reply);
        } else if (request == buildReadRequest(1, 16, 30)) {
            QVector<uint16_t> live(15, 0);
            live[1] = ++frameNr;
            pty.write(readReplyFrame(live));
        }
    }
    QCOMPARE(recorder.state(), QProcess::NotRunning);
    const QString error = recorder.readAllStandardError();
    QVERIFY2(recorder.exitCode() == 0, qPrintable(error));
    QCOMPARE(probes, 2);
    MeasurementData store;
    QVERIFY(store.importCsv("spoiled.csv"));
    QVERIFY(store.frameNr.size() >= 1);
}

QTEST_GUILESS_MAIN(TestRecorderOptions)
#include "tst_recorderoptions.moc"
