// The bus monitor in the real window against a simulated sensor that sometimes answers
// with an exception: decoded values, the filters, the full frame, the saved header line.

#include "busmonitordialog.h"
#include "customization.h"
#include "dialoganswerer.h"
#include "mainwindow.h"
#include "serialportlist.h"
#include "simprocess.h"
#include "testfiles.h"
#include "windowdriver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

namespace
{

enum Column { Time, Direction, Frame, Meaning, Decoded };

// The texts of one column in the rows not hidden by the filter.
QStringList shown(QTableWidget *table, int column)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (!table->isRowHidden(row))
            texts << table->item(row, column)->text();
    }
    return texts;
}

} // namespace

class TestBusMonitorFilter : public QObject
{
    Q_OBJECT

private slots:
    void decodesFiltersAndSaves();
};

void TestBusMonitorFilter::decodesFiltersAndSaves()
{
    startWindowAfresh();
    productName = "QUVA";
    SimProcess sim({"--exception", "0.3", "--rate", "4"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    QVERIFY(connectThroughPanel(window, sim.portName()));
    widget<QToolButton>(window, "toolButton_busMonitor")->click();
    auto *monitor = window.findChild<BusMonitorDialog *>();
    QVERIFY(monitor);
    auto *table = widget<QTableWidget>(*monitor, "tableWidget_frames");

    // Live replies read by their request, and exceptions among them.
    QVERIFY(QTest::qWaitFor(
        [&] {
            return shown(table, Decoded)
                           .filter(QRegularExpression("^read live block: ν [0-9.]+ cSt, ρ [0-9.]+ "
                                                      "kg/m³, T [0-9.-]+ °C, state "))
                           .size() >= 2 &&
                   !shown(table, Meaning).filter("exception 4").isEmpty();
        },
        60000));
    widget<QPushButton>(*monitor, "pushButton_pause")->click();
    const int rows = table->rowCount();
    QVERIFY(shown(table, Decoded).contains("read live block"));
    // A live reply is 35 bytes: the tooltip holds every one of them.
    int liveReply = 0;
    while (!table->item(liveReply, Decoded)->text().startsWith("read live block: "))
        ++liveReply;
    const QString bytes = table->item(liveReply, Frame)->toolTip();
    QCOMPARE(bytes.split(' ').size(), 35);
    QCOMPARE(bytes, table->item(liveReply, Frame)->text());

    auto *errorsOnly = widget<QCheckBox>(*monitor, "checkBox_errorsOnly");
    errorsOnly->setChecked(true);
    const QStringList errors = shown(table, Meaning);
    QVERIFY(!errors.isEmpty());
    QCOMPARE(errors.filter(QRegularExpression("^exception 4 ")).size(), errors.size());
    QCOMPARE(monitor->rowTexts().size(), errors.size());
    errorsOnly->setChecked(false);

    auto *function = widget<QComboBox>(*monitor, "comboBox_filterFunction");
    function->setCurrentText("16 write");
    QCOMPARE(shown(table, Direction).filter(QRegularExpression("^[→←]$")), QStringList());
    function->setCurrentText("3 read");
    QCOMPARE(shown(table, Frame).size(), rows);
    function->setCurrentText("any");
    auto *address = widget<QSpinBox>(*monitor, "spinBox_filterAddress");
    address->setValue(2);
    QCOMPARE(shown(table, Direction).filter(QRegularExpression("^[→←]$")), QStringList());
    address->setValue(0); // any

    // Saved: the header line, then the rows shown, as they always were.
    errorsOnly->setChecked(true);
    DialogAnswerer answerer;
    const QString saved = QDir::current().absoluteFilePath("monitor.txt");
    QFile::remove(saved);
    answerer.answerFileDialog(saved);
    widget<QPushButton>(*monitor, "pushButton_save")->click();
    QVERIFY(answerer.waitUntilAnswered());
    const QStringList lines = QString::fromUtf8(readFile(saved)).split('\n');
    QCOMPARE(lines.first(), QString("Time\tDirection\tFrame\tMeaning"));
    QCOMPARE(lines.mid(1, lines.size() - 2), monitor->rowTexts());
    QCOMPARE(lines.size(), errors.size() + 2);
}

QTEST_MAIN(TestBusMonitorFilter)
#include "tst_busmonitorfilter.moc"
