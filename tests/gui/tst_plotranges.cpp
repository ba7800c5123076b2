#include "dialoganswerer.h"
#include "measurementdata.h"
#include "plotranges.h"
#include "rangesdialog.h"
#include "settingsfile.h"
#include "testfiles.h"
#include "timeplotform.h"
#include "timeplotwidget.h"
#include "windowdriver.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <limits>

namespace
{

enum Mode { Automatic, Fixed };

void setRow(QWidget &dialog, const char *quantity, Mode mode, const QString &minimum = QString(),
            const QString &maximum = QString())
{
    widget<QComboBox>(dialog, qPrintable(QString("comboBox_%1").arg(quantity)))
        ->setCurrentIndex(mode);
    widget<QLineEdit>(dialog, qPrintable(QString("lineEdit_%1_min").arg(quantity)))
        ->setText(minimum);
    widget<QLineEdit>(dialog, qPrintable(QString("lineEdit_%1_max").arg(quantity)))
        ->setText(maximum);
}

void pressOk(QWidget &dialog)
{
    widget<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
}

QVariantMap plotRangesGroup()
{
    QSettings settings(SettingsFile::path, QSettings::IniFormat);
    settings.beginGroup(PlotRanges::group);
    QVariantMap values;
    for (const QString &key : settings.childKeys())
        values.insert(key, settings.value(key));
    return values;
}

// The rows of the plot's picture that hold curve pixels (the curve's blue) in columns
// first to last.
QSet<int> curveRows(const QImage &picture, int first, int last)
{
    QSet<int> rows;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = first; x <= last; ++x) {
            const QColor pixel = picture.pixelColor(x, y);
            if (pixel.blue() > 200 && pixel.red() < 120 && pixel.green() < 200)
                rows.insert(y);
        }
    }
    return rows;
}

} // namespace

class TestPlotRanges : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void typedRange_data();
    void typedRange();
    void storedRange_data();
    void storedRange();
    void dialogRefusesThenRemembers();
    void fixedBandIsDrawnAsGivenAndClipped();
};

void TestPlotRanges::init()
{
    removeSettingsFile();
}

void TestPlotRanges::typedRange_data()
{
    QTest::addColumn<QString>("minimum");
    QTest::addColumn<QString>("maximum");
    QTest::addColumn<QString>("error"); // a part of the refusal; empty when accepted

    QTest::newRow("in order") << "0"
                              << "100"
                              << "";
    QTest::newRow("negative and exponent, blanks around") << " -1.5e3 "
                                                          << "2E-1"
                                                          << "";
    QTest::newRow("equal ends") << "5"
                                << "5"
                                << "less than the maximum";
    QTest::newRow("reversed") << "10"
                              << "0"
                              << "less than the maximum";
    QTest::newRow("empty minimum") << ""
                                   << "1"
                                   << "minimum \"\" is not a finite number";
    QTest::newRow("decimal comma") << "1,5"
                                   << "2"
                                   << "minimum \"1,5\" is not";
    QTest::newRow("not a number") << "0"
                                  << "nan"
                                  << "maximum \"nan\" is not";
    QTest::newRow("infinite") << "-inf"
                              << "0"
                              << "minimum \"-inf\" is not";
    QTest::newRow("beyond a double") << "0"
                                     << "1e999"
                                     << "maximum \"1e999\" is not";
}

void TestPlotRanges::typedRange()
{
    QFETCH(QString, minimum);
    QFETCH(QString, maximum);
    QFETCH(QString, error);
    const QString refusal = fixedRangeError(minimum, maximum);
    QVERIFY2(error.isEmpty() ? refusal.isEmpty() : refusal.contains(error), qPrintable(refusal));
    QCOMPARE(parseFixedRange(minimum, maximum).has_value(), error.isEmpty());
}

void TestPlotRanges::storedRange_data()
{
    QTest::addColumn<QByteArray>("group"); // the lines of [plotRanges]
    QTest::addColumn<bool>("fixed");

    QTest::newRow("both ends") << QByteArray("rhoMin=800\nrhoMax=900\n") << true;
    QTest::newRow("no maximum") << QByteArray("rhoMin=800\n") << false;
    QTest::newRow("reversed") << QByteArray("rhoMin=900\nrhoMax=800\n") << false;
    QTest::newRow("not a number") << QByteArray("rhoMin=low\nrhoMax=900\n") << false;
    QTest::newRow("a list") << QByteArray("rhoMin=1,5\nrhoMax=900\n") << false;
    QTest::newRow("in the plot group")
        << QByteArray("x=1\n[plot]\nrhoMin=800\nrhoMax=900\n") << false;
}

void TestPlotRanges::storedRange()
{
    QFETCH(QByteArray, group);
    QFETCH(bool, fixed);
    QVERIFY(writeFile(SettingsFile::path, "[plotRanges]\n" + group));
    SettingsFile settings;
    const std::optional<FixedRange> range = PlotRanges::load(settings).fixed("rho");
    QCOMPARE(range.has_value(), fixed);
    if (fixed) {
        QCOMPARE(range->minimum, 800.0);
        QCOMPARE(range->maximum, 900.0);
    }
    QVERIFY(!PlotRanges::load(settings).fixed("nu"));
}

// A bad range is refused with a message naming it and changes nothing; a good one is
// written to plotRanges alone and shown again next time.
void TestPlotRanges::dialogRefusesThenRemembers()
{
    QVERIFY(writeFile(SettingsFile::path, "[plot]\nrhoMinRange=20\n"));
    const QByteArray before = readFile(SettingsFile::path);
    {
        RangesDialog dialog;
        dialog.show();
        setRow(dialog, "nu", Fixed, "10", "0");
        DialogAnswerer answerer;
        answerer.answerMessageBox(QMessageBox::Ok);
        pressOk(dialog);
        QVERIFY(answerer.waitUntilAnswered());
        QCOMPARE(answerer.seenBoxes.size(), 1);
        QCOMPARE(answerer.seenBoxes.first().title, QString("Ranges"));
        QVERIFY2(answerer.seenBoxes.first().text.startsWith("kin. Viscosity (cSt): The minimum "
                                                            "must be less than the maximum."),
                 qPrintable(answerer.seenBoxes.first().text));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(readFile(SettingsFile::path), before);

        setRow(dialog, "nu", Fixed, "0", "2.5");
        setRow(dialog, "rho", Fixed, "junk", "");
        setRow(dialog, "rho", Automatic, "junk", ""); // an automatic row's ends are not read
        pressOk(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(answerer.seenBoxes.size(), 1);
    }
    QCOMPARE(plotRangesGroup(), QVariantMap({{"nuMin", "0"}, {"nuMax", "2.5"}}));
    QSettings settings(SettingsFile::path, QSettings::IniFormat);
    QCOMPARE(settings.value("plot/rhoMinRange").toString(), QString("20"));

    RangesDialog again;
    QCOMPARE(widget<QComboBox>(again, "comboBox_nu")->currentIndex(), int(Fixed));
    QCOMPARE(widget<QLineEdit>(again, "lineEdit_nu_max")->text(), QString("2.5"));
    QCOMPARE(widget<QComboBox>(again, "comboBox_rho")->currentIndex(), int(Automatic));
    QVERIFY(!widget<QLineEdit>(again, "lineEdit_rho_min")->isEnabled());
    setRow(again, "nu", Automatic);
    pressOk(again);
    QVERIFY(plotRangesGroup().isEmpty());
}

// Through the Inspect group's button of one plot, for every open plot: nu fixed at 0 to
// 10 puts the value 5 in the middle of its band and draws 1000 at the band's top edge,
// never in the band below.
void TestPlotRanges::fixedBandIsDrawnAsGivenAndClipped()
{
    MeasurementData store;
    const QDateTime first(QDate(2024, 3, 5), QTime(14, 0));
    for (int i = 0; i < 120; ++i)
        store.addSample(first.addMSecs(i * 500), uint32_t(i + 1), 0,
                        std::numeric_limits<double>::quiet_NaN(), 850, i < 60 ? 5 : 1000, 1,
                        std::numeric_limits<double>::quiet_NaN());
    TimePlotForm forms[2];
    for (TimePlotForm &form : forms) {
        form.resize(900, 500);
        form.setMeasurementData(&store);
        form.setVisableGraphs(GraphFlag::Nu | GraphFlag::T);
        form.setIntervalTimeIndex(1);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }

    QTimer::singleShot(0, [] {
        auto *dialog = qobject_cast<RangesDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        setRow(*dialog, "nu", Fixed, "0", "10");
        pressOk(*dialog);
    });
    widget<QPushButton>(forms[0], "pushButton_ranges")->click();
    QCOMPARE(plotRangesGroup(), QVariantMap({{"nuMin", "0"}, {"nuMax", "10"}}));

    for (TimePlotForm &form : forms) {
        const QImage picture = widget<TimePlotWidget>(form, "timePlot")->grab().toImage();
        const int bandHeight = picture.height() / 2;
        // Columns of the first and the last 20 seconds of the minute shown.
        const int plotWidth = picture.width() - 75;
        const QSet<int> steady = curveRows(picture, 75 + plotWidth / 12, 75 + plotWidth / 3);
        const QSet<int> high = curveRows(picture, 75 + plotWidth * 2 / 3, picture.width() - 10);
        QVERIFY(!steady.isEmpty() && !high.isEmpty());
        for (int y : steady)
            QVERIFY2(qAbs(y - bandHeight / 2) <= 2, qPrintable(QString::number(y)));
        for (int y : high)
            QVERIFY2(y <= 2, qPrintable(QString::number(y)));
        for (int y : curveRows(picture, 75, picture.width() - 1))
            QVERIFY2(y < bandHeight, qPrintable(QString::number(y)));
    }
}

QTEST_MAIN(TestPlotRanges)
#include "tst_plotranges.moc"
