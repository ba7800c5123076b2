// Modbus TCP frames and network addresses, byte for byte and text for text.

#include "framelog.h"
#include "mbapframe.h"
#include "networkaddress.h"

#include <QtTest>

class TestNetworkFrame : public QObject
{
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void replyChecks_data();
    void replyChecks();
    void monitorShowsTheHeader();
    void addresses_data();
    void addresses();
};

void TestNetworkFrame::requests_data()
{
    QTest::addColumn<QByteArray>("rtu");
    QTest::addColumn<int>("transaction");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("probe: read 0..46 at unit 1") << buildReadRequest(1, 0, 46) << 1
                                                 << QByteArray::fromHex("000100000006010300000"
                                                                        "02F");
    QTest::newRow("write 32 <- 0x6B3E at unit 247, transaction wraps to 0xFFFF")
        << buildWriteRequest(247, 32, {0x6B3E}) << 0xFFFF
        << QByteArray::fromHex("FFFF00000009F71000200001026B3E");
    QTest::newRow("empty write: length counts unit, function and 5 bytes")
        << buildWriteRequest(2, 40, {}) << 0x1234
        << QByteArray::fromHex("12340000000702100028000000");
}

void TestNetworkFrame::requests()
{
    QFETCH(QByteArray, rtu);
    QFETCH(int, transaction);
    QFETCH(QByteArray, expected);
    QCOMPARE(mbapFromRtu(rtu, uint16_t(transaction)).toHex(), expected.toHex());
}

void TestNetworkFrame::replyChecks_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("function");
    // Transaction 7 at unit 1 is expected in every row.
    QTest::newRow("two words") << QByteArray::fromHex("00070000000701030400010203")
                               << int(ModbusReply::Valid) << "" << 3;
    QTest::newRow("exception reply is valid; the function code decides later")
        << QByteArray::fromHex("000700000003018302") << int(ModbusReply::Valid) << "" << 0x83;
    QTest::newRow("header and function only")
        << QByteArray::fromHex("0007000000020103") << int(ModbusReply::TooShort)
        << "message too short" << 0;
    QTest::newRow("another transaction: a late reply")
        << QByteArray::fromHex("00060000000701030400010203") << int(ModbusReply::InvalidHeader)
        << "invalid MBAP header" << 3;
    QTest::newRow("protocol other than 0")
        << QByteArray::fromHex("00070001000701030400010203") << int(ModbusReply::InvalidHeader)
        << "invalid MBAP header" << 3;
    QTest::newRow("cut short: length says more than arrived")
        << QByteArray::fromHex("000700000009010304000102") << int(ModbusReply::InvalidHeader)
        << "invalid MBAP header" << 3;
    QTest::newRow("trailing bytes beyond the length")
        << QByteArray::fromHex("00070000000701030400010203FF") << int(ModbusReply::InvalidHeader)
        << "invalid MBAP header" << 3;
    QTest::newRow("another unit, header checked first")
        << QByteArray::fromHex("00070000000702030400010203") << int(ModbusReply::InvalidAddress)
        << "invalid address received: 2" << 3;
    QTest::newRow("another unit with a bad header is a header error")
        << QByteArray::fromHex("00080000000702030400010203") << int(ModbusReply::InvalidHeader)
        << "invalid MBAP header" << 3;
}

void TestNetworkFrame::replyChecks()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, status);
    QFETCH(QString, error);
    QFETCH(int, function);
    const ModbusReply reply = checkMbapReply(frame, 7, 1);
    QCOMPARE(int(reply.status), status);
    QCOMPARE(reply.error, error);
    QCOMPARE(int(reply.function), function);
    if (status == ModbusReply::Valid && function == 3)
        QCOMPARE(decodeReadPayload(reply.payload), (QVector<uint16_t>{0x0001, 0x0203}));
}

void TestNetworkFrame::monitorShowsTheHeader()
{
    FrameLog log;
    log.addMbapFrame(FrameLog::Sent, mbapFromRtu(buildReadRequest(3, 16, 30), 9), 3, 9, 0);
    log.addMbapFrame(FrameLog::Received, QByteArray::fromHex("00090000000703030400010203"), 3, 9,
                     0);
    log.addMbapFrame(FrameLog::Received, QByteArray::fromHex("00080000000703030400010203"), 3, 9,
                     0);
    const QVector<FrameLog::Entry> entries = log.entriesAfter(0);
    QCOMPARE(FrameLog::hexText(entries[0].bytes), QString("00 09 00 00 00 06 03 03 00 10 00 0F"));
    QCOMPARE(FrameLog::describe(entries[0]), QString("transaction 9, unit 3: read 16..30"));
    QCOMPARE(FrameLog::describe(entries[1]), QString("transaction 9, unit 3: reply, 2 words"));
    QCOMPARE(FrameLog::describe(entries[2]), QString("transaction 8, unit 3: invalid MBAP header"));
}

void TestNetworkFrame::addresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("valid");
    const int none = int(NetworkKind::None);
    const int rtu = int(NetworkKind::RtuOverTcp);
    const int mbap = int(NetworkKind::ModbusTcp);
    QTest::newRow("serial port") << "/dev/ttyUSB0" << none << "" << 0 << true;
    QTest::newRow("device server")
        << "tcp://192.168.1.20:4001" << rtu << "192.168.1.20" << 4001 << true;
    QTest::newRow("gateway by name")
        << "mbtcp://gw-3.plant.local:502" << mbap << "gw-3.plant.local" << 502 << true;
    QTest::newRow("IPv6 in brackets") << "mbtcp://[::1]:502" << mbap << "::1" << 502 << true;
    QTest::newRow("no port") << "mbtcp://127.0.0.1" << mbap << "" << 0 << false;
    QTest::newRow("port 0") << "tcp://127.0.0.1:0" << rtu << "" << 0 << false;
    QTest::newRow("port above 65535") << "tcp://127.0.0.1:65536" << rtu << "" << 0 << false;
    QTest::newRow("space in the host") << "tcp://my host:502" << rtu << "" << 0 << false;
    QTest::newRow("a path after the port") << "tcp://127.0.0.1:502/x" << rtu << "" << 0 << false;
    QTest::newRow("IPv6 without brackets") << "tcp://::1:502" << rtu << "" << 0 << false;
    QTest::newRow("not an IPv6 address in brackets")
        << "tcp://[1.2.3]:502" << rtu << "" << 0 << false;
}

void TestNetworkFrame::addresses()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, valid);
    QCOMPARE(int(networkKind(text)), kind);
    const NetworkAddress address = parseNetworkAddress(text);
    QCOMPARE(int(address.kind), kind);
    QCOMPARE(address.host, host);
    QCOMPARE(int(address.port), port);
    QCOMPARE(address.error.isEmpty(), valid);
    if (!valid)
        QVERIFY(address.error.contains("expected tcp://HOST:PORT (RTU over TCP) or "
                                       "mbtcp://HOST:PORT (Modbus TCP)"));
}

QTEST_MAIN(TestNetworkFrame)
#include "tst_networkframe.moc"
