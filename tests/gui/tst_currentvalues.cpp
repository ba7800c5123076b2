#include "currentvalues.h"
#include "currentvalueswindow.h"
#include "customization.h"
#include "measurementdata.h"
#include "timeplotform.h"
#include "windowdriver.h"

#include <QLabel>
#include <QtTest>

#include <limits>

namespace
{

const double missing = std::numeric_limits<double>::quiet_NaN();
const char *const lineNames[currentValueCount] = {"nu", "nu_uc", "eta", "rho", "T"};

QStringList shownValues(QWidget &window)
{
    QStringList values;
    for (const char *name : lineNames) {
        auto *label = widget<QLabel>(window, qPrintable(QString("label_value_%1").arg(name)));
        if (label->isVisible())
            values.append(QString(name) + "=" + label->text());
    }
    return values;
}

} // namespace

class TestCurrentValues : public QObject
{
    Q_OBJECT

private slots:
    void age_data();
    void age();
    void lines_data();
    void lines();
    void digitsFitTheWindow();
    void followsTheStoreAndTheVisibleGraphs();
};

void TestCurrentValues::age_data()
{
    QTest::addColumn<qint64>("ageMs");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("late");

    QTest::newRow("just taken") << qint64(0) << "0 s ago" << false;
    QTest::newRow("three poll periods are not late yet") << qint64(1500) << "1 s ago" << false;
    QTest::newRow("past three poll periods") << qint64(1501) << "1 s ago" << true;
    QTest::newRow("3 s") << qint64(3999) << "3 s ago" << true;
    QTest::newRow("minutes") << qint64(125000) << "2 min 5 s ago" << true;
    QTest::newRow("hours") << qint64(3600000 + 4 * 60000 + 59000) << "1 h 4 min ago" << true;
    QTest::newRow("clock set back") << qint64(-5000) << "0 s ago" << false;
}

void TestCurrentValues::age()
{
    QFETCH(qint64, ageMs);
    QFETCH(QString, text);
    QFETCH(bool, late);
    QCOMPARE(sampleAgeText(ageMs), text);
    QCOMPARE(sampleIsLate(ageMs, 500), late);
}

void TestCurrentValues::lines_data()
{
    QTest::addColumn<unsigned int>("flags");
    QTest::addColumn<bool>("mapping");
    QTest::addColumn<QString>("shown"); // the lines shown, in order, with their values

    QTest::newRow("default graphs") << GraphFlag::Default << true << "12.35 10.49 849.5 40.00";
    QTest::newRow("mapped viscosity where mapping is on")
        << GraphFlag::All << true << "12.35 – 10.49 849.5 40.00";
    QTest::newRow("no mapped viscosity where it is off")
        << GraphFlag::All << false << "12.35 10.49 849.5 40.00";
    QTest::newRow("density alone") << GraphFlag::Rho << true << "849.5";
    QTest::newRow("nothing chosen") << 0u << true << "";
}

void TestCurrentValues::lines()
{
    QFETCH(unsigned int, flags);
    QFETCH(bool, mapping);
    QFETCH(QString, shown);
    LiveSample sample;
    sample.nu = 12.345;
    sample.eta = 10.49;
    sample.rho = 849.46;
    sample.T = 40;
    sample.nuUc = missing;
    QStringList texts;
    for (const CurrentValue &line : currentValues(sample, flags, mapping)) {
        if (line.shown)
            texts.append(line.value);
    }
    QCOMPARE(texts.join(' '), shown);
}

// The same window at two sizes: the digits grow with it, and every text shown fits its
// label, so the window is not held larger than asked.
void TestCurrentValues::digitsFitTheWindow()
{
    MeasurementData store;
    const QDateTime taken(QDate(2024, 3, 5), QTime(14, 0));
    store.addSample(taken, 1, 0x0006, -12.5, 1012.3, 1234.56, 1249.77, missing);
    CurrentValuesWindow window(
        store, [] { return GraphFlag::Default; }, nullptr, [taken] { return taken.addSecs(3); });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    int previousPixels = 0;
    for (const QSize size : {QSize(420, 300), QSize(1280, 960)}) {
        window.resize(size);
        QTRY_COMPARE(window.size(), size);
        QCoreApplication::processEvents();
        const int pixels = widget<QLabel>(window, "label_value_nu")->font().pixelSize();
        QVERIFY2(pixels > previousPixels * 3 / 2, qPrintable(QString::number(pixels)));
        previousPixels = pixels;
        for (QLabel *label : window.findChildren<QLabel *>()) {
            if (!label->isVisible() || label->wordWrap())
                continue;
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                     qPrintable(label->objectName()));
            QVERIFY(label->geometry().bottom() < window.height());
        }
    }
}

void TestCurrentValues::followsTheStoreAndTheVisibleGraphs()
{
    MeasurementData store;
    unsigned int flags = GraphFlag::Default;
    const QDateTime taken(QDate(2024, 3, 5), QTime(14, 0));
    QDateTime now = taken;
    CurrentValuesWindow window(
        store, [&flags] { return flags; }, nullptr, [&now] { return now; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *age = widget<QLabel>(window, "label_age");
    auto *state = widget<QLabel>(window, "label_state");
    QCOMPARE(age->text(), QString("no sample yet"));
    QCOMPARE(shownValues(window), QStringList({"nu=–", "eta=–", "rho=–", "T=–"}));

    store.addSample(taken, 1, 0x0000, 40, 850, 12.3, 10.46, missing);
    now = taken.addMSecs(1200);
    window.refresh();
    QCOMPARE(shownValues(window), QStringList({"nu=12.30", "eta=10.46", "rho=850.0", "T=40.00"}));
    QCOMPARE(age->text(), QString("1 s ago"));
    QVERIFY(!age->styleSheet().contains("#c77700"));
    QCOMPARE(state->text(), QString("normal"));
    QVERIFY(!state->styleSheet().contains("red"));

    // Past three poll periods the age turns amber; a fault turns the state red.
    store.addSample(taken.addSecs(1), 2, 0x0001, 41, 851, 12.4, 10.55, missing);
    now = taken.addSecs(4);
    flags = GraphFlag::Nu;
    window.refresh();
    QCOMPARE(shownValues(window), QStringList({"nu=12.40"}));
    QCOMPARE(age->text(), QString("3 s ago"));
    QVERIFY(age->styleSheet().contains("#c77700"));
    QCOMPARE(state->text(), QString("no resonance detected"));
    QVERIFY(state->styleSheet().contains("red"));
}

QTEST_MAIN(TestCurrentValues)
#include "tst_currentvalues.moc"
