#include "mappingcalculation.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace
{

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

const QDateTime origin(QDate(2024, 11, 5), QTime(10, 0), Qt::LocalTime);

QDateTime at(double seconds)
{
    return origin.addMSecs(qint64(seconds * 1000));
}

// Samples at 0 s, 1 s, ..., 10 s; sample i has T = 50 - i and ν = 100 + i.
void elevenSamples(QVector<QDateTime> &timestamps, QVector<double> &T, QVector<double> &nu)
{
    for (int i = 0; i <= 10; ++i) {
        timestamps << at(i);
        T << 50 - i;
        nu << 100 + i;
    }
}

double model(double T)
{
    return vogelViscosity(T, 0.02, 900, 95);
}

} // namespace

Q_DECLARE_METATYPE(MappingInput)

class TestMappingCalculation : public QObject
{
    Q_OBJECT

private slots:
    void selection_data();
    void selection();
    void selectionSkipsMissingValues();
    void inputChecks_data();
    void inputChecks();
    void coverage_data();
    void coverage();
    void curveSpanHasTwoPercentMargin();
    void oneReferenceSet();
    void twoReferenceSets_data();
    void twoReferenceSets();
    void fitError();
};

void TestMappingCalculation::selection_data()
{
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("right");
    QTest::addColumn<QVector<double>>("expectedT");

    QTest::newRow("2.5..7.5 s holds 2 s to 6 s")
        << 2.5 << 7.5 << QVector<double>{48, 47, 46, 45, 44};
    QTest::newRow("2.2..2.8 s between two samples") << 2.2 << 2.8 << QVector<double>{};
    QTest::newRow("edges on samples: 2 s..5 s holds 2 s and 3 s")
        << 2.0 << 5.0 << QVector<double>{48, 47};
    QTest::newRow("left before the first sample starts at it")
        << -5.0 << 2.5 << QVector<double>{50, 49};
    QTest::newRow("right after the last sample stops before it")
        << 8.5 << 20.0 << QVector<double>{42, 41};
    QTest::newRow("whole span before the data") << -9.0 << -1.0 << QVector<double>{};
}

void TestMappingCalculation::selection()
{
    QFETCH(double, left);
    QFETCH(double, right);
    QFETCH(QVector<double>, expectedT);

    QVector<QDateTime> timestamps;
    QVector<double> T, nu;
    elevenSamples(timestamps, T, nu);
    const SampleSelection selection = selectSamples(timestamps, T, nu, at(left), at(right));
    QCOMPARE(selection.T, expectedT);
    QCOMPARE(selection.nu.size(), expectedT.size());
    for (int i = 0; i < expectedT.size(); ++i)
        QCOMPARE(selection.nu[i], 150 - expectedT[i]);
    if (!expectedT.isEmpty()) {
        QCOMPARE(selection.TMin, expectedT.last());
        QCOMPARE(selection.TMax, expectedT.first());
    }
}

void TestMappingCalculation::selectionSkipsMissingValues()
{
    // Regression: a NaN sample in the selection turned every fitted parameter into NaN.
    QVector<QDateTime> timestamps;
    QVector<double> T, nu;
    elevenSamples(timestamps, T, nu);
    T[3] = NaN;  // no temperature
    nu[4] = NaN; // no viscosity
    nu[5] = 0;   // no resonance reported as 0
    nu[6] = Inf;
    T[1] = 99; // a valid sample sets the bounds
    const SampleSelection selection = selectSamples(timestamps, T, nu, at(0), at(9));
    QCOMPARE(selection.T, (QVector<double>{50, 99, 48, 43}));
    QCOMPARE(selection.nu, (QVector<double>{100, 101, 102, 107}));
    QCOMPARE(selection.TMin, 43.0);
    QCOMPARE(selection.TMax, 99.0);

    const SampleSelection none = selectSamples(timestamps, T, nu, at(3), at(7.5));
    QVERIFY(none.T.isEmpty());
    QVERIFY(none.nu.isEmpty());
}

void TestMappingCalculation::inputChecks_data()
{
    QTest::addColumn<double>("T1");
    QTest::addColumn<double>("nuRef1");
    QTest::addColumn<double>("T2");
    QTest::addColumn<double>("nuRef2");
    QTest::addColumn<bool>("selectionEmpty");
    QTest::addColumn<MappingInput>("expected");

    QTest::newRow("one set: equal temperatures and viscosities")
        << 40.0 << 50.0 << 40.0 << 50.0 << false << MappingInput::Accepted;
    QTest::newRow("two sets") << 40.0 << 50.0 << 100.0 << 8.0 << false << MappingInput::Accepted;
    QTest::newRow("equal temperatures, different viscosities")
        << 40.0 << 50.0 << 40.0 << 40.0 << false << MappingInput::InconsistentSets;
    QTest::newRow("different temperatures, equal viscosities")
        << 40.0 << 50.0 << 100.0 << 50.0 << false << MappingInput::InconsistentSets;
    QTest::newRow("both viscosities 0 at one temperature")
        << 40.0 << 0.0 << 40.0 << 0.0 << false << MappingInput::ZeroViscosity;
    QTest::newRow("second viscosity 0")
        << 40.0 << 50.0 << 100.0 << 0.0 << false << MappingInput::ZeroViscosity;
    QTest::newRow("viscosity rises with T")
        << 20.0 << 10.0 << 60.0 << 30.0 << false << MappingInput::ViscosityIncreasing;
    QTest::newRow("viscosity rises with T, swapped")
        << 60.0 << 30.0 << 20.0 << 10.0 << false << MappingInput::ViscosityIncreasing;
    QTest::newRow("no selection after valid references")
        << 40.0 << 50.0 << 100.0 << 8.0 << true << MappingInput::NoSelection;
    QTest::newRow("reference checks come before the selection")
        << 20.0 << 10.0 << 60.0 << 30.0 << true << MappingInput::ViscosityIncreasing;
    QTest::newRow("zero check comes before the direction check")
        << 20.0 << 0.0 << 60.0 << 30.0 << true << MappingInput::ZeroViscosity;
    QTest::newRow("set check comes first")
        << 20.0 << 0.0 << 20.0 << 30.0 << true << MappingInput::InconsistentSets;
}

void TestMappingCalculation::inputChecks()
{
    QFETCH(double, T1);
    QFETCH(double, nuRef1);
    QFETCH(double, T2);
    QFETCH(double, nuRef2);
    QFETCH(bool, selectionEmpty);
    QFETCH(MappingInput, expected);

    QCOMPARE(checkMappingInput(T1, nuRef1, T2, nuRef2, selectionEmpty), expected);
}

void TestMappingCalculation::coverage_data()
{
    QTest::addColumn<double>("T1");
    QTest::addColumn<double>("T2");
    QTest::addColumn<bool>("covered");

    QTest::newRow("references at the exact bounds") << 20.0 << 80.0 << true;
    QTest::newRow("inside") << 40.0 << 60.0 << true;
    QTest::newRow("T1 below") << 19.99 << 60.0 << false;
    QTest::newRow("T2 above") << 40.0 << 80.01 << false;
    QTest::newRow("T1 above") << 100.0 << 40.0 << false;
}

void TestMappingCalculation::coverage()
{
    QFETCH(double, T1);
    QFETCH(double, T2);
    QFETCH(bool, covered);

    QCOMPARE(referencesCovered(T1, T2, 20, 80), covered);
}

void TestMappingCalculation::curveSpanHasTwoPercentMargin()
{
    const TemperatureSpan inside = curveSpan(20, 80, 40, 60);
    QCOMPARE(inside.lo, 20 - 1.2);
    QCOMPARE(inside.hi, 80 + 1.2);

    const TemperatureSpan outside = curveSpan(20, 80, 10, 110);
    QCOMPARE(outside.lo, 10 - 2.0);
    QCOMPARE(outside.hi, 110 + 2.0);
}

void TestMappingCalculation::oneReferenceSet()
{
    const MappingFactors factors = mappingFactors(40, 50, 40, 50, 0.02, 900, 95);
    QCOMPARE(factors.alpha, 1.0);
    QCOMPARE(factors.k, 50 / model(40));
}

void TestMappingCalculation::twoReferenceSets_data()
{
    QTest::addColumn<double>("T1");
    QTest::addColumn<double>("nuRef1");
    QTest::addColumn<double>("T2");
    QTest::addColumn<double>("nuRef2");
    QTest::addColumn<double>("expectedK");
    QTest::addColumn<double>("expectedAlpha");

    QTest::newRow("references on the model: identity")
        << 30.0 << model(30) << 70.0 << model(70) << 1.0 << 1.0;
    QTest::newRow("references 10 % above the model")
        << 30.0 << 1.1 * model(30) << 70.0 << 1.1 * model(70) << 1.1 << 1.0;
    QTest::newRow("references from a lab") << 40.0 << 25.0 << 100.0 << 4.0 << NaN << NaN;
    QTest::newRow("second reference the colder one") << 90.0 << 5.0 << 25.0 << 40.0 << NaN << NaN;
}

void TestMappingCalculation::twoReferenceSets()
{
    QFETCH(double, T1);
    QFETCH(double, nuRef1);
    QFETCH(double, T2);
    QFETCH(double, nuRef2);
    QFETCH(double, expectedK);
    QFETCH(double, expectedAlpha);

    const MappingFactors factors = mappingFactors(T1, nuRef1, T2, nuRef2, 0.02, 900, 95);
    if (!std::isnan(expectedK)) {
        QVERIFY(std::abs(factors.k - expectedK) < 1e-12);
        QVERIFY(std::abs(factors.alpha - expectedAlpha) < 1e-12);
    }
    // The mapped model passes through both references.
    QVERIFY(std::abs(factors.k * std::pow(model(T1), factors.alpha) / nuRef1 - 1) < 1e-12);
    QVERIFY(std::abs(factors.k * std::pow(model(T2), factors.alpha) / nuRef2 - 1) < 1e-12);
}

void TestMappingCalculation::fitError()
{
    const QVector<double> T{20, 50, 80};
    const QVector<double> nu{model(20) * 1.02, model(50), model(80) * 0.95};
    QVERIFY(std::abs(relativeFitError(T, nu, 0.02, 900, 95) - (0.02 / 1.02 + 0.05 / 0.95) / 3) <
            1e-12);
}

QTEST_GUILESS_MAIN(TestMappingCalculation)
#include "tst_mappingcalculation.moc"
