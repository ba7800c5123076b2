// The Live Data tab doing its main job end to end: the real main window, the link,
// a pseudo-terminal and the simulated sensor on the other end.

#include "currentdatatab.h"
#include "customization.h"
#include "dialoganswerer.h"
#include "mainwindow.h"
#include "measurementdata.h"
#include "serialportlist.h"
#include "simprocess.h"
#include "testfiles.h"
#include "timeplotwidget.h"
#include "windowdriver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

#include <cmath>

namespace
{

bool sameValue(double stored, double expected)
{
    if (std::isnan(expected))
        return std::isnan(stored);
    return std::abs(stored - expected) <= 1e-9 * std::max(1.0, std::abs(expected));
}

// Every stored sample is what the simulator produced for that frame number; no frame
// number is stored twice.
void compareWithFrames(const SimProcess &sim)
{
    MeasurementData &store = *measurementData;
    QSet<uint32_t> seen;
    for (int i = 0; i < store.frameNr.size(); ++i) {
        const uint32_t frameNr = store.frameNr[i];
        QVERIFY2(!seen.contains(frameNr), qPrintable(QString("frame %1 twice").arg(frameNr)));
        seen.insert(frameNr);
        const SimProcess::Frame frame = sim.frame(frameNr);
        QCOMPARE(frame.frameNr, frameNr);
        QCOMPARE(store.systemState[i], frame.systemState);
        QVERIFY2(sameValue(store.nu[i], frame.nu), qPrintable(QString::number(store.nu[i])));
        QVERIFY2(sameValue(store.rho[i], frame.rho), qPrintable(QString::number(store.rho[i])));
        QVERIFY2(sameValue(store.T[i], frame.T), qPrintable(QString::number(store.T[i])));
        QVERIFY2(sameValue(store.eta[i], frame.eta), qPrintable(QString::number(store.eta[i])));
        QVERIFY2(sameValue(store.nuUc[i], frame.nuUc), qPrintable(QString::number(store.nuUc[i])));
    }
}

QLabel *stateLabel(MainWindow &window)
{
    const QList<QLabel *> labels = window.statusBar()->findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (label->text().startsWith("Current System State: "))
            return label;
    }
    return nullptr;
}

} // namespace

class TestCurrentDataTab : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void recordsWhatTheSensorMeasured();
    void firmwareGates_data();
    void firmwareGates();
    void faultsAreStoredAndShaded();
    void exportAndImportThroughTheButtons();
    void disconnectStopsSamplesReconnectResumes();
    void clearAsksFirst();
    void plotSettingsAreRemembered_data();
    void plotSettingsAreRemembered();
    void pollNeverRunsEarly();
};

void TestCurrentDataTab::init()
{
    removeSettingsFile();
    // A journal left by an earlier case would ask to be restored.
    QFile::remove("recording-journal.csv");
    measurementData->clear();
    viscosityMapping = true;
    deviceFirmwareDate = QDateTime();
    deviceSerialNumber = 0;
}

void TestCurrentDataTab::recordsWhatTheSensorMeasured()
{
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    QVERIFY(connectThroughPanel(window, sim.portName()));

    QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 6; }, 30000));
    compareWithFrames(sim);
    QVERIFY(stateLabel(window));
    QCOMPARE(stateLabel(window)->text(), QString("Current System State: normal"));
    for (int i = 1; i < measurementData->timestamps.size(); ++i)
        QVERIFY(measurementData->timestamps[i - 1] <= measurementData->timestamps[i]);
}

void TestCurrentDataTab::firmwareGates_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<bool>("newNu");
    QTest::addColumn<bool>("etaRegister");
    QTest::addColumn<bool>("nuUc");

    QTest::newRow("2023-03-19") << "2023-03-19T12:00:00" << false << false << false;
    QTest::newRow("2023-03-20") << "2023-03-20T00:00:00" << true << false << false;
    QTest::newRow("2024-02-20") << "2024-02-20T23:00:00" << true << false << false;
    QTest::newRow("2024-02-21") << "2024-02-21T00:00:00" << true << true << false;
    QTest::newRow("2024-10-07") << "2024-10-07T23:59:59" << true << true << false;
    QTest::newRow("2024-10-08") << "2024-10-08T00:00:00" << true << true << true;
}

void TestCurrentDataTab::firmwareGates()
{
    QFETCH(QString, firmware);
    QFETCH(bool, newNu);
    QFETCH(bool, etaRegister);
    QFETCH(bool, nuUc);

    // Local time, so each gate falls on its day here as on the sensor.
    const QString firmwareDate =
        QDateTime::fromString(firmware, Qt::ISODate)
            .toOffsetFromUtc(QDateTime::fromString(firmware, Qt::ISODate).offsetFromUtc())
            .toString(Qt::ISODate);
    SimProcess sim({"--rate", "10", "--firmware-date", firmwareDate});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    QVERIFY(connectThroughPanel(window, sim.portName()));
    QCOMPARE(deviceFirmwareDate, QDateTime::fromString(firmware, Qt::ISODate));

    QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 3; }, 30000));
    compareWithFrames(sim);

    const MeasurementData &store = *measurementData;
    const SimProcess::Frame frame = sim.frame(store.frameNr.last());
    const int last = store.frameNr.size() - 1;
    // Old firmware: nu only with two decimals from register 18.
    QCOMPARE(frame.words[8] == 0xFFFF && frame.words[9] == 0xFFFF, !newNu);
    QCOMPARE(store.nu[last],
             newNu ? (frame.words[8] * 65536.0 + frame.words[9]) * 0.001 : frame.words[2] * 0.01);
    if (etaRegister)
        QCOMPARE(store.eta[last], (frame.words[12] * 65536.0 + frame.words[13]) * 0.001);
    else
        QCOMPARE(store.eta[last], store.nu[last] * store.rho[last] / 1000);
    QCOMPARE(std::isnan(store.nuUc[last]), !nuUc);
}

void TestCurrentDataTab::faultsAreStoredAndShaded()
{
    SimProcess sim({"--rate", "10", "--fault-every", "0.6", "--fault-for", "0.3"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    window.resize(1200, 800);
    window.show();
    QVERIFY(connectThroughPanel(window, sim.portName()));
    window.findChild<QTabWidget *>("tabWidget")->setCurrentIndex(1);

    const MeasurementData &store = *measurementData;
    auto faulty = [&] {
        int count = 0;
        for (uint16_t state : store.systemState)
            count += state != 0;
        return count;
    };
    QVERIFY(QTest::qWaitFor([&] { return faulty() >= 2 && store.frameNr.size() - faulty() >= 2; },
                            30000));
    compareWithFrames(sim);
    for (int i = 0; i < store.systemState.size(); ++i) {
        if (store.systemState[i] & 0x0001) {
            QVERIFY(std::isnan(store.nu[i]));
            QVERIFY(std::isnan(store.rho[i]));
            QVERIFY(std::isnan(store.eta[i]));
        }
    }

    auto *plot = window.findChild<TimePlotWidget *>("timePlot");
    QVERIFY(plot);
    const QImage image = plot->grab().toImage();
    // Any row of a column: a curve passing through the stretch covers some of its rows.
    bool shaded = false;
    for (int x = 80; x < image.width() && !shaded; ++x) {
        for (int y = 0; y < image.height() && !shaded; ++y)
            shaded = image.pixelColor(x, y) == QColor(255, 228, 184);
    }
    if (!shaded) {
        // Say what was drawn, so that a failure on a loaded machine can be read afterwards.
        const QString picture = QDir::temp().absoluteFilePath("tst_currentdatatab-faults.png");
        image.save(picture);
        QStringList states;
        for (int i = 0; i < store.systemState.size(); ++i)
            states << QString("%1@%2")
                          .arg(store.systemState[i])
                          .arg(store.timestamps[i].toString("ss.zzz"));
        QFAIL(qPrintable(QString("no fault stretch shaded in %1 (%2 px wide); states: %3")
                             .arg(picture)
                             .arg(image.width())
                             .arg(states.join(' '))));
    }
}

void TestCurrentDataTab::exportAndImportThroughTheButtons()
{
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    QVERIFY(connectThroughPanel(window, sim.portName()));
    QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 4; }, 30000));
    widget<QPushButton>(window, "pushButton_disconnect")->click();
    const int count = measurementData->frameNr.size();

    QTemporaryDir folder;
    DialogAnswerer answerer;
    answerer.answerFileDialog(folder.filePath("data"));
    widget<QPushButton>(window, "pushButton_export")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenFileDialogTitles.last(), QString("Export .csv"));
    QVERIFY(QFile::exists(folder.filePath("data.csv")));
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    QCOMPARE(settings.value("workingDir").toString(), QDir(folder.path()).absolutePath());

    answerer.answerFileDialog(folder.filePath("data.CSV"));
    widget<QPushButton>(window, "pushButton_export")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QVERIFY(QFile::exists(folder.filePath("data.CSV.csv")));

    answerer.answerFileDialog(folder.filePath("book"));
    widget<QPushButton>(window, "pushButton_exportXLSX")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenFileDialogTitles.last(), QString("Export .xlsx"));
    QProcess reader;
    reader.start(QUVA_PYTHON, {"-c",
                               "import openpyxl,sys;"
                               "print(openpyxl.load_workbook(sys.argv[1]).active.max_row)",
                               folder.filePath("book.xlsx")});
    QVERIFY(reader.waitForFinished(30000));
    QCOMPARE(reader.readAllStandardOutput().trimmed().toInt(), count + 4);

    // Import the CSV back: the same samples, to the file's rounding.
    const MeasurementData recorded;
    QVector<QDateTime> timestamps = measurementData->timestamps;
    QVector<double> nu = measurementData->nu;
    QVector<double> T = measurementData->T;
    QVector<double> rho = measurementData->rho;
    QVector<uint32_t> frames = measurementData->frameNr;
    measurementData->clear();
    answerer.answerFileDialog(folder.filePath("data.csv"));
    widget<QPushButton>(window, "pushButton_import")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.size(), 0);
    QCOMPARE(measurementData->frameNr, frames);
    QCOMPARE(measurementData->timestamps, timestamps);
    for (int i = 0; i < count; ++i) {
        QVERIFY(std::abs(measurementData->nu[i] - nu[i]) <= 0.005 + 1e-9);
        QVERIFY(std::abs(measurementData->T[i] - T[i]) <= 0.005 + 1e-9);
        QVERIFY(std::abs(measurementData->rho[i] - rho[i]) <= 0.05 + 1e-9);
    }

    // A file that is not a recording: the warning, and the lines before the bad one.
    QFile bad(folder.filePath("bad.csv"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(
        "# head\n2024-01-02T03:04:05.006;7;2.5;800.0;20.0;0x0001\nthis;is;not;a;recording;!\n");
    bad.close();
    answerer.answerFileDialog(bad.fileName());
    answerer.answerMessageBox(QMessageBox::Ok);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("CSV import line: 3"));
    widget<QPushButton>(window, "pushButton_import")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.last().title, QString("Import"));
    QCOMPARE(answerer.seenBoxes.last().text,
             QString("Import failed, please check file format.\n\n%1: line 3: could not read "
                     "date/time\n\nThe previous recording (%2 samples) is kept in %3.")
                 .arg(QFileInfo(bad.fileName()).absoluteFilePath())
                 .arg(count)
                 .arg(QFileInfo(folder.filePath("data.csv")).absoluteFilePath()));
    QCOMPARE(measurementData->frameNr, QVector<uint32_t>{7});
}

void TestCurrentDataTab::disconnectStopsSamplesReconnectResumes()
{
    SimProcess sim({"--rate", "10"});
    QVERIFY2(sim.start(), qPrintable(sim.errorOutput()));
    setUserGivenPorts({sim.portName()});
    MainWindow window;
    QVERIFY(connectThroughPanel(window, sim.portName()));
    QVERIFY(QTest::qWaitFor([] { return measurementData->frameNr.size() >= 2; }, 30000));

    // The poll goes on after Disconnect, and stores nothing.
    QSignalSpy polls(window.findChild<CurrentDataTab *>("tab_currentData"),
                     SIGNAL(readRegisters(uint8_t, uint8_t)));
    widget<QPushButton>(window, "pushButton_disconnect")->click();
    const int count = measurementData->frameNr.size();
    QVERIFY(QTest::qWaitFor([&] { return polls.count() >= 3; }, 30000));
    QCOMPARE(measurementData->frameNr.size(), count);

    QVERIFY(connectThroughPanel(window, sim.portName()));
    QVERIFY(QTest::qWaitFor([&] { return measurementData->frameNr.size() >= count + 2; }, 30000));
    compareWithFrames(sim);
}

void TestCurrentDataTab::clearAsksFirst()
{
    MainWindow window;
    measurementData->addSample(QDateTime::currentDateTime(), 1, 0, 20, 800, 10, 8, 10);
    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::No);
    widget<QPushButton>(window, "pushButton_clear")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes[0].title, QString("Clear data"));
    // A sample not exported adds what becomes of it (tst_keptsamples).
    QVERIFY(answerer.seenBoxes[0].text.startsWith("Are you sure?"));
    QCOMPARE(measurementData->frameNr.size(), 1);

    answerer.answerMessageBox(QMessageBox::Yes);
    widget<QPushButton>(window, "pushButton_clear")->click();
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(measurementData->frameNr.size(), 0);
}

void TestCurrentDataTab::plotSettingsAreRemembered_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("curves");         // checked boxes
    QTest::addColumn<uint>("visableGraphs"); // written back at the end

    QTest::newRow("stored values")
        << QByteArray("intervalTimeIndex=3\nvisableGraphs=5\n") << "1 hour" << 2 << 5u;
    QTest::newRow("index out of range is ignored")
        << QByteArray("intervalTimeIndex=8\n") << "10 sec" << 4 << 15u;
    // Regression: these showed no curve at all, and visableGraphs=0 was written back.
    QTest::newRow("every bit") << QByteArray("visableGraphs=-1\n") << "1 min" << 4 << 15u;
    QTest::newRow("not numbers") << QByteArray("intervalTimeIndex=long\nvisableGraphs=all\n")
                                 << "1 min" << 4 << 15u;
}

void TestCurrentDataTab::plotSettingsAreRemembered()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, interval);
    QFETCH(int, curves);
    QFETCH(uint, visableGraphs);
    {
        QFile file("gui_settings.ini");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[currentData]\n" + stored);
    }
    {
        MainWindow window;
        QCOMPARE(widget<QComboBox>(window, "comboBox_time")->currentText(), interval);
        int checked = 0;
        for (QCheckBox *box :
             widget<QGroupBox>(window, "groupBox_visableGraphs")->findChildren<QCheckBox *>())
            checked += box->isChecked();
        QCOMPARE(checked, curves);
        widget<QComboBox>(window, "comboBox_time")->setCurrentIndex(6);
    }
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    QCOMPARE(settings.value("currentData/intervalTimeIndex").toInt(), 6);
    QCOMPARE(settings.value("currentData/visableGraphs").toString(),
             QString::number(visableGraphs));
}

// Coarse timers fire up to 5 % early (polls came 474 to 532 ms apart): the n-th poll of
// a precise one is never sent before n·500 ms. The clock starts before the poll does.
void TestCurrentDataTab::pollNeverRunsEarly()
{
    QElapsedTimer clock;
    clock.start();
    CurrentDataTab tab;
    QList<qint64> times;
    connect(&tab, &CurrentDataTab::readRegisters, [&] { times << clock.elapsed(); });
    QVERIFY(QTest::qWaitFor([&] { return times.size() >= 8; }, 30000));
    for (int n = 0; n < times.size(); ++n)
        QVERIFY2(times[n] >= (n + 1) * 500,
                 qPrintable(QString("poll %1 at %2 ms").arg(n + 1).arg(times[n])));
}

QTEST_MAIN(TestCurrentDataTab)
#include "tst_currentdatatab.moc"
