#include "customization.h"
#include "dialoganswerer.h"
#include "measurementdata.h"
#include "plotwidget.h"
#include "testfiles.h"
#include "usercalibtab.h"
#include "windowdriver.h"
#include "windowplacement.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(std::function<double(double)>)

namespace
{

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

const QDateTime origin(QDate(2024, 11, 5), QTime(10, 0), Qt::LocalTime);

// The recorded fluid: ν = A·exp(B/(T + 95)) with ν(30 °C) = 25 cSt and ν(70 °C) = 5 cSt, so
// references at round values fit the spin boxes' three decimals exactly.
const double fluidB = std::log(5.0) * 125 * 165 / 40;
const double fluidA = 25 * std::exp(-fluidB / 125);

double model(double T)
{
    return fluidA * std::exp(fluidB / (T + 95));
}

// A cool-down from 80 to 20 °C, one sample a second, ν on the model above.
void recordCoolDown(std::function<double(double)> viscosity = model)
{
    measurementData->clear();
    for (int i = 0; i <= 120; ++i) {
        const double T = 80 - 0.5 * i;
        QVERIFY(
            measurementData->addSample(origin.addSecs(i), i, 0, T, 870, viscosity(T), NaN, NaN));
    }
}

QString text(QWidget &tab, const char *label)
{
    return widget<QLabel>(tab, label)->text();
}

void setReferences(QWidget &tab, double T1, double nuRef1, double T2, double nuRef2)
{
    widget<QDoubleSpinBox>(tab, "doubleSpinBox_T1")->setValue(T1);
    widget<QDoubleSpinBox>(tab, "doubleSpinBox_nuRef1")->setValue(nuRef1);
    widget<QDoubleSpinBox>(tab, "doubleSpinBox_T2")->setValue(T2);
    widget<QDoubleSpinBox>(tab, "doubleSpinBox_nuRef2")->setValue(nuRef2);
}

void click(QWidget &tab, const char *button)
{
    QTest::mouseClick(widget<QPushButton>(tab, button), Qt::LeftButton);
}

QList<PlotWidget *> plotWindows()
{
    QList<PlotWidget *> windows;
    const QWidgetList all = QApplication::topLevelWidgets();
    for (QWidget *widget : all)
        if (auto *plot = qobject_cast<PlotWidget *>(widget))
            windows << plot;
    return windows;
}

QVariantMap readMappingValues(const QString &fileName)
{
    QSettings file(fileName, QSettings::IniFormat);
    QVariantMap values;
    const QStringList keys = file.allKeys();
    for (const QString &key : keys)
        values[key] = file.value(key).toDouble();
    return values;
}

} // namespace

class TestUserCalibTab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formAtStart();
    void textsNameTheProduct();
    void pictureFromWorkingDirectory();
    void selectionLabels_data();
    void selectionLabels();
    void rejectedInput_data();
    void rejectedInput();
    void calculationShowsResultsAndCurves();
    void chartWindowPlacement_data();
    void chartWindowPlacement();
    void coverageWarning_data();
    void coverageWarning();
    void missingSamplesAreLeftOut();
    void failedEstimationKeepsResults_data();
    void failedEstimationKeepsResults();
    void resetKeepsSelection();

    void saveName_data();
    void saveName();
    void saveStoresLastCalculation();
    void nanRoundTrip();
    void valuesBeyondSpinBoxRange();
    void loadClearsSelection();
    void missingKeyReadsAsZero();
    void unreadableFileChangesNothing_data();
    void unreadableFileChangesNothing();
    void unwritableFileIsReported();

private:
    QTemporaryDir directory;
};

void TestUserCalibTab::initTestCase()
{
    QVERIFY(directory.isValid());
}

void TestUserCalibTab::init()
{
    removeSettingsFile();
    QFile::remove("visc-map.svg");
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    readCustomization(settings);
    measurementData->clear();
}

void TestUserCalibTab::cleanup()
{
    qDeleteAll(plotWindows());
    measurementData->clear();
}

void TestUserCalibTab::formAtStart()
{
    UserCalibTab tab;
    QCOMPARE(tab.windowTitle(), QString("Form"));
    QCOMPARE(text(tab, "label_k"), QString("1.00000"));
    QCOMPARE(text(tab, "label_alpha"), QString("1.00000"));
    QCOMPARE(text(tab, "label_nuErr"), QString("-"));
    QCOMPARE(text(tab, "label_messageBox"), QString());
    QCOMPARE(text(tab, "label_selectionTime"), QString("-"));
    QCOMPARE(text(tab, "label_temperatureRange"), QString("-"));
    QVERIFY(widget<QLabel>(tab, "label_k")->font().bold());
    QVERIFY(widget<QLabel>(tab, "label_note")->font().bold());
    QCOMPARE(text(tab, "label_note"),
             QString("Note: This feature is available for firmware date 2024-10-08 and above."));

    const struct {
        const char *name;
        double minimum, maximum, value;
        int decimals;
    } spinBoxes[] = {{"doubleSpinBox_T1", -99.99, 999.9, 40, 2},
                     {"doubleSpinBox_T2", -99.99, 999.9, 100, 2},
                     {"doubleSpinBox_nuRef1", 0, 9999, 0, 3},
                     {"doubleSpinBox_nuRef2", 0, 9999, 0, 3}};
    for (const auto &expected : spinBoxes) {
        auto *box = widget<QDoubleSpinBox>(tab, expected.name);
        QCOMPARE(box->minimum(), expected.minimum);
        QCOMPARE(box->maximum(), expected.maximum);
        QCOMPARE(box->value(), expected.value);
        QCOMPARE(box->decimals(), expected.decimals);
    }

    const QStringList order{"doubleSpinBox_T1",     "doubleSpinBox_nuRef1", "doubleSpinBox_T2",
                            "doubleSpinBox_nuRef2", "pushButton_calibrate", "pushButton_load",
                            "pushButton_save",      "pushButton_writeQUVA"};
    QStringList chain;
    QWidget *const first = widget<QWidget>(tab, "doubleSpinBox_T1");
    QWidget *focus = first;
    do {
        if (order.contains(focus->objectName()) && !chain.contains(focus->objectName()))
            chain << focus->objectName();
        focus = focus->nextInFocusChain();
    } while (focus != first);
    QCOMPARE(chain, order);
}

void TestUserCalibTab::textsNameTheProduct()
{
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    settings.setValue("customization/productName", "VISCO");
    settings.sync();
    readCustomization(settings);

    UserCalibTab tab;
    QCOMPARE(widget<QPushButton>(tab, "pushButton_writeQUVA")->text(), QString("Write to VISCO"));
    QCOMPARE(text(tab, "label_description"),
             QString("This form can be used to generate a viscosity mapping to make the VISCO "
                     "measurement results more compareable to reference data that was aquired "
                     "using different measurement principles.\n\n"
                     "1.    Record the temperature curve for the wanted liquid. E.g., a cool down "
                     "curve.\n"
                     "2.    Select the range of time span of measurements you want to use from "
                     "the Live Data tab.\n"
                     "3.    Specify the two reference viscosities at two temperatures.\n"
                     "4.    Press “Generate Now” to calculate the parameters k and α of the "
                     "mapping.\n"
                     "5.    Connect to the VISCO and press \"Write to VISCO\" to transfer the "
                     "calculated paramters.\n\n"
                     "The mapped viscosity is shown in the Live Data as \"kin. Viscosity "
                     "mapped.\""));
}

void TestUserCalibTab::pictureFromWorkingDirectory()
{
    {
        UserCalibTab tab;
        auto *picture = widget<QLabel>(tab, "label_visc_map");
        QVERIFY(picture->pixmap(Qt::ReturnByValue).width() > 100);
        QCOMPARE(picture->text(), QString());
    }
    // A picture of the same name in the working directory replaces the compiled-in one.
    QFile custom("visc-map.svg");
    QVERIFY(custom.open(QIODevice::WriteOnly));
    custom.write("<svg xmlns='http://www.w3.org/2000/svg' width='9' height='4'/>");
    custom.close();
    UserCalibTab tab;
    QCOMPARE(widget<QLabel>(tab, "label_visc_map")->pixmap(Qt::ReturnByValue).size(), QSize(9, 4));
}

void TestUserCalibTab::selectionLabels_data()
{
    QTest::addColumn<int>("leftSeconds");
    QTest::addColumn<int>("rightSeconds");
    QTest::addColumn<QString>("timeLabel");
    QTest::addColumn<QString>("rangeLabel");

    QTest::newRow("whole cool-down") << -60 << 600 << "2024-11-05 09:59  -  2024-11-05 10:10"
                                     << "20.50  -  80.00";
    QTest::newRow("between two samples") << 10 << 10 << "2024-11-05 10:00  -  2024-11-05 10:00"
                                         << " - ";
}

void TestUserCalibTab::selectionLabels()
{
    QFETCH(int, leftSeconds);
    QFETCH(int, rightSeconds);
    QFETCH(QString, timeLabel);
    QFETCH(QString, rangeLabel);

    recordCoolDown();
    UserCalibTab tab;
    // Milliseconds put the second span between two samples.
    tab.on_selectionChanged(origin.addSecs(leftSeconds).addMSecs(200),
                            origin.addSecs(rightSeconds).addMSecs(800));
    QCOMPARE(text(tab, "label_selectionTime"), timeLabel);
    QCOMPARE(text(tab, "label_temperatureRange"), rangeLabel);
}

void TestUserCalibTab::rejectedInput_data()
{
    QTest::addColumn<QVector<double>>("references");
    QTest::addColumn<bool>("select");
    QTest::addColumn<QString>("message");

    QTest::newRow("one temperature, two viscosities")
        << QVector<double>{40, 50, 40, 30} << true
        << "Invalid input. Enter 1 or 2 sets of reference temperatures / viscosites.";
    QTest::newRow("two temperatures, one viscosity")
        << QVector<double>{40, 50, 100, 50} << true
        << "Invalid input. Enter 1 or 2 sets of reference temperatures / viscosites.";
    QTest::newRow("viscosity 0") << QVector<double>{40, 0, 40, 0} << true
                                 << "Invalid input. Viscosity must not be 0.";
    QTest::newRow("viscosity rising with temperature")
        << QVector<double>{20, 10, 60, 30} << true
        << "Invalid input. Viscosity must decrease with higher temperature.";
    QTest::newRow("no data section") << QVector<double>{40, 25, 100, 4} << false
                                     << "Invalid data section. Please select data section first.";
}

void TestUserCalibTab::rejectedInput()
{
    QFETCH(QVector<double>, references);
    QFETCH(bool, select);
    QFETCH(QString, message);

    recordCoolDown();
    UserCalibTab tab;
    tab.show();
    if (select)
        tab.on_selectionChanged(origin, origin.addSecs(200));
    setReferences(tab, references[0], references[1], references[2], references[3]);

    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Ok);
    click(tab, "pushButton_calibrate");
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.size(), 1);
    QCOMPARE(answerer.seenBoxes[0].title, QString("Viscosity Mapping"));
    QCOMPARE(answerer.seenBoxes[0].text, message);
    QCOMPARE(answerer.seenBoxes[0].icon, QMessageBox::Warning);
    QCOMPARE(text(tab, "label_k"), QString("1.00000"));
    QCOMPARE(text(tab, "label_nuErr"), QString("-"));
    QVERIFY(plotWindows().isEmpty());
}

void TestUserCalibTab::calculationShowsResultsAndCurves()
{
    recordCoolDown();
    UserCalibTab tab;
    tab.show();
    tab.on_selectionChanged(origin.addSecs(-1), origin.addSecs(200));
    setReferences(tab, 30, 27.5, 70, 5.5);
    click(tab, "pushButton_calibrate");

    QCOMPARE(text(tab, "label_k"), QString("1.10000"));
    QCOMPARE(text(tab, "label_alpha"), QString("1.00000"));
    QCOMPARE(text(tab, "label_nuErr"), QString("0.000"));
    QCOMPARE(text(tab, "label_messageBox"), QString());

    const QList<PlotWidget *> windows = plotWindows();
    QCOMPARE(windows.size(), 1);
    QVERIFY(windows[0]->isVisible());
    QVERIFY(!windows[0]->parentWidget());
    const QRect available = windows[0]->screen()->availableGeometry();
    QVERIFY2(available.contains(windows[0]->frameGeometry()),
             qPrintable(QString("%1,%2 %3x%4 on %5x%6")
                            .arg(windows[0]->frameGeometry().x())
                            .arg(windows[0]->frameGeometry().y())
                            .arg(windows[0]->frameGeometry().width())
                            .arg(windows[0]->frameGeometry().height())
                            .arg(available.width())
                            .arg(available.height())));

    // Every calculation opens a window of its own.
    click(tab, "pushButton_calibrate");
    QCOMPARE(plotWindows().size(), 2);
}

void TestUserCalibTab::chartWindowPlacement_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("placed");
    // Regression: the chart window opened partly off a 1366 x 768 screen.
    QTest::newRow("1366 x 768, 1280 x 680 usable")
        << QRect(0, 0, 1280, 680) << QRect(240, 40, 800, 600);
    QTest::newRow("a panel above") << QRect(0, 32, 1366, 736) << QRect(283, 100, 800, 600);
    QTest::newRow("smaller than the window, title bar kept on screen")
        << QRect(0, 0, 800, 600) << QRect(8, 40, 784, 552);
}

void TestUserCalibTab::chartWindowPlacement()
{
    QFETCH(QRect, available);
    QFETCH(QRect, placed);
    QCOMPARE(placeWithin(QSize(800, 600), available), placed);
}

void TestUserCalibTab::coverageWarning_data()
{
    QTest::addColumn<double>("T1");
    QTest::addColumn<double>("T2");
    QTest::addColumn<bool>("warned");

    // The selection of the first 101 samples covers 30 °C to 80 °C.
    QTest::newRow("references at the exact bounds") << 30.0 << 80.0 << false;
    QTest::newRow("reference below the data") << 25.0 << 80.0 << true;
    QTest::newRow("reference above the data") << 30.0 << 90.0 << true;
}

void TestUserCalibTab::coverageWarning()
{
    QFETCH(double, T1);
    QFETCH(double, T2);
    QFETCH(bool, warned);

    recordCoolDown();
    UserCalibTab tab;
    tab.show();
    tab.on_selectionChanged(origin, origin.addSecs(102));
    QCOMPARE(text(tab, "label_temperatureRange"), QString("30.00  -  80.00"));
    setReferences(tab, T1, model(T1), T2, model(T2));
    const QString warning = warned ? "Warning: The reference temperature points should ideally "
                                     "be covered by the measurement data."
                                   : QString();
    for (int press = 0; press < 2; ++press) {
        click(tab, "pushButton_calibrate");
        QCOMPARE(text(tab, "label_messageBox"), warning);
    }
    QCOMPARE(plotWindows().size(), 2);
}

void TestUserCalibTab::missingSamplesAreLeftOut()
{
    // Regression: NaN samples in the selection made k and α NaN.
    recordCoolDown();
    measurementData->nu[10] = NaN;
    measurementData->T[11] = NaN;
    measurementData->nu[12] = 0;
    measurementData->T[0] = NaN;
    UserCalibTab tab;
    tab.show();
    tab.on_selectionChanged(origin.addSecs(-1), origin.addSecs(200));
    QCOMPARE(text(tab, "label_temperatureRange"), QString("20.50  -  79.50"));
    setReferences(tab, 30, 27.5, 70, 5.5);
    click(tab, "pushButton_calibrate");
    QCOMPARE(text(tab, "label_k"), QString("1.10000"));
    QCOMPARE(text(tab, "label_alpha"), QString("1.00000"));
    QCOMPARE(text(tab, "label_nuErr"), QString("0.000"));
}

void TestUserCalibTab::failedEstimationKeepsResults_data()
{
    QTest::addColumn<int>("samples");
    QTest::addColumn<std::function<double(double)>>("viscosity");
    QTest::addColumn<QString>("message");

    const QString failed =
        "Estimation of fluid parameters from measurement failed, please check data.";
    const QString narrow = failed + " The selected data covers only %1 K; please select a "
                                    "section with a temperature range of at least 15 K.";
    QTest::newRow("one sample: no start values")
        << 1 << std::function<double(double)>(model) << narrow.arg("0.0");
    // ν = 100·exp(−0.02·T) has no finite C: the steps run off and A overflows.
    QTest::newRow("non-finite model")
        << 121 << std::function<double(double)>([](double T) { return 100 * std::exp(-0.02 * T); })
        << failed;
    // The ten steps end at B < 0, shown as a result with a fit error of several 100 %.
    QTest::newRow("viscosity rising with temperature over 5 K")
        << 11 << std::function<double(double)>([](double T) { return 10 + 0.1 * T; })
        << narrow.arg("5.0");
}

void TestUserCalibTab::failedEstimationKeepsResults()
{
    QFETCH(int, samples);
    QFETCH(std::function<double(double)>, viscosity);

    recordCoolDown();
    UserCalibTab tab;
    tab.show();
    tab.on_selectionChanged(origin.addSecs(-1), origin.addSecs(200));
    setReferences(tab, 30, 27.5, 70, 5.5);
    click(tab, "pushButton_calibrate");
    QCOMPARE(text(tab, "label_k"), QString("1.10000"));
    const QString fitError = text(tab, "label_nuErr");
    qDeleteAll(plotWindows());

    recordCoolDown(viscosity);
    tab.on_selectionChanged(origin.addSecs(-1), origin.addSecs(samples + 1));
    setReferences(tab, 40, 20, 40, 20);
    DialogAnswerer answerer;
    answerer.answerMessageBox(QMessageBox::Ok);
    click(tab, "pushButton_calibrate");
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.size(), 1);
    QCOMPARE(answerer.seenBoxes[0].title, QString("Viscosity Mapping"));
    QTEST(answerer.seenBoxes[0].text, "message");
    QCOMPARE(text(tab, "label_k"), QString("1.10000"));
    QCOMPARE(text(tab, "label_alpha"), QString("1.00000"));
    QCOMPARE(text(tab, "label_nuErr"), fitError);
    QVERIFY(plotWindows().isEmpty());

    // The rejected model left no trace: what would be saved or written is the last result.
    // Named by the row's sample count: a data tag holds a colon, which Windows refuses in a
    // file name.
    const QString fileName = directory.filePath(QString("after-failure-%1.quc").arg(samples));
    answerer.answerFileDialog(fileName);
    click(tab, "pushButton_save");
    QVERIFY(answerer.waitUntilAnswered());
    const QVariantMap values = readMappingValues(fileName);
    QVERIFY(std::abs(values["A"].toDouble() / fluidA - 1) < 1e-6);
    QVERIFY(std::abs(values["B"].toDouble() / fluidB - 1) < 1e-6);
    QVERIFY(std::abs(values["C"].toDouble() / 95 - 1) < 1e-6);
}

void TestUserCalibTab::resetKeepsSelection()
{
    recordCoolDown();
    UserCalibTab tab;
    tab.show();
    tab.on_selectionChanged(origin, origin.addSecs(102));
    setReferences(tab, 25, 30, 70, 5.5);
    click(tab, "pushButton_calibrate");
    QVERIFY(!text(tab, "label_messageBox").isEmpty());
    const QString k = text(tab, "label_k");
    const QString alpha = text(tab, "label_alpha");
    QVERIFY(k != "1.00000" && alpha != "1.00000");

    click(tab, "pushButton_resetCalib");
    QCOMPARE(text(tab, "label_k"), QString("1.00000"));
    QCOMPARE(text(tab, "label_alpha"), QString("1.00000"));
    QCOMPARE(text(tab, "label_nuErr"), QString("-"));
    QCOMPARE(text(tab, "label_messageBox"), QString());
    QCOMPARE(text(tab, "label_temperatureRange"), QString("30.00  -  80.00"));
    QCOMPARE(widget<QDoubleSpinBox>(tab, "doubleSpinBox_T1")->value(), 25.0);

    click(tab, "pushButton_calibrate");
    QCOMPARE(text(tab, "label_k"), k);
    QCOMPARE(text(tab, "label_alpha"), alpha);
}

void TestUserCalibTab::saveName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");

    QTest::newRow("no suffix") << "mapping"
                               << "mapping.quc";
    QTest::newRow(".quc kept") << "mapping.quc"
                               << "mapping.quc";
    QTest::newRow("suffix compared case-sensitively") << "mapping.QUC"
                                                      << "mapping.QUC.quc";
}

void TestUserCalibTab::saveName()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);

    // The dialog starts in workingDir, so a bare name lands there.
    QTemporaryDir workingDir;
    QSettings settings("./gui_settings.ini", QSettings::IniFormat);
    settings.setValue("workingDir", workingDir.path());
    settings.sync();

    UserCalibTab tab;
    tab.show();
    DialogAnswerer answerer;
    answerer.answerFileDialog(typed);
    click(tab, "pushButton_save");
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenFileDialogTitles, QStringList{"Save mapping paramter file"});
    QCOMPARE(QDir(workingDir.path()).entryList(QDir::Files), QStringList{stored});

    const QVariantMap values = readMappingValues(workingDir.filePath(stored));
    QCOMPARE(values.keys(),
             (QStringList{"A", "B", "C", "T1", "T2", "alpha", "k", "nuRef1", "nuRef2"}));
    QCOMPARE(values["T1"].toDouble(), 40.0);
    QCOMPARE(values["T2"].toDouble(), 100.0);
    QCOMPARE(values["k"].toDouble(), 1.0);
    QVERIFY(std::isnan(values["A"].toDouble()));
}

void TestUserCalibTab::saveStoresLastCalculation()
{
    recordCoolDown();
    UserCalibTab tab;
    tab.show();
    tab.on_selectionChanged(origin.addSecs(-1), origin.addSecs(200));
    setReferences(tab, 30, 10, 70, 3);
    click(tab, "pushButton_calibrate");
    // Edited after the calculation: not what is saved.
    widget<QDoubleSpinBox>(tab, "doubleSpinBox_T1")->setValue(35);

    const QString fileName = directory.filePath("calculated.quc");
    DialogAnswerer answerer;
    answerer.answerFileDialog(fileName);
    click(tab, "pushButton_save");
    QVERIFY(answerer.waitUntilAnswered());

    const QVariantMap values = readMappingValues(fileName);
    QCOMPARE(values["T1"].toDouble(), 30.0);
    QCOMPARE(values["nuRef1"].toDouble(), 10.0);
    QCOMPARE(values["T2"].toDouble(), 70.0);
    QCOMPARE(values["nuRef2"].toDouble(), 3.0);
    QVERIFY(std::abs(values["A"].toDouble() / fluidA - 1) < 1e-6);
    QVERIFY(std::abs(values["B"].toDouble() / fluidB - 1) < 1e-6);
    QVERIFY(std::abs(values["C"].toDouble() / 95 - 1) < 1e-6);
    QCOMPARE(QString::number(values["k"].toDouble(), 'f', 5), text(tab, "label_k"));
    QCOMPARE(QString::number(values["alpha"].toDouble(), 'f', 5), text(tab, "label_alpha"));
}

void TestUserCalibTab::nanRoundTrip()
{
    recordCoolDown();
    UserCalibTab tab;
    tab.show();
    tab.on_selectionChanged(origin.addSecs(-1), origin.addSecs(200));
    setReferences(tab, 30, 10, 70, 3);
    click(tab, "pushButton_calibrate");
    click(tab, "pushButton_resetCalib");

    const QString first = directory.filePath("reset.quc");
    const QString second = directory.filePath("again.quc");
    DialogAnswerer answerer;
    answerer.answerFileDialog(first);
    click(tab, "pushButton_save");
    answerer.answerFileDialog(first);
    click(tab, "pushButton_load");
    answerer.answerFileDialog(second);
    click(tab, "pushButton_save");
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenFileDialogTitles,
             (QStringList{"Save mapping paramter file", "Load mapping parameter file",
                          "Save mapping paramter file"}));

    QCOMPARE(text(tab, "label_k"), QString("1.00000"));
    QCOMPARE(text(tab, "label_alpha"), QString("1.00000"));
    QCOMPARE(text(tab, "label_nuErr"), QString("-"));
    const QVariantMap values = readMappingValues(second);
    QCOMPARE(values["k"].toDouble(), 1.0);
    QCOMPARE(values["alpha"].toDouble(), 1.0);
    for (const char *key : {"A", "B", "C"})
        QVERIFY2(std::isnan(values[key].toDouble()), key);
}

void TestUserCalibTab::valuesBeyondSpinBoxRange()
{
    const QString fileName = directory.filePath("hot.quc");
    QVERIFY(writeFile(fileName, "[General]\nT1=1200\nnuRef1=2.5\nT2=-150\nnuRef2=12000\nA=0.02\n"
                                "B=900\nC=95\nk=1.2\nalpha=0.9\n"));
    UserCalibTab tab;
    tab.show();
    DialogAnswerer answerer;
    answerer.answerFileDialog(fileName);
    click(tab, "pushButton_load");
    answerer.answerFileDialog(directory.filePath("hot-again.quc"));
    click(tab, "pushButton_save");
    QVERIFY(answerer.waitUntilAnswered());

    QCOMPARE(widget<QDoubleSpinBox>(tab, "doubleSpinBox_T1")->value(), 999.9);
    QCOMPARE(widget<QDoubleSpinBox>(tab, "doubleSpinBox_T2")->value(), -99.99);
    QCOMPARE(widget<QDoubleSpinBox>(tab, "doubleSpinBox_nuRef2")->value(), 9999.0);
    QCOMPARE(text(tab, "label_k"), QString("1.20000"));
    QCOMPARE(text(tab, "label_alpha"), QString("0.90000"));
    const QVariantMap values = readMappingValues(directory.filePath("hot-again.quc"));
    QCOMPARE(values["T1"].toDouble(), 1200.0);
    QCOMPARE(values["T2"].toDouble(), -150.0);
    QCOMPARE(values["nuRef2"].toDouble(), 12000.0);
}

void TestUserCalibTab::loadClearsSelection()
{
    const QString fileName = directory.filePath("valid.quc");
    QVERIFY(writeFile(fileName,
                      "[General]\nT1=30\nnuRef1=10\nT2=70\nnuRef2=3\nA=0.02\nB=900\nC=95\n"
                      "k=1.1\nalpha=1\n"));
    recordCoolDown();
    UserCalibTab tab;
    tab.show();
    tab.on_selectionChanged(origin.addSecs(-1), origin.addSecs(200));
    widget<QLabel>(tab, "label_messageBox")->setText("old warning");

    DialogAnswerer answerer;
    answerer.answerFileDialog(fileName);
    click(tab, "pushButton_load");
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(text(tab, "label_selectionTime"), QString(" - "));
    QCOMPARE(text(tab, "label_temperatureRange"), QString(" - "));
    QCOMPARE(text(tab, "label_messageBox"), QString());
    QCOMPARE(widget<QDoubleSpinBox>(tab, "doubleSpinBox_nuRef1")->value(), 10.0);

    answerer.answerMessageBox(QMessageBox::Ok);
    click(tab, "pushButton_calibrate");
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.size(), 1);
    QCOMPARE(answerer.seenBoxes[0].text,
             QString("Invalid data section. Please select data section first."));
}

void TestUserCalibTab::missingKeyReadsAsZero()
{
    const QString fileName = directory.filePath("partial.quc");
    QVERIFY(writeFile(fileName, "[General]\nk=1.5\nT1=55\n"));
    UserCalibTab tab;
    tab.show();
    DialogAnswerer answerer;
    answerer.answerFileDialog(fileName);
    click(tab, "pushButton_load");
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(text(tab, "label_k"), QString("1.50000"));
    QCOMPARE(text(tab, "label_alpha"), QString("0.00000"));
    QCOMPARE(widget<QDoubleSpinBox>(tab, "doubleSpinBox_T1")->value(), 55.0);
    QCOMPARE(widget<QDoubleSpinBox>(tab, "doubleSpinBox_T2")->value(), 0.0);
    QVERIFY(answerer.seenBoxes.isEmpty());
}

void TestUserCalibTab::unreadableFileChangesNothing_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("not an INI file") << QByteArray("[k\nalpha=2\n");
    QTest::newRow("none of the keys") << QByteArray("[General]\nfactor=2\n");
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
}

void TestUserCalibTab::unreadableFileChangesNothing()
{
    QFETCH(QByteArray, content);

    const QString fileName = directory.filePath("broken.quc");
    QVERIFY(writeFile(fileName, content));
    recordCoolDown();
    UserCalibTab tab;
    tab.show();
    tab.on_selectionChanged(origin.addSecs(-1), origin.addSecs(200));
    setReferences(tab, 30, 27.5, 70, 5.5);
    click(tab, "pushButton_calibrate");
    qDeleteAll(plotWindows());

    DialogAnswerer answerer;
    answerer.answerFileDialog(fileName);
    answerer.answerMessageBox(QMessageBox::Ok);
    click(tab, "pushButton_load");
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.size(), 1);
    QCOMPARE(answerer.seenBoxes[0].title, QString("Viscosity Mapping"));
    QCOMPARE(answerer.seenBoxes[0].text, QString("The mapping parameter file %1 could not be read.")
                                             .arg(QDir::toNativeSeparators(fileName)));
    QCOMPARE(text(tab, "label_k"), QString("1.10000"));
    QCOMPARE(text(tab, "label_alpha"), QString("1.00000"));
    QCOMPARE(text(tab, "label_temperatureRange"), QString("20.50  -  80.00"));
    QCOMPARE(widget<QDoubleSpinBox>(tab, "doubleSpinBox_T1")->value(), 30.0);

    // The selection is still there: a new calculation runs.
    click(tab, "pushButton_calibrate");
    QCOMPARE(plotWindows().size(), 1);
}

void TestUserCalibTab::unwritableFileIsReported()
{
    // The chosen name gets ".quc" appended, and that is a folder.
    QVERIFY(QDir(directory.path()).mkdir("folder.quc"));
    UserCalibTab tab;
    tab.show();
    DialogAnswerer answerer;
    answerer.answerFileDialog(directory.filePath("folder"));
    answerer.answerMessageBox(QMessageBox::Ok);
    click(tab, "pushButton_save");
    QVERIFY(answerer.waitUntilAnswered());
    QCOMPARE(answerer.seenBoxes.size(), 1);
    QCOMPARE(answerer.seenBoxes[0].title, QString("Viscosity Mapping"));
    QCOMPARE(answerer.seenBoxes[0].text,
             QString("The mapping parameter file %1 could not be written.")
                 .arg(QDir::toNativeSeparators(directory.filePath("folder.quc"))));
}

QTEST_MAIN(TestUserCalibTab)
#include "tst_usercalibtab.moc"
