// The Debug tab's register table in the real window against the simulated sensor: read
// with the dump's own two requests, shown by name under the firmware's gates, copied.

#include "busmonitordialog.h"
#include "customization.h"
#include "debugtab.h"
#include "dialoganswerer.h"
#include "mainwindow.h"
#include "serialportlist.h"
#include "simprocess.h"
#include "testfiles.h"
#include "windowdriver.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

namespace
{

// The value column of the row for the registers text ("2–3").
QString valueOf(QTableWidget *table, const QString &registers)
{
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 0)->text() == registers)
            return table->item(row, 3)->text();
    }
    return "no row " + registers;
}

} // namespace

class TestRegisterTable : public QObject
{
    Q_OBJECT

private slots:
    void readShowsRegistersByName();
};

void TestRegisterTable::readShowsRegistersByName()
{
    startWindowAfresh();
    QVERIFY(writeFile("gui_settings.ini", "[General]\ndebug=true\n"));
    for (const QString &dump : QDir().entryList({"dump-*.bin"}))
        QFile::remove(dump);
    productName = "QUVA";
    // Between the gates: nu in 24..25, eta not yet in 28..29.
    SimProcess sim({"--serial", "0A1B2C05", "--firmware-date", "2023-06-01T08:00:00Z"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    QVERIFY(connectThroughPanel(window, sim.portName()));
    widget<QToolButton>(window, "toolButton_busMonitor")->click();
    auto *monitor = window.findChild<BusMonitorDialog *>();
    QVERIFY(monitor);

    const QDateTime readTime(QDate(2026, 3, 4), QTime(5, 6, 7));
    window.findChild<DebugTab *>()->setClock([&] { return readTime; });
    auto *table = widget<QTableWidget>(window, "tableWidget_registers");
    QCOMPARE(table->rowCount(), 0);
    widget<QPushButton>(window, "pushButton_readRegisters")->click();
    QVERIFY(QTest::qWaitFor([&] { return table->rowCount() > 0; }, 30000));

    QCOMPARE(valueOf(table, "2–3"), QString("0A-1B-2C-05"));
    QCOMPARE(valueOf(table, "4–5"), QString("2023-06-01 10:00:00"));
    QVERIFY(valueOf(table, "24–25").endsWith(" cSt"));
    QCOMPARE(valueOf(table, "18"), QString("not used by firmware from 2023-03-20"));
    QCOMPARE(valueOf(table, "28–29"), QString("not used by firmware before 2024-02-21"));
    QCOMPARE(valueOf(table, "36"), QString("1"));
    QCOMPARE(valueOf(table, "37"), QString("none, 1"));
    QCOMPARE(widget<QLabel>(window, "label_readTime")->text(),
             QString("Read at 2026-03-04 05:06:07"));
    // No file: only "Save Diagnostic Data" writes one.
    QCOMPARE(QDir().entryList({"dump-*.bin"}), QStringList());

    // The requests on the line were the dump's two and the poll's, nothing of a new length.
    QVERIFY(QTest::qWaitFor(
        [&] { return monitor->rowTexts().filter("\tread 95..148").size() == 1; }, 30000));
    const QStringList known{"read 0..46", "read 16..30", "read 0..94", "read 95..148"};
    for (const QString &row : monitor->rowTexts()) {
        const QString meaning = row.section('\t', 3);
        if (meaning.startsWith("read "))
            QVERIFY2(known.contains(meaning), qPrintable(meaning));
    }
    QCOMPARE(monitor->rowTexts().filter("\tread 0..94").size(), 1);

    widget<QPushButton>(window, "pushButton_copyRegisters")->click();
    const QStringList lines = QApplication::clipboard()->text().split('\n');
    QCOMPARE(lines.first(), QString("Register\tName\tRaw\tValue\tRead at"));
    QVERIFY(lines.contains("2–3\tserial number\t0x0A1B 0x2C05\t0A-1B-2C-05\t2026-03-04 05:06:07"));
    QCOMPARE(lines.size(), table->rowCount() + 2);

    // A diagnostic dump fills the table too.
    const QDateTime dumpTime = readTime.addSecs(60);
    window.findChild<DebugTab *>()->setClock([&] { return dumpTime; });
    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Ok);
    widget<QPushButton>(window, "pushButton_readAllRegisters")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(widget<QLabel>(window, "label_readTime")->text(),
             QString("Read at 2026-03-04 05:07:07"));
    QCOMPARE(QDir().entryList({"dump-*.bin"}).size(), 1);
}

QTEST_MAIN(TestRegisterTable)
#include "tst_registertable.moc"
