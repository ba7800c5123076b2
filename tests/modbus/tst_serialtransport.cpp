// The link's bytes over a serial port, on real pseudo-terminals: the line settings each
// mode gives the device, bytes both ways, a peer that goes away and a port that is missing.

#include "ptypair.h"
#include "serialtransport.h"
#include "terminalsettings.h"

#include <QSignalSpy>
#include <QtTest>

class TestSerialTransport : public QObject
{
    Q_OBJECT

private slots:
    void modeSetsParityAndStopBits_data();
    void modeSetsParityAndStopBits();
    void bytesGoBothWays();
    void closedPeerIsAGoneDevice();
    void missingPortIsDiagnosedByItsPath();
};

void TestSerialTransport::modeSetsParityAndStopBits_data()
{
    QTest::addColumn<uint32_t>("baudrate");
    QTest::addColumn<uint8_t>("mode");
    QTest::addColumn<QString>("settings");
    // A pseudo-terminal keeps no flag for parity on, so even parity reads as none here.
    QTest::newRow("no parity, one stop bit") << 19200u << uint8_t(0) << "19200 8N1";
    QTest::newRow("no parity, two stop bits") << 9600u << uint8_t(1) << "9600 8N2";
    QTest::newRow("even parity, one stop bit") << 38400u << uint8_t(2) << "38400 8N1";
    QTest::newRow("even parity, two stop bits") << 19200u << uint8_t(3) << "19200 8N2";
    QTest::newRow("odd parity, one stop bit") << 115200u << uint8_t(4) << "115200 8O1";
    QTest::newRow("odd parity, two stop bits") << 4800u << uint8_t(5) << "4800 8O2";
}

void TestSerialTransport::modeSetsParityAndStopBits()
{
    QFETCH(uint32_t, baudrate);
    QFETCH(uint8_t, mode);
    QFETCH(QString, settings);
    PtyPair pty;
    QVERIFY(pty.isOpen());
    SerialTransport transport;
    QVERIFY(transport.open(pty.slavePath(), baudrate, mode));
    QCOMPARE(terminalSettings(pty.slavePath()), settings);
}

void TestSerialTransport::bytesGoBothWays()
{
    PtyPair pty;
    SerialTransport transport;
    QSignalSpy arrived(&transport, &LinkTransport::readyRead);
    QVERIFY(transport.open(pty.slavePath(), 19200, 0));
    QVERIFY(transport.isOpen());

    const QByteArray request = QByteArray::fromHex("010300000005850d");
    QCOMPARE(transport.write(request), qint64(request.size()));
    QCOMPARE(pty.readFrame(), request);

    QByteArray received;
    QVERIFY(pty.write("\x01\x83\x02"));
    QVERIFY(QTest::qWaitFor([&] { return (received += transport.readAll()).size() >= 3; }));
    QVERIFY(!arrived.isEmpty());
    QCOMPARE(received, QByteArray("\x01\x83\x02"));

    // Bytes waiting on the line when the input is cleared never arrive: what comes next
    // starts with the next byte sent.
    QVERIFY(pty.write("stale"));
    QVERIFY(pty.waitUntilPortHoldsInput());
    transport.clearInput();
    QVERIFY(pty.write("\x01"));
    received.clear();
    QVERIFY(QTest::qWaitFor([&] { return !(received += transport.readAll()).isEmpty(); }));
    QCOMPARE(received, QByteArray("\x01"));
}

void TestSerialTransport::closedPeerIsAGoneDevice()
{
    PtyPair pty;
    SerialTransport transport;
    QSignalSpy lost(&transport, &LinkTransport::deviceLost);
    QVERIFY(transport.open(pty.slavePath(), 19200, 0));
    pty.closeMaster();
    QVERIFY(lost.wait());
}

void TestSerialTransport::missingPortIsDiagnosedByItsPath()
{
    SerialTransport transport;
    QVERIFY(!transport.open("/dev/quva-unplugged", 19200, 0));
    QVERIFY(!transport.isOpen());
    QVERIFY2(transport.openFailure().startsWith("/dev/quva-unplugged was not found"),
             qPrintable(transport.openFailure()));
}

QTEST_GUILESS_MAIN(TestSerialTransport)
#include "tst_serialtransport.moc"
