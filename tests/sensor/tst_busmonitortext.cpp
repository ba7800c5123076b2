// The bus monitor's reading of frames: which rows a filter keeps, and what a request or
// reply of a block the register map knows says in its terms.

#include "framefilter.h"
#include "modbusframe.h"
#include "registerframetext.h"
#include "replyframes.h"
#include "wordconversion.h"

#include <QtTest>

Q_DECLARE_METATYPE(FrameLog::Entry)
Q_DECLARE_METATYPE(FrameFilter)

namespace
{

FrameLog::Entry frame(FrameLog::Direction direction, const QByteArray &bytes, uint8_t asked = 5)
{
    FrameLog::Entry entry;
    entry.direction = direction;
    entry.bytes = bytes;
    entry.expectedAddress = asked;
    return entry;
}

FrameLog::Entry linkEvent(const QString &text)
{
    FrameLog::Entry entry;
    entry.event = text;
    return entry;
}

QByteArray badCrc(QByteArray frame)
{
    frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x01);
    return frame;
}

// Registers 16..30: nu 3.43 cSt in 24..25 (new) and 5.00 in 18 (old), rho 833.2, T 79.93.
QVector<uint16_t> liveWords(uint16_t rho = 8332, uint16_t T = 7993, uint16_t state = 0)
{
    QVector<uint16_t> words(15, 0);
    words[2] = 500;
    words[3] = rho;
    words[6] = T;
    words[7] = state;
    words[8] = 0;
    words[9] = 3430;
    return words;
}

const QDateTime newFirmware = QDateTime::fromSecsSinceEpoch(0x6707B5C0); // 2024-10-10

} // namespace

class TestBusMonitorText : public QObject
{
    Q_OBJECT

private slots:
    void filter_data();
    void filter();
    void frameText_data();
    void frameText();
};

void TestBusMonitorText::filter_data()
{
    QTest::addColumn<FrameLog::Entry>("entry");
    QTest::addColumn<FrameFilter>("filter");
    QTest::addColumn<bool>("shown");

    const QByteArray read5 = buildReadRequest(5, 16, 30);
    const QByteArray write5 = buildWriteRequest(5, 32, {0x6B3E});
    const QByteArray reply5 = readReplyFrame(liveWords(), 5);
    const QByteArray exception5 = exceptionReplyFrame(3, 2, 5);
    const FrameFilter address5{5, -1, false};
    const FrameFilter address6{6, -1, false};
    const FrameFilter reads{-1, 3, false};
    const FrameFilter errors{-1, -1, true};

    QTest::newRow("address kept") << frame(FrameLog::Sent, read5) << address5 << true;
    QTest::newRow("other address hidden") << frame(FrameLog::Sent, read5) << address6 << false;
    QTest::newRow("write hidden by the read filter")
        << frame(FrameLog::Sent, write5) << reads << false;
    QTest::newRow("exception counts as its request's function")
        << frame(FrameLog::Received, exception5) << reads << true;
    QTest::newRow("exception is an error")
        << frame(FrameLog::Received, exception5) << errors << true;
    QTest::newRow("accepted reply is no error")
        << frame(FrameLog::Received, reply5) << errors << false;
    QTest::newRow("CRC error is an error")
        << frame(FrameLog::Received, badCrc(reply5)) << errors << true;
    QTest::newRow("reply from another address than asked is an error")
        << frame(FrameLog::Received, reply5, 6) << errors << true;
    QTest::newRow("time-out passes the address filter as an error")
        << linkEvent("time-out") << FrameFilter{6, 16, true} << true;
    QTest::newRow("port opened is no error") << linkEvent("port opened") << errors << false;
    QTest::newRow("port opened without a filter") << linkEvent("port opened") << address6 << true;
}

void TestBusMonitorText::filter()
{
    QFETCH(FrameLog::Entry, entry);
    QFETCH(FrameFilter, filter);
    QFETCH(bool, shown);
    QCOMPARE(filter.matches(entry), shown);
}

void TestBusMonitorText::frameText_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply"); // empty: the request's own text
    QTest::addColumn<QDateTime>("firmware");
    QTest::addColumn<QString>("text");

    const QByteArray live = buildReadRequest(1, 16, 30);
    const QByteArray info = buildReadRequest(1, 0, 46);
    QVector<uint16_t> infoWords = infoBlock();
    infoWords[4] = 0x6707;
    infoWords[5] = 0xB5C0;
    infoWords[35] = 19200;
    infoWords[36] = 1;
    infoWords[37] = 2;

    QTest::newRow("live request") << live << QByteArray() << newFirmware << "read live block";
    QTest::newRow("live reply, nu from 24..25")
        << live << readReplyFrame(liveWords()) << newFirmware
        << "read live block: ν 3.43 cSt, ρ 833.2 kg/m³, T 79.93 °C, state normal";
    QTest::newRow("live reply before the 2023-03-20 gate: nu from 18")
        << live << readReplyFrame(liveWords()) << QDateTime()
        << "read live block: ν 5.00 cSt, ρ 833.2 kg/m³, T 79.93 °C, state normal";
    QTest::newRow("no-value markers, negative T, two state bits")
        << live << readReplyFrame(liveWords(0xFFFF, 0xFF38, 0x0006)) << newFirmware
        << "read live block: ν 3.43 cSt, ρ none, T -2.00 °C, state out of range, frequency "
           "controller error";
    QTest::newRow("identity reply")
        << info << readReplyFrame(infoWords) << newFirmware
        << "read identity and configuration: serial 00-12-AB-CD, firmware 2024-10-10 13:08:48, "
           "19200 baud, even, 1, address 1";
    QTest::newRow("reply with a bad CRC says nothing")
        << live << badCrc(readReplyFrame(liveWords())) << newFirmware << "";
    QTest::newRow("reply of another length than asked says nothing")
        << live << readReplyFrame(QVector<uint16_t>(14, 1)) << newFirmware << "";
    QTest::newRow("reply from another address says nothing")
        << live << readReplyFrame(liveWords(), 2) << newFirmware << "";
    QTest::newRow("read of registers the map has no block for")
        << buildReadRequest(1, 50, 52) << readReplyFrame({1, 2, 3}) << newFirmware << "";
    QTest::newRow("unlock") << buildWriteRequest(1, 32, {0x6B3E}) << QByteArray() << newFirmware
                            << "unlock";
    QTest::newRow("address change")
        << buildWriteRequest(1, 36, {5}) << QByteArray() << newFirmware << "set address 5";
    QTest::newRow("mapping") << buildWriteRequest(1, 192,
                                                  floatToWords(1.5f) + floatToWords(0.5f) +
                                                      QVector<uint16_t>(6, 0x7FC0))
                             << QByteArray() << newFirmware << "write mapping: k 1.5, α 0.5";
    QTest::newRow("write of a register the map does not name")
        << buildWriteRequest(1, 60, {1}) << QByteArray() << newFirmware << "";
}

void TestBusMonitorText::frameText()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(QDateTime, firmware);
    QFETCH(QString, text);
    QCOMPARE(reply.isEmpty() ? registerRequestText(request)
                             : registerReplyText(request, reply, firmware),
             text);
}

QTEST_GUILESS_MAIN(TestBusMonitorText)
#include "tst_busmonitortext.moc"
