// The simulator as a program: its line at the byte level, its measurements, its
// command line and how it ends.

#include "modbusframe.h"
#include "ptypair.h"
#include "simprocess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace
{

// The length of the reply that bytes begin, or 0 while it cannot be told.
int replyLength(const QByteArray &bytes)
{
    if (bytes.size() >= 2 && (uint8_t(bytes[1]) & 0x80))
        return 5;
    if (bytes.size() >= 3 && uint8_t(bytes[1]) == 3)
        return 5 + uint8_t(bytes[2]);
    return 0;
}

// Collects one reply: a read or exception reply until it is complete, anything else
// until the line has been quiet for quietMs. lastByte is started when the last bytes come.
QByteArray readReply(QSerialPort &port, int timeoutMs = 30000, int quietMs = 60,
                     QElapsedTimer *lastByte = nullptr)
{
    QByteArray bytes;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        const int length = replyLength(bytes);
        if (length > 0 && bytes.size() >= length)
            break;
        if (port.waitForReadyRead(bytes.isEmpty() ? 20 : quietMs)) {
            bytes += port.readAll();
            if (lastByte)
                lastByte->start();
        } else if (!bytes.isEmpty() && length == 0) {
            break;
        }
    }
    return bytes;
}

bool openPort(QSerialPort &port, const QString &name, qint32 baudrate = 19200)
{
    port.setPortName(name);
    port.setBaudRate(baudrate);
    return port.open(QIODevice::ReadWrite);
}

bool send(QSerialPort &port, const QByteArray &bytes)
{
    return port.write(bytes) == bytes.size() && port.waitForBytesWritten(1000);
}

QVector<uint16_t> wordsOf(const QByteArray &reply, uint8_t address = 1)
{
    const ModbusReply checked = checkReply(reply, address);
    if (checked.status != ModbusReply::Valid || checked.function != 3)
        return {};
    return decodeReadPayload(checked.payload);
}

} // namespace

class TestSimProcess : public QObject
{
    Q_OBJECT

private slots:
    void requestInPiecesIsAnswered();
    void otherAddressIsIgnoredAndNextRequestAnswered();
    void requestAtAnotherBaudRateIsIgnored();
    void repliesArePacedAtTheBaudRate();
    void servesAnExistingDevice();
    void framesAreNumberedAndLogged();
    void fluidCoolsAndWarmsAgain();
    void stopSignalEndsItAndRemovesTheLink_data();
    void stopSignalEndsItAndRemovesTheLink();
    void linkDoesNotReplaceAFile();
    void invalidArgumentIsRefused_data();
    void invalidArgumentIsRefused();
};

void TestSimProcess::requestInPiecesIsAnswered()
{
    SimProcess sim({"--serial", "0012ABCD"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    QSerialPort port;
    QVERIFY(openPort(port, sim.portName()));

    const QByteArray request = buildReadRequest(1, 2, 3);
    QVERIFY(send(port, request.left(3)));
    QTest::qWait(100);
    QVERIFY(send(port, request.mid(3)));
    QCOMPARE(wordsOf(readReply(port)), (QVector<uint16_t>{0x0012, 0xABCD}));
}

void TestSimProcess::otherAddressIsIgnoredAndNextRequestAnswered()
{
    SimProcess sim({"--address", "3"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    QSerialPort port;
    QVERIFY(openPort(port, sim.portName()));

    QVERIFY(send(port, buildReadRequest(1, 36, 36)));
    QCOMPARE(readReply(port, 300), QByteArray());
    QTRY_COMPARE(sim.counter("ignoredOtherAddress"), 1);
    // The request after an ignored one is a request, not the other sensor's reply.
    QVERIFY(send(port, buildReadRequest(3, 36, 36)));
    QCOMPARE(wordsOf(readReply(port), 3), QVector<uint16_t>{3});
}

void TestSimProcess::requestAtAnotherBaudRateIsIgnored()
{
    SimProcess sim({"--baud", "19200"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    QSerialPort port;
    QVERIFY(openPort(port, sim.portName(), 9600));
    QVERIFY(send(port, buildReadRequest(1, 36, 36)));
    QCOMPARE(readReply(port, 300), QByteArray());
    QTRY_COMPARE(sim.counter("ignoredLineSettings"), 1);
    port.close();

    SimProcess tolerant({"--baud", "19200", "--any-line-settings"});
    QVERIFY2(tolerant.start(), qPrintable(tolerant.errorOutput()));
    QVERIFY(openPort(port, tolerant.portName(), 9600));
    QVERIFY(send(port, buildReadRequest(1, 36, 36)));
    QCOMPARE(wordsOf(readReply(port)), QVector<uint16_t>{1});
}

void TestSimProcess::repliesArePacedAtTheBaudRate()
{
    // 99 bytes at 9600 baud, 10 bits each: the last byte comes at least 103 ms after the
    // first, and so after the request. A busy machine only makes it later.
    SimProcess sim({"--baud", "9600"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    QSerialPort port;
    QVERIFY(openPort(port, sim.portName(), 9600));

    QElapsedTimer sinceRequest;
    sinceRequest.start();
    QVERIFY(send(port, buildReadRequest(1, 0, 46)));
    QElapsedTimer lastByte;
    const QByteArray reply = readReply(port, 30000, 60, &lastByte);
    const qint64 span = sinceRequest.elapsed() - lastByte.elapsed();
    QCOMPARE(wordsOf(reply).size(), 47);
    QVERIFY2(span >= 100, qPrintable(QString("reply took %1 ms").arg(span)));
}

void TestSimProcess::servesAnExistingDevice()
{
    PtyPair pty;
    QVERIFY(pty.isOpen());
    SimProcess sim({"--device", pty.slavePath(), "--hw-rev", "4"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    QCOMPARE(sim.portName(), pty.slavePath());

    QVERIFY(pty.write(buildReadRequest(1, 1, 1)));
    QCOMPARE(wordsOf(pty.readFrame()), QVector<uint16_t>{4});
}

void TestSimProcess::framesAreNumberedAndLogged()
{
    const QDateTime started = QDateTime::currentDateTimeUtc();
    SimProcess sim({"--rate", "50"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    QVERIFY(sim.waitForFrames(10));
    const QVector<SimProcess::Frame> frames = sim.frames();
    for (int i = 0; i < frames.size(); ++i) {
        QCOMPARE(frames[i].frameNr, uint32_t(i + 1));
        QCOMPARE(frames[i].words.size(), 15);
        QCOMPARE(uint32_t(frames[i].words[0]) << 16 | frames[i].words[1], frames[i].frameNr);
        if (i > 0)
            QVERIFY(frames[i].time >= frames[i - 1].time);
    }
    // Stamped with the time they were made: after the simulator started, and not after now.
    QVERIFY(frames.first().time >= started);
    QVERIFY(frames.last().time <= QDateTime::currentDateTimeUtc());
}

void TestSimProcess::fluidCoolsAndWarmsAgain()
{
    // 0.6 s of cooling, 0.6 s of warming, sampled 100 times a second.
    SimProcess sim({"--rate", "100", "--cooldown-minutes", "0.01", "--noise", "0"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    QVERIFY(sim.waitForFrames(100));
    const QVector<SimProcess::Frame> frames = sim.frames().mid(0, 100);

    QCOMPARE(frames[0].T, 80.0);
    QVERIFY2(qAbs(frames[60].T - 20) < 0.01, qPrintable(QString::number(frames[60].T)));
    for (int i = 1; i <= 60; ++i)
        QVERIFY(frames[i].T < frames[i - 1].T);
    for (int i = 61; i < 100; ++i)
        QVERIFY(frames[i].T > frames[i - 1].T);
    // Colder is thicker and denser.
    QVERIFY(frames[60].nu > 10 * frames[0].nu);
    QVERIFY(frames[60].rho > frames[0].rho);
}

void TestSimProcess::stopSignalEndsItAndRemovesTheLink_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestSimProcess::stopSignalEndsItAndRemovesTheLink()
{
    QFETCH(int, signal);
    QTemporaryDir directory;
    const QString link = directory.filePath("quva");
    QProcess sim;
    sim.start(QUVA_SIM_PATH, {"--link", link});
    QVERIFY(sim.waitForReadyRead(30000));
    const QString port = QString::fromLocal8Bit(sim.readLine()).trimmed().mid(6);
    QCOMPARE(QFileInfo(link).symLinkTarget(), port);

    ::kill(pid_t(sim.processId()), signal);
    QVERIFY(sim.waitForFinished(30000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
}

void TestSimProcess::linkDoesNotReplaceAFile()
{
    QTemporaryDir directory;
    const QString path = directory.filePath("precious");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep");
    file.close();

    QProcess sim;
    sim.start(QUVA_SIM_PATH, {"--link", path});
    QVERIFY(sim.waitForFinished(30000));
    QCOMPARE(sim.exitCode(), 1);
    QVERIFY(QString::fromLocal8Bit(sim.readAllStandardError()).contains("not a symbolic link"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep"));
}

void TestSimProcess::invalidArgumentIsRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("baud rate") << QStringList{"--baud", "38400"} << "--baud";
    QTest::newRow("address 0") << QStringList{"--address", "0"} << "--address";
    QTest::newRow("address 248") << QStringList{"--address", "248"} << "--address";
    QTest::newRow("mode 6") << QStringList{"--mode", "6"} << "--mode";
    QTest::newRow("serial not hex") << QStringList{"--serial", "XYZ"} << "--serial";
    QTest::newRow("firmware date")
        << QStringList{"--firmware-date", "yesterday"} << "--firmware-date";
    QTest::newRow("probability above 1") << QStringList{"--drop", "1.5"} << "--drop";
    QTest::newRow("reversed range")
        << QStringList{"--ignore-writes", "201-192"} << "--ignore-writes";
    QTest::newRow("silenced address not served")
        << QStringList{"--address", "1,2", "--silence-on-signal", "3"}
        << "--silence-on-signal: expected one of the addresses served (1,2), got \"3\"";
    QTest::newRow("unknown option") << QStringList{"--colour"} << "colour";
    QTest::newRow("stray argument") << QStringList{"/dev/ttyUSB0"} << "/dev/ttyUSB0";
    QTest::newRow("missing calibration file")
        << QStringList{"--calib-file", QUVA_SIM_PATH ".none"} << "calibration file";
}

void TestSimProcess::invalidArgumentIsRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QProcess sim;
    sim.start(QUVA_SIM_PATH, arguments);
    QVERIFY(sim.waitForFinished(30000));
    QVERIFY(sim.exitCode() != 0);
    const QString error = QString::fromLocal8Bit(sim.readAllStandardError());
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY(sim.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
