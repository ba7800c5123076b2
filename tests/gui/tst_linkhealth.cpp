// Link statistics and the bus monitor, fed by the real link over a pty whose peer
// answers with faults.

#include "busmonitordialog.h"
#include "dialoganswerer.h"
#include "linkstatisticsdialog.h"
#include "modbus.h"
#include "modbusframe.h"
#include "ptypair.h"
#include "replyframes.h"
#include "windowdriver.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

class TestLinkHealth : public QObject
{
    Q_OBJECT

private slots:
    void spreadOverABoundedWindow();
    void faultyExchangeCountedAndMonitored();
};

void TestLinkHealth::spreadOverABoundedWindow()
{
    LinkStatistics statistics(100);
    // 1000 ms first, then 1..100 ms: the first falls out of the window of 100.
    statistics.replyAccepted(1000, 1000);
    for (int ms = 1; ms <= 100; ++ms)
        statistics.replyAccepted(ms / 2.0, ms);
    const LinkStatistics::Spread reply = statistics.replyTimes();
    QCOMPARE(reply.count, 100);
    QCOMPARE(reply.min, 1.0);
    QCOMPARE(reply.median, 50.0);
    QCOMPARE(reply.p99, 99.0);
    QCOMPARE(reply.max, 100.0);
    QCOMPARE(statistics.firstByteTimes().max, 50.0);
    QCOMPARE(statistics.replies(), uint64_t(101));

    statistics.reset();
    QCOMPARE(statistics.replies(), uint64_t(0));
    QCOMPARE(statistics.replyTimes().count, 0);
}

void TestLinkHealth::faultyExchangeCountedAndMonitored()
{
    PtyPair pty;
    QVERIFY(pty.isOpen());
    Modbus modbus;
    QSignalSpy errors(&modbus, SIGNAL(showModbusError(QString)));
    BusMonitorDialog monitor(modbus.frameLog());
    LinkStatisticsDialog panel(modbus.statistics());
    monitor.show();
    panel.show();

    // What went over the pty, in order, as the monitor should show it.
    QStringList expected;
    const auto request = [&](const QString &meaning) {
        const QByteArray frame = pty.readFrame(5000);
        expected << "→\t" + FrameLog::hexText(frame) + "\t" + meaning;
        return frame;
    };
    const auto answer = [&](const QByteArray &frame, const QString &meaning) {
        const int before = errors.count();
        pty.write(frame);
        expected << "←\t" + FrameLog::hexText(frame) + "\t" + meaning;
        return errors.count() > before || errors.wait(5000);
    };

    modbus.connectDevice(pty.slavePath(), 19200, 0, 1);
    QCOMPARE(request("read 0..46"), buildReadRequest(1, 0, 46));
    QVERIFY(answer(readReplyFrame(infoBlock()), "reply, 47 words"));

    QByteArray badCrc = readReplyFrame(QVector<uint16_t>(15, 7));
    badCrc[badCrc.size() - 1] = char(badCrc[badCrc.size() - 1] ^ 0x55);
    const QList<QPair<QByteArray, QString>> faults{
        {badCrc, "CRC error"},
        {readReplyFrame(QVector<uint16_t>(15, 7), 9), "wrong address 9"},
        {exceptionReplyFrame(3, 2), "exception 2 (illegal data address)"},
        {QByteArray("\x01\x03", 2), "too short"},
    };
    for (const auto &fault : faults) {
        modbus.readRegisters(16, 30);
        request("read 16..30");
        QVERIFY(answer(fault.first, fault.second));
    }
    // No answer at all.
    modbus.readRegisters(16, 30);
    request("read 16..30");
    QVERIFY(errors.wait(10000));
    QCOMPARE(errors.last().at(0).toString(), QString("Modbus Error: timeout"));
    expected << "·\t\ttime-out";
    modbus.writeRegisters(32, {0x6B3E});
    request("write 32 ← 0x6B3E");
    QVERIFY(answer(buildRequest(1, 16, QByteArray::fromHex("00200001")), "written, 1 words"));

    const LinkStatistics &statistics = modbus.statistics();
    QCOMPARE(statistics.requests(), uint64_t(7));
    QCOMPARE(statistics.replies(), uint64_t(2));
    QCOMPARE(statistics.errors(LinkStatistics::Crc), uint64_t(1));
    QCOMPARE(statistics.errors(LinkStatistics::WrongAddress), uint64_t(1));
    QCOMPARE(statistics.errors(LinkStatistics::TooShort), uint64_t(1));
    QCOMPARE(statistics.errors(LinkStatistics::Timeout), uint64_t(1));
    QCOMPARE(statistics.exceptions().value(2), uint64_t(1));
    // The accepted reply includes the 100 ms of quiet that ends a frame (less the few ms the
    // request takes on the line, and a coarse timer's early firing).
    QVERIFY(statistics.replyTimes().min >= 80);

    // The monitor's rows are those frames, in order, with the port's opening first.
    const auto rowsWithoutTime = [&] {
        QStringList rows;
        for (const QString &row : monitor.rowTexts())
            rows << row.section('\t', 1);
        return rows;
    };
    expected.prepend("·\t\tport opened");
    QTRY_COMPARE_WITH_TIMEOUT(rowsWithoutTime(), expected, 5000);
    QVERIFY(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\t")
                .match(monitor.rowTexts().first())
                .hasMatch());

    // Saved as shown, below a line naming the columns.
    DialogAnswerer answerer;
    const QString saved = QDir::current().absoluteFilePath("monitor.txt");
    QFile::remove(saved);
    answerer.answerFileDialog(saved);
    widget<QPushButton>(monitor, "pushButton_save")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()),
             (QStringList{"Time\tDirection\tFrame\tMeaning"} + monitor.rowTexts()).join('\n') +
                 '\n');

    // The panel shows the counts and starts afresh on Reset.
    QLabel *figures = widget<QLabel>(panel, "label_statistics");
    QTRY_VERIFY_WITH_TIMEOUT(figures->text().contains("Requests sent: 7, replies accepted: 2"),
                             5000);
    QVERIFY(figures->text().contains("exception 2: 1"));
    QTest::mouseClick(widget<QPushButton>(panel, "pushButton_reset"), Qt::LeftButton);
    QVERIFY(figures->text().contains("Requests sent: 0, replies accepted: 0"));

    // Clear empties the view; Pause keeps new frames out until it is released.
    QTest::mouseClick(widget<QPushButton>(monitor, "pushButton_clear"), Qt::LeftButton);
    QCOMPARE(monitor.rowTexts(), QStringList());
    QTest::mouseClick(widget<QPushButton>(monitor, "pushButton_pause"), Qt::LeftButton);
    modbus.readRegisters(16, 30);
    pty.readFrame(5000);
    QVERIFY(answer(readReplyFrame(QVector<uint16_t>(15, 1)), "reply, 15 words"));
    QCOMPARE(monitor.rowTexts(), QStringList());
    QTest::mouseClick(widget<QPushButton>(monitor, "pushButton_pause"), Qt::LeftButton);
    QCOMPARE(monitor.rowTexts().size(), 2);
}

QTEST_MAIN(TestLinkHealth)
#include "tst_linkhealth.moc"
