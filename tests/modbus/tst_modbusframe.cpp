#include "modbusframe.h"
#include "wordconversion.h"

#include <QtTest>

class TestModbusFrame : public QObject
{
    Q_OBJECT

private slots:
    void crcValues_data();
    void crcValues();
    void requests_data();
    void requests();
    void wordConversions();
    void replyChecks_data();
    void replyChecks();
    void readPayloadUsesFrameLength();
};

void TestModbusFrame::crcValues_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("crc");
    QTest::newRow("check value of 123456789") << QByteArray("123456789") << 0x4B37;
    QTest::newRow("empty input keeps the start value") << QByteArray() << 0xFFFF;
    QTest::newRow("read 0..46 at address 1") << QByteArray::fromHex("01030000002F") << 0x1604;
}

void TestModbusFrame::crcValues()
{
    QFETCH(QByteArray, data);
    QFETCH(int, crc);
    QCOMPARE(crc16(data), uint16_t(crc));
}

void TestModbusFrame::requests_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("read registers 0..46 at address 1")
        << buildReadRequest(1, 0, 46) << QByteArray::fromHex("01030000002F0416");
    QTest::newRow("read live block 16..30 at address 247")
        << buildReadRequest(247, 16, 30) << buildRequest(247, 3, QByteArray::fromHex("0010000F"));
    QTest::newRow("reversed range wraps to quantity 65535")
        << buildReadRequest(1, 5, 3) << buildRequest(1, 3, QByteArray::fromHex("0005FFFF"));
    QTest::newRow("write one register")
        << buildWriteRequest(1, 32, {0x6B3E})
        << buildRequest(1, 16, QByteArray::fromHex("00200001026B3E"));
    QTest::newRow("write two registers high byte first")
        << buildWriteRequest(2, 34, {0x0001, 0xC200})
        << buildRequest(2, 16, QByteArray::fromHex("00220002040001C200"));
    QTest::newRow("empty write has quantity 0 and byte count 0")
        << buildWriteRequest(1, 40, {}) << buildRequest(1, 16, QByteArray::fromHex("0028000000"));
    QTest::newRow("byte count is the low 8 bits of 2N")
        << buildWriteRequest(1, 0, QVector<uint16_t>(130, 0)).mid(6, 1)
        << QByteArray::fromHex("04");
}

void TestModbusFrame::requests()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame.toHex(' '), expected.toHex(' '));
}

void TestModbusFrame::wordConversions()
{
    QCOMPARE(uint16ToBytes(0x1234), QByteArray::fromHex("1234"));
    QCOMPARE(bytesToUint16(QByteArray::fromHex("ABCD")), uint16_t(0xABCD));
    QCOMPARE(bytesToUint16(QByteArray::fromHex("AB")), uint16_t(0xAB00));
    QCOMPARE(bytesToUint16(QByteArray()), uint16_t(0));

    QCOMPARE(wordsToUint32({0x0012, 0xABCD}), uint32_t(0x0012ABCD));
    QCOMPARE(uint32ToWords(0xFFFF0001u), (QVector<uint16_t>{0xFFFF, 0x0001}));
    QCOMPARE(wordsToFloat({0x3F80, 0x0000}), 1.0f);
    QCOMPARE(floatToWords(1.0f), (QVector<uint16_t>{0x3F80, 0x0000}));
    QCOMPARE(floatToWords(-2.5f), (QVector<uint16_t>{0xC020, 0x0000}));

    const float values[] = {0.1f, -123.456f, 3.4e38f, 1e-40f};
    for (float value : values)
        QCOMPARE(wordsToFloat(floatToWords(value)), value);
    QVERIFY(std::isnan(wordsToFloat(floatToWords(std::numeric_limits<float>::quiet_NaN()))));
}

static QByteArray withCrc(const QByteArray &body)
{
    QByteArray frame = body;
    const uint16_t crc = crc16(body);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

void TestModbusFrame::replyChecks_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("function");

    QTest::newRow("empty") << QByteArray() << int(ModbusReply::TooShort) << "message too short"
                           << 0;
    QTest::newRow("four bytes") << withCrc(QByteArray::fromHex("0103"))
                                << int(ModbusReply::TooShort) << "message too short" << 0;
    QTest::newRow("five bytes with good CRC")
        << withCrc(QByteArray::fromHex("010300")) << int(ModbusReply::Valid) << "" << 3;

    QByteArray badCrc = withCrc(QByteArray::fromHex("0103020001"));
    const uint16_t computed = crc16(badCrc.left(5));
    badCrc[5] = char(badCrc[5] ^ 0x01);
    const uint16_t received = uint16_t(uint8_t(badCrc[5]) | uint8_t(badCrc[6]) << 8);
    QTest::newRow("wrong CRC, decimal values")
        << badCrc << int(ModbusReply::CrcError)
        << QString("CRC error: %1 != %2").arg(computed).arg(received) << 3;

    QByteArray otherAddressBadCrc = badCrc;
    otherAddressBadCrc[0] = 7;
    QTest::newRow("CRC is checked before the address")
        << otherAddressBadCrc << int(ModbusReply::CrcError)
        << QString("CRC error: %1 != %2").arg(crc16(otherAddressBadCrc.left(5))).arg(received) << 3;
    QTest::newRow("other address with good CRC")
        << withCrc(QByteArray::fromHex("0703020001")) << int(ModbusReply::InvalidAddress)
        << "invalid address received: 7" << 3;
    QTest::newRow("write single register reply")
        << withCrc(QByteArray::fromHex("010600200000")) << int(ModbusReply::Valid) << "" << 6;
    QTest::newRow("write multiple registers reply")
        << withCrc(QByteArray::fromHex("011000200001")) << int(ModbusReply::Valid) << "" << 16;
    QTest::newRow("exception to a read")
        << withCrc(QByteArray::fromHex("018302")) << int(ModbusReply::Valid) << "" << 131;
    QTest::newRow("exception to a write")
        << withCrc(QByteArray::fromHex("019003")) << int(ModbusReply::Valid) << "" << 144;
}

void TestModbusFrame::replyChecks()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, status);
    QFETCH(QString, error);
    QFETCH(int, function);

    const ModbusReply reply = checkReply(frame, 1);
    QCOMPARE(int(reply.status), status);
    QCOMPARE(reply.error, error);
    if (status != ModbusReply::TooShort)
        QCOMPARE(int(reply.function), function);
}

void TestModbusFrame::readPayloadUsesFrameLength()
{
    // The byte count says 6, the frame carries two words: the frame length wins.
    const ModbusReply reply = checkReply(withCrc(QByteArray::fromHex("0103061234ABCD")), 1);
    QCOMPARE(int(reply.status), int(ModbusReply::Valid));
    QCOMPARE(decodeReadPayload(reply.payload), (QVector<uint16_t>{0x1234, 0xABCD}));

    // An odd data byte is dropped; a payload of only the byte count gives no words.
    QCOMPARE(decodeReadPayload(QByteArray::fromHex("03123456")), (QVector<uint16_t>{0x1234}));
    QVERIFY(decodeReadPayload(QByteArray::fromHex("00")).isEmpty());
}

QTEST_GUILESS_MAIN(TestModbusFrame)
#include "tst_modbusframe.moc"
