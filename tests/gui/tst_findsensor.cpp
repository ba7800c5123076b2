// "Find sensor..." in the real window against a simulated line whose line setting and
// second address the test draws at random and does not give to the search.

#include "customization.h"
#include "mainwindow.h"
#include "modaldriver.h"
#include "serialportlist.h"
#include "simprocess.h"
#include "testfiles.h"
#include "testseed.h"
#include "windowdriver.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

namespace
{

const char *const modeTexts[] = {"none, 1", "none, 2", "even, 1", "even, 2", "odd, 1", "odd, 2"};

// The search has ended when Start is offered again.
bool waitForSearchEnd(QDialog &dialog, int timeoutMs)
{
    auto *start = widget<QPushButton>(dialog, "pushButton_start");
    return QTest::qWaitFor([&] { return start->isEnabled(); }, timeoutMs);
}

QStringList rowTexts(QTableWidget *table, int row)
{
    QStringList texts;
    for (int column = 0; column < table->columnCount(); ++column)
        texts << table->item(row, column)->text();
    return texts;
}

// The registers a read cannot change: all but the live block.
QVector<uint16_t> configuration(const SimProcess &sim)
{
    QVector<uint16_t> registers = sim.registers();
    registers.remove(16, 15);
    return registers;
}

} // namespace

class TestFindSensor : public QObject
{
    Q_OBJECT

private slots:
    void findsLineSettingThenEverySensorOnIt();
};

void TestFindSensor::findsLineSettingThenEverySensorOnIt()
{
    startWindowAfresh();
    productName = "QUVA";
    deviceSerialNumber = 0;
    QRandomGenerator random = seededRandom();
    // Never the panel's own 19200 baud, none/1: the search has to find them.
    const uint32_t baudrate = random.bounded(2) ? 9600 : 115200;
    const int mode = 1 + int(random.bounded(5));
    const int secondAddress = 2 + int(random.bounded(19));
    SimProcess sim({"--address", QString("1,%1").arg(secondAddress), "--baud",
                    QString::number(baudrate), "--mode", QString::number(mode), "--serial",
                    "0A1B2C00"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    const QVector<uint16_t> before = configuration(sim);
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    auto *ports = widget<QComboBox>(window, "comboBox_serialPort");
    QVERIFY(QTest::qWaitFor([&] { return ports->count() > 0; }, 30000));
    ports->setCurrentIndex(ports->findText(sim.portName() + " : user-given port"));
    auto *find = widget<QPushButton>(window, "pushButton_findSensor");
    auto *baudBox = widget<QComboBox>(window, "comboBox_connectBaudrate");
    auto *modeBox = widget<QComboBox>(window, "comboBox_connectMode");
    auto *addressBox = widget<QSpinBox>(window, "spinBox_connectAddress");
    QCOMPARE(baudBox->currentText(), QString("19200"));
    QCOMPARE(modeBox->currentIndex(), 0);

    // Every baud rate and mode at address 1: one sensor, with the setting it talks.
    QVERIFY(clickAndDriveDialog(find, [&](QDialog &dialog) {
        widget<QRadioButton>(dialog, "radioButton_lineSettings")->click();
        widget<QPushButton>(dialog, "pushButton_start")->click();
        QVERIFY(waitForSearchEnd(dialog, 120000));
        auto *table = widget<QTableWidget>(dialog, "tableWidget_sensors");
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(rowTexts(table, 0), (QStringList{"1", QString::number(baudrate), modeTexts[mode],
                                                  "0A-1B-2C-00", "2024-10-10 13:08:48"}));
        QCOMPARE(widget<QProgressBar>(dialog, "progressBar")->value(), 18);
        table->selectRow(0);
        widget<QPushButton>(dialog, "pushButton_use")->click();
    }));
    QCOMPARE(baudBox->currentText(), QString::number(baudrate));
    QCOMPARE(modeBox->currentIndex(), mode);
    QCOMPARE(addressBox->value(), 1);

    // Every address on that setting, cancelled once the second sensor has answered.
    QVERIFY(clickAndDriveDialog(find, [&](QDialog &dialog) {
        widget<QPushButton>(dialog, "pushButton_start")->click();
        auto *table = widget<QTableWidget>(dialog, "tableWidget_sensors");
        QVERIFY(QTest::qWaitFor([&] { return table->rowCount() == 2; }, 120000));
        widget<QPushButton>(dialog, "pushButton_cancel")->click();
        QVERIFY(waitForSearchEnd(dialog, 30000));
        QVERIFY(widget<QLabel>(dialog, "label_status")->text().startsWith("Cancelled."));
        QVERIFY(widget<QProgressBar>(dialog, "progressBar")->value() < 247);
        QCOMPARE(rowTexts(table, 1).mid(0, 4),
                 (QStringList{QString::number(secondAddress), QString::number(baudrate),
                              modeTexts[mode], "0A-1B-2C-01"}));
        table->selectRow(1);
        widget<QPushButton>(dialog, "pushButton_use")->click();
    }));
    QCOMPARE(addressBox->value(), secondAddress);
    // The search read on a link of its own: the window's identity is untouched, and the
    // sensors' registers are as they were.
    QCOMPARE(deviceSerialNumber, uint32_t(0));
    QCOMPARE(configuration(sim), before);

    // The panel now reaches the second sensor; while connected there is no search.
    QVERIFY(connectThroughPanel(window, sim.portName()));
    QCOMPARE(widget<QLabel>(window, "label_serial")->text(), QString("0A-1B-2C-01"));
    QVERIFY(!find->isEnabled());
    QTest::mouseClick(widget<QPushButton>(window, "pushButton_disconnect"), Qt::LeftButton);
    QVERIFY(find->isEnabled());
}

QTEST_MAIN(TestFindSensor)
#include "tst_findsensor.moc"
