#include "cputime.h"
#include "linkspy.h"
#include "modbus.h"
#include "modbusframe.h"
#include "ptypair.h"
#include "replyframes.h"

#include <QtTest>

namespace
{

QByteArray reply(uint8_t address, uint8_t function, const QByteArray &payload)
{
    return buildRequest(address, function, payload);
}

using Link = LinkSpy;

bool connectLink(Link &link, PtyPair &pty, uint8_t address = 1)
{
    return link.connectTo(pty, address);
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
    void linkStatesFollowTheConnection();
    void writeRunEndsWithItsLastWrite_data();
    void writeRunEndsWithItsLastWrite();
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

    pty.write(readReplyFrame(infoBlock()));
    QVERIFY(QTest::qWaitFor([&] { return link.replies.count() == 1; }, 30000));
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
    QVERIFY(QTest::qWaitFor([&] { return link.errors.count() == 1; }, 30000));
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
    pty.write(readReplyFrame(infoBlock()));
    QVERIFY(QTest::qWaitFor([&] { return link.replies.count() == 1; }, 30000));
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

    pty.write(readReplyFrame(QVector<uint16_t>(15, 7)));
    QCOMPARE(pty.readFrame(), buildWriteRequest(1, 38, {10}));
    QCOMPARE(link.replies.count(), 2);
    QCOMPARE(link.replies.last().at(0).value<QVector<uint16_t>>(), QVector<uint16_t>(15, 7));

    pty.write(reply(1, 16, QByteArray::fromHex("00260001")));
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 192, 201));
    pty.write(readReplyFrame(QVector<uint16_t>(10, 1)));
    QVERIFY(QTest::qWaitFor([&] { return link.replies.count() == 3; }, 30000));
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
    QVERIFY(QTest::qWaitFor([&] { return link.errors.count() == 2; }, 30000));
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

    QByteArray badCrc = readReplyFrame({1, 2});
    badCrc[badCrc.size() - 1] = char(badCrc[badCrc.size() - 1] ^ 0xFF);
    const uint16_t computed = crc16(badCrc.left(badCrc.size() - 2));
    const uint16_t received =
        uint16_t(uint8_t(badCrc[badCrc.size() - 2]) | uint8_t(badCrc[badCrc.size() - 1]) << 8);

    QTest::newRow("bad CRC")
        << badCrc << QString("Modbus Error: CRC error: %1 != %2").arg(computed).arg(received);
    QTest::newRow("other address")
        << readReplyFrame({1, 2}, 9) << "Modbus Error: invalid address received: 9";
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
    QVERIFY(QTest::qWaitFor([&] { return link.errors.count() == 2; }, 30000));
    QCOMPARE(link.errorTexts().last(), error);
    QCOMPARE(link.replies.count(), 1);
    QVERIFY(pty.readFrame(300).isEmpty());

    // An error changes nothing of the connection; a success clears the display.
    link.modbus.readRegisters(16, 30);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 16, 30));
    pty.write(readReplyFrame(QVector<uint16_t>(15, 0)));
    QVERIFY(QTest::qWaitFor([&] { return link.errors.count() == 3; }, 30000));
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
    const QByteArray answer = readReplyFrame(QVector<uint16_t>(15, 3));
    QTest::ignoreMessage(QtWarningMsg, "message too short");
    pty.write(answer.left(3));
    // The link has taken the head as a reply of its own before the tail is sent.
    QVERIFY(link.waitForErrors(2));
    pty.write(answer.mid(3));
    QVERIFY(QTest::qWaitFor([&] { return link.errors.count() == 3; }, 30000));
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
    QVERIFY(QTest::qWaitFor([&] { return link.errors.count() == 3; }, 30000));
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

    // No response timer is left running and nothing is read from a closed port: no
    // signal comes within the time-out and past it.
    pty.write(readReplyFrame(QVector<uint16_t>(15, 0)));
    QVERIFY(!link.errors.wait(3300));
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
    second.write(readReplyFrame(infoBlock(), 7));
    QVERIFY(QTest::qWaitFor([&] { return link.replies.count() == 2; }, 30000));
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
    // What the idle link costs on this machine, in this run: the yardstick of the budget.
    const double idleCpu = idleCpuSeconds(1000);

    link.modbus.readRegisters(16, 30);
    QCOMPARE(pty->readFrame(), buildReadRequest(1, 16, 30));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Modbus: connection lost on \"/dev/pts/\\d+\"$"));
    pty.reset();

    // Past the response time-out, and a poll as the live data tab would send it: a
    // port left open on a vanished device would now spin on its errors.
    const double cpuBefore = processCpuSeconds();
    QVERIFY(!link.replies.wait(3300));
    link.modbus.readRegisters(16, 30);
    QVERIFY(!link.replies.wait(1000));
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    const double budget = idleCpuBudget(0.3, 4, idleCpu, 1000, 4300);
    QVERIFY2(
        cpuUsed < budget,
        qPrintable(QString("CPU time in 4.3 s: %1 s, idle %2 s per s").arg(cpuUsed).arg(idleCpu)));

    QCOMPARE(link.errorTexts().mid(1), QStringList{"Modbus Error: connection lost"});
    QCOMPARE(link.disconnected.count(), 1);

    // Connect reopens on a new peer.
    PtyPair next;
    QVERIFY(connectLink(link, next));
    QCOMPARE(link.connected.count(), 2);
}

void TestModbusLink::linkStatesFollowTheConnection()
{
    using S = LinkState;
    Link link;
    LinkSettings settings;
    connect(&link.modbus, &Modbus::linkStateChanged,
            [&](LinkState, const LinkSettings &current) { settings = current; });
    link.modbus.connectDevice("/dev/does-not-exist", 19200, 0, 1);
    QCOMPARE(link.states, QList<S>{S::OpenFailed});

    // A probe without an answer goes on waiting; a late answer still connects.
    auto pty = std::make_unique<PtyPair>();
    link.modbus.connectDevice(pty->slavePath(), 9600, 3, 7);
    QCOMPARE(settings.portName, pty->slavePath());
    QCOMPARE(settings.baudrate, 9600u);
    QCOMPARE(settings.mode, uint8_t(3));
    QCOMPARE(settings.address, uint8_t(7));
    QCOMPARE(pty->readFrame(), buildReadRequest(7, 0, 46));
    QVERIFY(QTest::qWaitFor([&] { return link.states.size() == 3; }, 6000));
    QCOMPARE(link.errorTexts().last(), QString("Modbus Error: timeout"));
    pty->write(readReplyFrame(infoBlock(), 7));
    QVERIFY(QTest::qWaitFor([&] { return link.states.size() == 4; }, 2000));
    QCOMPARE(link.states,
             (QList<S>{S::OpenFailed, S::Connecting, S::ProbeUnanswered, S::Connected}));

    link.modbus.disconnectDevice(true);
    QVERIFY(connectLink(link, *pty));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Modbus: connection lost on "));
    pty.reset();
    QVERIFY(QTest::qWaitFor([&] { return link.states.size() == 8; }, 5000));
    QCOMPARE(link.states.mid(4),
             (QList<S>{S::NotConnected, S::Connecting, S::Connected, S::ConnectionLost}));
}

void TestModbusLink::writeRunEndsWithItsLastWrite_data()
{
    QTest::addColumn<QByteArray>("secondAnswer");
    QTest::addColumn<bool>("succeeded");

    QTest::newRow("every write answered") << reply(1, 16, QByteArray::fromHex("00210001")) << true;
    QTest::newRow("the second write rejected")
        << reply(1, 0x90, QByteArray::fromHex("02")) << false;
    QTest::newRow("the second write unanswered") << QByteArray() << false;
}

void TestModbusLink::writeRunEndsWithItsLastWrite()
{
    QFETCH(QByteArray, secondAnswer);
    QFETCH(bool, succeeded);

    PtyPair pty;
    Link link;
    QVERIFY(connectLink(link, pty));
    // A poll on the wire before the run and one queued behind it, as the live data tab
    // polls while the settings are written.
    link.modbus.readRegisters(16, 30);
    link.modbus.writeRegisters(32, {0x6B3E});
    link.modbus.writeRegisters(33, {1});
    link.modbus.writeRegisters(32, {0});
    link.modbus.readRegisters(16, 30);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 16, 30));
    pty.write(readReplyFrame(QVector<uint16_t>(15, 7)));
    QCOMPARE(pty.readFrame(), buildWriteRequest(1, 32, {0x6B3E}));
    pty.write(reply(1, 16, QByteArray::fromHex("00200001")));
    QCOMPARE(pty.readFrame(), buildWriteRequest(1, 33, {1}));
    QCOMPARE(link.writeRuns.count(), 0);
    if (secondAnswer.startsWith(QByteArray::fromHex("0190")))
        QTest::ignoreMessage(QtWarningMsg,
                             "Modbus: message with invalid function code received: 144 : 02");
    if (!secondAnswer.isEmpty())
        pty.write(secondAnswer);
    if (succeeded) {
        QCOMPARE(pty.readFrame(), buildWriteRequest(1, 32, {0}));
        QCOMPARE(link.writeRuns.count(), 0);
        pty.write(reply(1, 16, QByteArray::fromHex("00200001")));
    }
    QVERIFY(QTest::qWaitFor([&] { return link.writeRuns.count() == 1; }, 5000));
    QCOMPARE(link.writeRuns.at(0).at(0).toBool(), succeeded);

    // The poll behind the run (after a failure, a new one) ends no run.
    if (!succeeded)
        link.modbus.readRegisters(16, 30);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 16, 30));
    const int replies = link.replies.count();
    pty.write(readReplyFrame(QVector<uint16_t>(15, 7)));
    QVERIFY(QTest::qWaitFor([&] { return link.replies.count() == replies + 1; }, 2000));
    QCOMPARE(link.writeRuns.count(), 1);
}

// A reply still on its way from an earlier run was read glued to the probe's reply.
void TestModbusLink::staleBytesOnTheLineAreDiscardedAtConnect()
{
    PtyPair pty;
    Link link;
    QVERIFY(pty.write(readReplyFrame(QVector<uint16_t>(15, 7))));
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
        pty.write(readReplyFrame(QVector<uint16_t>(15, uint16_t(i))));
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
