// The link's bytes over a COM port on Windows, against the simulator: scripts/test-windows.sh
// maps its pseudo-terminal to the COM port QUVA_TEST_COM_PORT names (COM12, above 9), lists
// the ports of QUVA_TEST_LISTED_PORTS in the registry, and kills the simulator once this
// test says that it waits for it. Not run by ctest: it needs that peer.

#include "modbus.h"
#include "modbusframe.h"
#include "serialportlist.h"
#include "serialtransport.h"

#include <QSignalSpy>
#include <QtTest>

#include <cstdio>

class TestSerialTransportWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void repliesArriveThroughTheEventLoop();
    void linkReadsTheSensor();
    void registeredPortsAreListedByNumber();
    void missingPortIsDiagnosedAsNotFound();
    void goneSimulatorIsALostDevice();

private:
    QString port;
};

void TestSerialTransportWindows::initTestCase()
{
    port = qEnvironmentVariable("QUVA_TEST_COM_PORT");
    QVERIFY2(!port.isEmpty(), "QUVA_TEST_COM_PORT names no COM port");
}

void TestSerialTransportWindows::repliesArriveThroughTheEventLoop()
{
    SerialTransport transport;
    QVERIFY2(transport.open(port, 19200, 0), qPrintable(transport.openFailure()));
    // Replies of several lengths, each collected from readyRead() as it comes.
    const QVector<QPair<uint8_t, uint8_t>> ranges = {{0, 4}, {16, 30}, {0, 46}, {38, 38}};
    for (const auto &range : ranges) {
        const int expected = readReplyBytes(range.second - range.first + 1);
        QCOMPARE(transport.write(buildReadRequest(1, range.first, range.second)),
                 qint64(ReadRequestBytes));
        QByteArray reply;
        QSignalSpy arrived(&transport, &LinkTransport::readyRead);
        QVERIFY2(QTest::qWaitFor([&] { return (reply += transport.readAll()).size() >= expected; },
                                 30000),
                 reply.toHex(' ').constData());
        QVERIFY(!arrived.isEmpty());
        QCOMPARE(reply.size(), expected);
        QCOMPARE(checkReply(reply, 1).status, ModbusReply::Valid);
    }
}

void TestSerialTransportWindows::linkReadsTheSensor()
{
    Modbus modbus;
    QSignalSpy connected(&modbus, &Modbus::deviceConnected);
    QSignalSpy replies(&modbus, &Modbus::replyReceived);
    modbus.connectDevice(port, 19200, 0, 1);
    QVERIFY(connected.wait(30000));
    replies.clear();
    modbus.readRegisters(16, 30);
    QVERIFY(replies.wait(30000));
    QCOMPARE(replies.first().first().value<QVector<uint16_t>>().size(), 15);
    modbus.disconnectDevice(true);
}

void TestSerialTransportWindows::registeredPortsAreListedByNumber()
{
    const QStringList expected =
        qEnvironmentVariable("QUVA_TEST_LISTED_PORTS").split(',', Qt::SkipEmptyParts);
    QVERIFY2(!expected.isEmpty(), "QUVA_TEST_LISTED_PORTS names no COM port");
    QStringList names;
    for (const SerialPortEntry &entry : availableSerialPorts()) {
        names << entry.name;
        QVERIFY2(entry.description.startsWith("\\Device\\"), qPrintable(entry.description));
    }
    QCOMPARE(names, expected);
}

void TestSerialTransportWindows::missingPortIsDiagnosedAsNotFound()
{
    SerialTransport transport;
    QVERIFY(!transport.open("COM99", 19200, 0));
    QVERIFY(!transport.isOpen());
    QVERIFY2(transport.openFailure().startsWith("COM99 was not found"),
             qPrintable(transport.openFailure()));
}

void TestSerialTransportWindows::goneSimulatorIsALostDevice()
{
    SerialTransport transport;
    QSignalSpy lost(&transport, &LinkTransport::deviceLost);
    QVERIFY2(transport.open(port, 19200, 0), qPrintable(transport.openFailure()));
    std::printf("waiting for hang-up of %s\n", qPrintable(port));
    std::fflush(stdout);
    QVERIFY(lost.wait(60000));
    QVERIFY(transport.isOpen());
}

QTEST_GUILESS_MAIN(TestSerialTransportWindows)
#include "tst_serialtransportwindows.moc"
