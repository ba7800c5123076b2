#include "modbus/modbus.h"
#include "modbus/modbusframe.h"
#include "ptypair.h"

#include <QtTest>

#include <sys/resource.h>

namespace
{

QByteArray reply(uint8_t address, uint8_t function, const QByteArray &payload)
{
    return buildRequest(address, function, payload);
}

QByteArray readReply(const QVector<uint16_t> &words, uint8_t address = 1)
{
    QByteArray payload;
    payload.append(char(words.size() * 2));
    for (uint16_t word : words) {
        payload.append(char(word >> 8));
        payload.append(char(word & 0xFF));
    }
    return reply(address, 3, payload);
}

QVector<uint16_t> infoBlock()
{
    QVector<uint16_t> words(47, 0);
    words[2] = 0x0012;
    words[3] = 0xABCD;
    return words;
}

double processCpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The link with spies on all its signals, records of the order they came in.
struct Link {
    Modbus modbus;
    QSignalSpy replies{&modbus, SIGNAL(replyReceived(QVector<uint16_t>))};
    QSignalSpy connected{&modbus, SIGNAL(deviceConnected())};
    QSignalSpy disconnected{&modbus, SIGNAL(deviceDisconnected())};
    QSignalSpy errors{&modbus, SIGNAL(showModbusError(QString))};

    QStringList errorTexts() const
    {
        QStringList texts;
        for (const QList<QVariant> &arguments : errors)
            texts << arguments.at(0).toString();
        return texts;
    }
};

// Opens the link on the pty and answers the probe so that it is connected.
bool connectLink(Link &link, PtyPair &pty, uint8_t address = 1)
{
    const int repliesBefore = link.replies.count();
    link.modbus.connectDevice(pty.slavePath(), 19200, 0, address);
    if (pty.readFrame() != buildReadRequest(address, 0, 46))
        return false;
    pty.write(readReply(infoBlock(), address));
    return QTest::qWaitFor([&] { return link.replies.count() == repliesBefore + 1; }, 2000);
}

} // namespace

class TestModbusLink : public QObject
{
    Q_OBJECT

private slots:
    void probeConnectsOnFirstValidReply();
    void exceptionReplyAlsoConnects();
    void nothingIsSentBeforeTheSensorAnswered();
    void requestsGoOutOneAfterTheOther();
    void timeoutDropsTheQueue();
    void replyErrorsAreReported_data();
    void replyErrorsAreReported();
    void splitReplyIsTwoReplies();
    void softDisconnectStillDeliversThePendingReply();
    void hardDisconnectStopsEverything();
    void reconnectWhileConnectedProbesAgain();
    void connectFailedIsReported();
    void vanishedPeerEndsTheConnection();
    void staleBytesOnTheLineAreDiscardedAtConnect();
    void timersNeverFireEarly();
};

void TestModbusLink::probeConnectsOnFirstValidReply()
{
    PtyPair pty;
    QVERIFY(pty.isOpen());
    Link link;
    QStringList order;
    connect(&link.modbus, &Modbus::deviceConnected, [&] { order << "connected"; });
    connect(&link.modbus, &Modbus::replyReceived,
            [&](QVector<uint16_t> words) { order << QString("reply %1").arg(words.size()); });

    link.modbus.connectDevice(pty.slavePath(), 19200, 0, 1);
    QCOMPARE(pty.readFrame().toHex(' '), QByteArray("01 03 00 00 00 2f 04 16"));
    QCOMPARE(link.connected.count(), 0);

    pty.write(readReply(infoBlock()));
    QVERIFY(QTest::qWaitFor([&] { return link.replies.count() == 1; }, 2000));
    QCOMPARE(order, (QStringList{"connected", "reply 47"}));
    QCOMPARE(link.replies.at(0).at(0).value<QVector<uint16_t>>(), infoBlock());
    // A successful reply clears the error display.
    QCOMPARE(link.errorTexts(), QStringList{QString()});
}

void TestModbusLink::exceptionReplyAlsoConnects()
{
    PtyPair pty;
    Link link;
    link.modbus.connectDevice(pty.slavePath(), 9600, 2, 5);
    QCOMPARE(pty.readFrame(), buildReadRequest(5, 0, 46));

    QTest::ignoreMessage(QtWarningMsg,
                         "Modbus: message with invalid function code received: 131 : 02");
    pty.write(reply(5, 0x83, QByteArray::fromHex("02")));
    QVERIFY(QTest::qWaitFor([&] { return link.errors.count() == 1; }, 2000));
    QCOMPARE(link.connected.count(), 1);
    QCOMPARE(link.errorTexts(), QStringList{"Modbus Error: invalid function code: 131"});
    QCOMPARE(link.replies.count(), 0);

    // Connected now: a read goes out at once.
    link.modbus.readRegisters(16, 30);
    QCOMPARE(pty.readFrame(), buildReadRequest(5, 16, 30));
}

void TestModbusLink::nothingIsSentBeforeTheSensorAnswered()
{
    PtyPair pty;
    Link link;
    link.modbus.readRegisters(16, 30);
    link.modbus.writeRegisters(32, {0x6B3E});
    link.modbus.connectDevice(pty.slavePath(), 19200, 0, 1);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 0, 46));

    // Probing, not yet connected: dropped, not queued behind the probe.
    link.modbus.readRegisters(16, 30);
    link.modbus.writeRegisters(32, {0x6B3E});
    pty.write(readReply(infoBlock()));
    QVERIFY(QTest::qWaitFor([&] { return link.replies.count() == 1; }, 2000));
    QVERIFY(pty.readFrame(400).isEmpty());
    QCOMPARE(link.errorTexts(), QStringList{QString()});
}

void TestModbusLink::requestsGoOutOneAfterTheOther()
{
    PtyPair pty;
    Link link;
    QVERIFY(connectLink(link, pty));

    link.modbus.readRegisters(16, 30);
    link.modbus.writeRegisters(38, {10});
    link.modbus.readRegisters(192, 201);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 16, 30));
    QVERIFY(pty.readFrame(300).isEmpty());

    pty.write(readReply(QVector<uint16_t>(15, 7)));
    QCOMPARE(pty.readFrame(), buildWriteRequest(1, 38, {10}));
    QCOMPARE(link.replies.count(), 2);
    QCOMPARE(link.replies.last().at(0).value<QVector<uint16_t>>(), QVector<uint16_t>(15, 7));

    pty.write(reply(1, 16, QByteArray::fromHex("00260001")));
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 192, 201));
    pty.write(readReply(QVector<uint16_t>(10, 1)));
    QVERIFY(QTest::qWaitFor([&] { return link.replies.count() == 3; }, 2000));
    QCOMPARE(link.errorTexts(), (QStringList{QString(), QString(), QString(), QString()}));
}

void TestModbusLink::timeoutDropsTheQueue()
{
    PtyPair pty;
    Link link;
    QVERIFY(connectLink(link, pty));

    link.modbus.readRegisters(16, 30);
    link.modbus.readRegisters(0, 94);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 16, 30));
    QVERIFY(QTest::qWaitFor([&] { return link.errors.count() == 2; }, 4000));
    QCOMPARE(link.errorTexts().last(), QString("Modbus Error: timeout"));
    // The queued read was dropped with the error.
    QVERIFY(pty.readFrame(400).isEmpty());

    // The link stays connected: the next request goes out at once.
    link.modbus.readRegisters(95, 148);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 95, 148));
}

void TestModbusLink::replyErrorsAreReported_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("error");

    QByteArray badCrc = readReply({1, 2});
    badCrc[badCrc.size() - 1] = char(badCrc[badCrc.size() - 1] ^ 0xFF);
    const uint16_t computed = crc16(badCrc.left(badCrc.size() - 2));
    const uint16_t received =
        uint16_t(uint8_t(badCrc[badCrc.size() - 2]) | uint8_t(badCrc[badCrc.size() - 1]) << 8);

    QTest::newRow("bad CRC")
        << badCrc << QString("Modbus Error: CRC error: %1 != %2").arg(computed).arg(received);
    QTest::newRow("other address")
        << readReply({1, 2}, 9) << "Modbus Error: invalid address received: 9";
    QTest::newRow("four bytes") << QByteArray::fromHex("01030000")
                                << "Modbus Error: message too short";
    QTest::newRow("exception to a write")
        << reply(1, 0x90, QByteArray::fromHex("03")) << "Modbus Error: invalid function code: 144";
}

void TestModbusLink::replyErrorsAreReported()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, error);

    PtyPair pty;
    Link link;
    QVERIFY(connectLink(link, pty));
    if (error.endsWith("too short"))
        QTest::ignoreMessage(QtWarningMsg, "message too short");
    if (error.endsWith("144"))
        QTest::ignoreMessage(QtWarningMsg,
                             "Modbus: message with invalid function code received: 144 : 03");

    link.modbus.readRegisters(16, 30);
    link.modbus.readRegisters(0, 94);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 16, 30));
    pty.write(answer);
    QVERIFY(QTest::qWaitFor([&] { return link.errors.count() == 2; }, 2000));
    QCOMPARE(link.errorTexts().last(), error);
    QCOMPARE(link.replies.count(), 1);
    QVERIFY(pty.readFrame(300).isEmpty());

    // An error changes nothing of the connection; a success clears the display.
    link.modbus.readRegisters(16, 30);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 16, 30));
    pty.write(readReply(QVector<uint16_t>(15, 0)));
    QVERIFY(QTest::qWaitFor([&] { return link.errors.count() == 3; }, 2000));
    QCOMPARE(link.errorTexts().last(), QString());
    QCOMPARE(link.disconnected.count(), 0);
}

void TestModbusLink::splitReplyIsTwoReplies()
{
    PtyPair pty;
    Link link;
    QVERIFY(connectLink(link, pty));

    link.modbus.readRegisters(16, 30);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 16, 30));
    const QByteArray answer = readReply(QVector<uint16_t>(15, 3));
    QTest::ignoreMessage(QtWarningMsg, "message too short");
    pty.write(answer.left(3));
    QTest::qWait(250);
    pty.write(answer.mid(3));
    QVERIFY(QTest::qWaitFor([&] { return link.errors.count() == 3; }, 2000));
    const QStringList errors = link.errorTexts();
    QCOMPARE(errors.at(1), QString("Modbus Error: message too short"));
    QVERIFY2(errors.at(2).startsWith("Modbus Error: CRC error: "), qPrintable(errors.at(2)));
    QCOMPARE(link.replies.count(), 1);
}

void TestModbusLink::softDisconnectStillDeliversThePendingReply()
{
    PtyPair pty;
    Link link;
    QVERIFY(connectLink(link, pty));

    link.modbus.writeRegisters(32, {0x6B3E});
    link.modbus.writeRegisters(33, {255});
    QCOMPARE(pty.readFrame(), buildWriteRequest(1, 32, {0x6B3E}));
    link.modbus.disconnectDevice(false);
    QCOMPARE(link.disconnected.count(), 1);

    // The queued write still goes out on the open port; new requests do not.
    link.modbus.readRegisters(16, 30);
    pty.write(reply(1, 16, QByteArray::fromHex("00200001")));
    QCOMPARE(pty.readFrame(), buildWriteRequest(1, 33, {255}));
    link.modbus.readRegisters(0, 94);
    pty.write(reply(1, 16, QByteArray::fromHex("00210001")));
    QVERIFY(QTest::qWaitFor([&] { return link.errors.count() == 3; }, 2000));
    QVERIFY(pty.readFrame(300).isEmpty());
    QCOMPARE(link.errorTexts(), (QStringList{QString(), QString(), QString()}));
}

void TestModbusLink::hardDisconnectStopsEverything()
{
    PtyPair pty;
    Link link;
    QVERIFY(connectLink(link, pty));

    link.modbus.readRegisters(16, 30);
    link.modbus.readRegisters(0, 94);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 16, 30));
    link.modbus.disconnectDevice(true);
    QCOMPARE(link.disconnected.count(), 1);

    // No response timer is left running and nothing is read from a closed port.
    pty.write(readReply(QVector<uint16_t>(15, 0)));
    QTest::qWait(3300);
    QCOMPARE(link.errors.count(), 1);
    QCOMPARE(link.replies.count(), 1);
    link.modbus.readRegisters(16, 30);
    QVERIFY(pty.readFrame(200).isEmpty());
}

void TestModbusLink::reconnectWhileConnectedProbesAgain()
{
    PtyPair first;
    PtyPair second;
    Link link;
    QVERIFY(connectLink(link, first));

    link.modbus.connectDevice(second.slavePath(), 115200, 3, 7);
    QCOMPARE(second.readFrame(), buildReadRequest(7, 0, 46));
    QCOMPARE(link.disconnected.count(), 0);

    // Until the new probe is answered the link is not connected.
    link.modbus.readRegisters(16, 30);
    second.write(readReply(infoBlock(), 7));
    QVERIFY(QTest::qWaitFor([&] { return link.replies.count() == 2; }, 2000));
    QCOMPARE(link.connected.count(), 2);
    QVERIFY(second.readFrame(200).isEmpty());
    QVERIFY(first.readFrame(100).isEmpty());
}

void TestModbusLink::connectFailedIsReported()
{
    Link link;
    link.modbus.connectDevice("/dev/does-not-exist", 19200, 0, 1);
    QCOMPARE(link.errorTexts(), QStringList{"Modbus Error: connect failed"});
    QCOMPARE(link.connected.count(), 0);
    QCOMPARE(link.disconnected.count(), 0);
}

void TestModbusLink::vanishedPeerEndsTheConnection()
{
    auto pty = std::make_unique<PtyPair>();
    Link link;
    QVERIFY(connectLink(link, *pty));

    link.modbus.readRegisters(16, 30);
    QCOMPARE(pty->readFrame(), buildReadRequest(1, 16, 30));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Modbus: connection lost on \"/dev/pts/\\d+\"$"));
    pty.reset();

    // Past the response time-out, and a poll as the live data tab would send it: a
    // port left open on a vanished device would now spin on its errors.
    const double cpuBefore = processCpuSeconds();
    QTest::qWait(3300);
    link.modbus.readRegisters(16, 30);
    QTest::qWait(1000);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    QVERIFY2(cpuUsed < 0.3, qPrintable(QString("CPU time in 4.3 s: %1 s").arg(cpuUsed)));

    QCOMPARE(link.errorTexts().mid(1), QStringList{"Modbus Error: connection lost"});
    QCOMPARE(link.disconnected.count(), 1);

    // Connect reopens on a new peer.
    PtyPair next;
    QVERIFY(connectLink(link, next));
    QCOMPARE(link.connected.count(), 2);
}

// A reply still on its way from an earlier run was read glued to the probe's reply.
void TestModbusLink::staleBytesOnTheLineAreDiscardedAtConnect()
{
    PtyPair pty;
    Link link;
    QVERIFY(pty.write(readReply(QVector<uint16_t>(15, 7))));
    QVERIFY(pty.waitUntilPortHoldsInput());

    QVERIFY(connectLink(link, pty));
    QCOMPARE(link.connected.count(), 1);
    QCOMPARE(link.errorTexts(), QStringList{QString()});
}

// Coarse timers fire up to 5 % early: a reply cut before its 100 ms of quiet, a sensor
// answering just before 3 s reported as silent. Each clock here starts before the
// link's timer, so it can only read more than the timer's interval.
void TestModbusLink::timersNeverFireEarly()
{
    PtyPair pty;
    Link link;
    QVERIFY(connectLink(link, pty));

    QElapsedTimer clock;
    for (int i = 0; i < 10; ++i) {
        link.modbus.readRegisters(16, 30);
        QCOMPARE(pty.readFrame(), buildReadRequest(1, 16, 30));
        const int replies = link.replies.count();
        clock.start();
        pty.write(readReply(QVector<uint16_t>(15, uint16_t(i))));
        QVERIFY(QTest::qWaitFor([&] { return link.replies.count() == replies + 1; }, 5000));
        QVERIFY2(clock.elapsed() >= 100, qPrintable(QString::number(clock.elapsed())));
    }

    const int errors = link.errors.count();
    clock.start();
    link.modbus.readRegisters(16, 30);
    QVERIFY(QTest::qWaitFor([&] { return link.errors.count() == errors + 1; }, 10000));
    QVERIFY2(clock.elapsed() >= 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(link.errorTexts().last(), QString("Modbus Error: timeout"));
}

QTEST_GUILESS_MAIN(TestModbusLink)
#include "tst_modbuslink.moc"
