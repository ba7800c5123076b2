// Bad input at two doors of the program: replies on the line and CSV files. Each row says
// what the program makes of it: a clear message or the documented result, and nothing lost.
// Calibration files and mapping parameter files have tests of their own.

#include "csvline.h"
#include "customization.h"
#include "dialoganswerer.h"
#include "logrecorder.h"
#include "mainwindow.h"
#include "measurementdata.h"
#include "modbus.h"
#include "modbusframe.h"
#include "ptypair.h"
#include "replyframes.h"
#include "serialportlist.h"
#include "simprocess.h"
#include "testfiles.h"
#include "windowdriver.h"

#include <QPushButton>
#include <QTextCodec>
#include <QtTest>

#include <cmath>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const QByteArray goodLine = "2024-03-05T14:07:09.250;1234;12.35;10.49;849.5;40.00;0x0000;nan\n";

} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void badReplies_data();
    void badReplies();
    void badCsvFiles_data();
    void badCsvFiles();
    void hundredMegabyteLine();
    void onlyRegularFilesAreRead_data();
    void onlyRegularFilesAreRead();
    void importOfAPipeThroughTheWindow();
    void recordingAcrossAutumnClockChange();
    void failedImportKeepsUnexportedRecording();
};

void TestBadInput::initTestCase()
{
    applicationName = "QUVA-Explorer";
    companyName = "Tarnwell";
    productName = "QUVA";
}

void TestBadInput::badReplies_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");      // the status bar text; empty: none
    QTest::addColumn<int>("wordsDelivered"); // -1: no words reach the tabs

    const QByteArray live = readReplyFrame(QVector<uint16_t>(15, 7));
    QTest::newRow("one byte") << QByteArray("\x01") << "Modbus Error: message too short" << -1;
    QTest::newRow("four bytes") << live.left(4) << "Modbus Error: message too short" << -1;
    QTest::newRow("truncated reply") << live.left(20) << "Modbus Error: CRC error" << -1;
    QTest::newRow("NUL bytes") << QByteArray(40, '\0') << "Modbus Error: CRC error" << -1;
    QTest::newRow("0xFF bytes") << QByteArray(40, '\xff') << "Modbus Error: CRC error" << -1;
    QByteArray garbage;
    for (int i = 0; i < 300; ++i)
        garbage += char(i * 73 + 11);
    QTest::newRow("garbage") << garbage << "Modbus Error: CRC error" << -1;
    QTest::newRow("garbage before a reply")
        << QByteArray("\x7f\x13") + live << "Modbus Error: CRC error" << -1;
    QTest::newRow("two replies in one") << live + live << "Modbus Error: CRC error" << -1;
    QTest::newRow("64 KiB stream") << QByteArray(65536, 'x') << "Modbus Error: CRC error" << -1;
    // The payload length is taken modulo 256, as the byte-count field would hold it.
    QTest::newRow("oversized reply, valid CRC")
        << buildRequest(1, 3, QByteArray(1, '\0') + QByteArray(299, '\x22')) << "" << 21;
    QTest::newRow("exception reply") << buildRequest(1, 0x83, QByteArray(1, '\x02'))
                                     << "Modbus Error: invalid function code: 131" << -1;
    QTest::newRow("unknown function") << buildRequest(1, 0x2b, QByteArray(8, '\x01'))
                                      << "Modbus Error: invalid function code: 43" << -1;
    QTest::newRow("other address") << buildRequest(9, 3, QByteArray(31, '\0'))
                                   << "Modbus Error: invalid address received: 9" << -1;
}

void TestBadInput::badReplies()
{
    // The link meets the bytes in place of the reply to a live poll, then gets a good
    // reply to the next poll.
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QFETCH(int, wordsDelivered);
    PtyPair pty;
    Modbus link;
    QSignalSpy replies(&link, SIGNAL(replyReceived(QVector<uint16_t>)));
    QSignalSpy errors(&link, SIGNAL(showModbusError(QString)));
    link.connectDevice(pty.slavePath(), 19200, 0, 1);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 0, 46));
    pty.write(readReplyFrame(QVector<uint16_t>(47, 0)));
    QVERIFY(QTest::qWaitFor([&] { return replies.count() == 1; }, 30000));
    errors.clear();
    replies.clear();

    LogRecorder log;
    link.readRegisters(16, 30);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 16, 30));
    // In pieces, with the event loop running between them, as a long stream arrives.
    for (int at = 0; at < bytes.size(); at += 1024) {
        QVERIFY(pty.write(bytes.mid(at, 1024)));
        QCoreApplication::processEvents();
    }
    QVERIFY(QTest::qWaitFor([&] { return errors.count() >= 1; }, 30000));
    const QString shown = errors.takeFirst().at(0).toString();
    if (error.isEmpty())
        QCOMPARE(shown, QString());
    else
        QVERIFY2(shown.startsWith(error), qPrintable(shown));
    if (wordsDelivered >= 0) {
        QCOMPARE(replies.count(), 1);
        QCOMPARE(replies.takeFirst().at(0).value<QVector<uint16_t>>().size(), wordsDelivered);
    } else {
        QCOMPARE(replies.count(), 0);
    }

    link.readRegisters(16, 30);
    QCOMPARE(pty.readFrame(), buildReadRequest(1, 16, 30));
    pty.write(readReplyFrame(QVector<uint16_t>(15, 9)));
    QVERIFY(QTest::qWaitFor([&] { return replies.count() == 1; }, 30000));
    QCOMPARE(replies.at(0).at(0).value<QVector<uint16_t>>(), QVector<uint16_t>(15, 9));
    QCOMPARE(errors.takeLast().at(0).toString(), QString());
}

void TestBadInput::badCsvFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("imported");
    QTest::addColumn<int>("samples");
    QTest::addColumn<QString>("warning"); // the log line, empty: none

    const QByteArray head = csvHead("QUVA-Explorer", "Tarnwell");
    const auto bad = [&](const char *name, const QByteArray &line, const char *reason) {
        QTest::newRow(name) << head + goodLine + line + "\n" + goodLine << false << 1
                            << QString("MeasurementData: CSV import line: 7 %1").arg(reason);
    };
    bad("five fields", "2024-03-05T14:07:09.250;1;2;3;4", "not enough columns");
    bad("no millisecond", "2024-03-05T14:07:09;1;1;1;1;1;0x0000;1", "could not read date/time");
    bad("no such day", "2024-02-30T14:07:09.250;1;1;1;1;1;0x0000;1", "could not read date/time");
    bad("summer time gap", "2024-03-31T02:30:00.000;1;1;1;1;1;0x0000;1",
        "could not read date/time");
    bad("negative frame", "2024-03-05T14:07:09.250;-1;1;1;1;1;0x0000;1", "could not read frameNr");
    bad("frame over 32 bits", "2024-03-05T14:07:09.250;4294967296;1;1;1;1;0x0000;1",
        "could not read frameNr");
    bad("comma decimal", "2024-03-05T14:07:09.250;1;12,5;1;1;1;0x0000;1", "could not read nu");
    bad("empty eta", "2024-03-05T14:07:09.250;1;1;;1;1;0x0000;1", "could not read eta");
    bad("text density", "2024-03-05T14:07:09.250;1;1;1;heavy;1;0x0000;1", "could not read rho");
    bad("temperature unit", "2024-03-05T14:07:09.250;1;1;1;1;40 C;0x0000;1", "could not read T");
    bad("state not hex", "2024-03-05T14:07:09.250;1;1;1;1;1;0xzzzz;1",
        "could not read systemState");
    bad("nuUc NUL byte", QByteArray("2024-03-05T14:07:09.250;1;1;1;1;1;0x0000;1\0", 43),
        "could not read nuUc");
    bad("NUL in date", QByteArray("2024-03-05T14:07\0:09.250;1;1;1;1;1;0x0000;1", 43),
        "could not read date/time");

    QTest::newRow("empty file") << QByteArray() << true << 0 << "";
    QTest::newRow("head only") << head << true << 0 << "";
    QTest::newRow("CRLF line ends")
        << QByteArray(head + goodLine).replace("\n", "\r\n") << true << 1 << "";
    QTest::newRow("UTF-8 byte-order mark") << "\xef\xbb\xbf" + head + goodLine << true << 1 << "";
    QTest::newRow("Latin-1 header")
        << QTextCodec::codecForName("ISO-8859-1")
                   ->fromUnicode(QString::fromUtf8("date/time;n°;ν\n")) +
               goodLine
        << true << 1 << "";
    QTest::newRow("UTF-16") << QTextCodec::codecForName("UTF-16")->fromUnicode(
                                   QString::fromUtf8(head + goodLine))
                            << false << 0
                            << "MeasurementData: CSV import line: 1 not enough columns";
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary += char(i * 131 + 7);
    QTest::newRow("binary") << binary << false << 0 << "MeasurementData: CSV import line: ";
    QTest::newRow("older sample after newer")
        << goodLine + QByteArray(goodLine).replace("14:07", "14:06") + goodLine << true << 2
        << "MeasurementData: new timestamp \"2024-03-05T14:06:09.250\" is older than last data "
           "time \"2024-03-05T14:07:09.250\"";
}

void TestBadInput::badCsvFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, imported);
    QFETCH(int, samples);
    QFETCH(QString, warning);
    QVERIFY(writeFile("bad.csv", bytes));
    MeasurementData store;
    store.addSample(QDateTime::currentDateTime(), 1, 0, 0, 0, 0, 0, 0);
    LogRecorder log;
    QCOMPARE(store.importCsv("bad.csv"), imported);
    QCOMPARE(store.frameNr.size(), samples);
    if (warning.isEmpty())
        QCOMPARE(log.messages(QtWarningMsg), QStringList());
    else
        QVERIFY2(log.messages(QtWarningMsg).size() == 1 &&
                     log.messages(QtWarningMsg)[0].startsWith(warning),
                 qPrintable(log.lines().join('\n')));
    if (samples > 0) {
        QCOMPARE(store.frameNr[0], 1234u);
        QCOMPARE(store.nu[0], 12.35);
    }
}

void TestBadInput::hundredMegabyteLine()
{
    // One line of 100 MB between two good ones: refused at its number, the good line
    // before it kept, in constant memory.
    {
        QFile file("long.csv");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(goodLine + "2024-03-05T14:07:10.250;1;");
        const QByteArray digits(1 << 20, '7');
        for (int i = 0; i < 100; ++i)
            file.write(digits);
        file.write(";1;1;1;0x0000;1\n" + goodLine);
    }
    MeasurementData store;
    QElapsedTimer timer;
    timer.start();
    QTest::ignoreMessage(QtWarningMsg,
                         "MeasurementData: CSV import line: 2 longer than 65536 bytes");
    QVERIFY(!store.importCsv("long.csv"));
    qInfo() << "100 MB line read and refused in" << timer.elapsed() << "ms";
    QCOMPARE(store.frameNr, QVector<uint32_t>{1234});
    QFile::remove("long.csv");
}

void TestBadInput::onlyRegularFilesAreRead_data()
{
    QTest::addColumn<QString>("kind"); // what to put at the name
    QTest::addColumn<bool>("storeKept");
    QTest::addColumn<QString>("warning"); // after the file's path

    // Regression: a pipe hung the import for good, with or without a writer.
    QTest::newRow("pipe without a writer")
        << "fifo" << true << ": is a named pipe, not a regular file";
    QTest::newRow("pipe with a writer")
        << "fifo-writer" << true << ": is a named pipe, not a regular file";
    // Regression: /dev/zero grew to 1.5 GB and ended in std::bad_alloc.
    QTest::newRow("device") << "/dev/zero" << true << ": is a character device, not a regular file";
    // Regression: the log named neither the file nor the reason.
    QTest::newRow("folder") << "folder" << true << ": is a folder, not a file";
    QTest::newRow("missing") << "missing" << true << ": No such file or directory";
    // 4 GiB of zero bytes without a line end, as a sparse file.
    QTest::newRow("endless line") << "sparse" << false << "";
}

void TestBadInput::onlyRegularFilesAreRead()
{
    QFETCH(QString, kind);
    QFETCH(bool, storeKept);
    QFETCH(QString, warning);
    QTemporaryDir folder;
    QString path = folder.filePath("input.csv");
    int writer = -1;
    if (kind.startsWith("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        if (kind == "fifo-writer")
            writer = ::open(QFile::encodeName(path).constData(), O_RDWR);
    } else if (kind == "folder") {
        QVERIFY(QDir().mkdir(path));
    } else if (kind == "sparse") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(qint64(4) << 30));
    } else if (kind != "missing") {
        path = kind;
    }
    const auto closeWriter = qScopeGuard([&] {
        if (writer >= 0)
            ::close(writer);
    });

    MeasurementData store;
    store.addSample(QDateTime::currentDateTime(), 1, 0, 0, 0, 0, 0, 0);
    LogRecorder log;
    QVERIFY(!store.importCsv(path));
    QCOMPARE(store.frameNr.size(), storeKept ? 1 : 0);
    const QStringList warnings = log.messages(QtWarningMsg);
    QCOMPARE(warnings.size(), 1);
    if (warning.isEmpty())
        QCOMPARE(warnings[0],
                 QString("MeasurementData: CSV import line: 1 longer than 65536 bytes"));
    else
        QCOMPARE(warnings[0],
                 "MeasurementData: cannot open CSV file for reading " + path + warning);
}

void TestBadInput::importOfAPipeThroughTheWindow()
{
    // Regression: "Import .csv" on a pipe froze the window, and polling stopped with it.
    measurementData->clear();
    QFile::remove("recording-journal.csv");
    QTemporaryDir folder;
    const QString path = folder.filePath("pipe.csv");
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
    MainWindow window;
    DialogAnswerer answerer;
    answerer.answerFileDialog(path);
    answerer.answerMessageBox(QMessageBox::Ok);
    QTest::ignoreMessage(QtWarningMsg, qPrintable("MeasurementData: cannot open CSV file for "
                                                  "reading " +
                                                  path + ": is a named pipe, not a regular file"));
    widget<QPushButton>(window, "pushButton_import")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.last().title, QString("Import"));
    QCOMPARE(answerer.seenBoxes.last().text, "Import failed, please check file format.\n\n" + path +
                                                 ": is a named pipe, not a regular file");
}

void TestBadInput::recordingAcrossAutumnClockChange()
{
    // Regression: the repeated hour's samples were read back as the hour before and refused
    // as older, so an import or a journal restored across the change lost that hour.
    MeasurementData recorded;
    QDateTime time(QDate(2024, 10, 26), QTime(23, 50), Qt::UTC);
    for (int i = 0; i < 16; ++i, time = time.addSecs(600))
        recorded.addSample(time.toLocalTime(), uint32_t(i), 0, 20, 850, 12, 10, 1);
    QVERIFY(recorded.exportCsv("autumn.csv"));
    MeasurementData store;
    LogRecorder log;
    QVERIFY(store.importCsv("autumn.csv"));
    QCOMPARE(log.messages(QtWarningMsg), QStringList());
    QCOMPARE(store.frameNr, recorded.frameNr);
    QCOMPARE(store.timestamps, recorded.timestamps);
}

void TestBadInput::failedImportKeepsUnexportedRecording()
{
    // Regression: an import that failed on a bad file left the store empty, and quitting
    // then deleted the journal, the last copy of the recording that was never exported.
    for (const QString &name : QDir().entryList({"*.csv", "gui_settings.ini"}, QDir::Files))
        QFile::remove(name);
    measurementData->clear();
    QVERIFY(writeFile("bad.csv", "2024-03-05T14:07:09;1;1;1;1;1;0x0000;1\n"));
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    QVector<uint32_t> recorded;
    {
        MainWindow window;
        QVERIFY(connectThroughPanel(window, sim.portName()));
        QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 5; }, 30000));
        // Disconnect closes the port at once: nothing is stored after it.
        widget<QPushButton>(window, "pushButton_disconnect")->click();
        recorded = measurementData->frameNr;
        const QString badFile = QFileInfo("bad.csv").absoluteFilePath();
        const QString keptFile =
            QFileInfo("recording-journal-" +
                      measurementData->timestamps.first().toString("yyyy-MM-ddTHH-mm-ss") + ".csv")
                .absoluteFilePath();

        // The import asks first; No changes nothing.
        DialogAnswerer answerer;
        answerer.answerFileDialog(badFile);
        answerer.answerMessageBox(QMessageBox::No);
        widget<QPushButton>(window, "pushButton_import")->click();
        QVERIFY(answerer.waitUntilAnswered());
        QCOMPARE(answerer.seenBoxes.last().title, QString("Import"));
        QCOMPARE(answerer.seenBoxes.last().text,
                 QString("The recording holds %1 samples that were not exported. Importing %2 "
                         "replaces the recording. The recording will be kept in %3.\n\n"
                         "Import anyway?")
                     .arg(recorded.size())
                     .arg(badFile, keptFile));
        QCOMPARE(measurementData->frameNr, recorded);
        QVERIFY(!QFile::exists(keptFile));

        // Yes: the import fails, and the box says where the recording was kept.
        answerer.answerFileDialog(badFile);
        answerer.answerMessageBox(QMessageBox::Yes);
        answerer.answerMessageBox(QMessageBox::Ok);
        QTest::ignoreMessage(QtWarningMsg,
                             "MeasurementData: CSV import line: 1 could not read date/time");
        widget<QPushButton>(window, "pushButton_import")->click();
        QVERIFY(answerer.waitUntilAnswered());
        QCOMPARE(answerer.seenBoxes.last().text,
                 QString("Import failed, please check file format.\n\n"
                         "%1: line 1: could not read date/time\n\n"
                         "The previous recording (%2 samples) is kept in %3.")
                     .arg(badFile)
                     .arg(recorded.size())
                     .arg(keptFile));
        QVERIFY(measurementData->frameNr.isEmpty());
    }
    const QStringList kept = QDir().entryList({"recording-journal-*.csv"}, QDir::Files);
    QCOMPARE(kept.size(), 1);
    MeasurementData journal;
    QVERIFY(journal.importCsv(kept[0]));
    QCOMPARE(journal.frameNr, recorded);
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
