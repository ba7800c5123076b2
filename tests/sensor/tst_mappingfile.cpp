// The mapping parameter file: its name, a round trip of its nine values, and files that
// are not mapping files.

#include "mappingfile.h"
#include "testfiles.h"

#include <QSettings>
#include <QtTest>

#include <cmath>
#include <limits>

namespace
{

const double NaN = std::numeric_limits<double>::quiet_NaN();

bool same(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

} // namespace

class TestMappingFile : public QObject
{
    Q_OBJECT

private slots:
    void fileName_data();
    void fileName();
    void valuesRoundTripAndOtherKeysStay();
    void badFiles_data();
    void badFiles();
};

void TestMappingFile::fileName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("stored");
    QTest::newRow("plain") << "mapping"
                           << "mapping.quc";
    QTest::newRow("with suffix") << "/tmp/oil.quc"
                                 << "/tmp/oil.quc";
    QTest::newRow("suffix in capitals") << "mapping.QUC"
                                        << "mapping.QUC.quc";
    QTest::newRow("other suffix") << "mapping.ini"
                                  << "mapping.ini.quc";
}

void TestMappingFile::fileName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, stored);
    QCOMPARE(mappingFileName(chosen), stored);
}

void TestMappingFile::valuesRoundTripAndOtherKeysStay()
{
    QVERIFY(writeFile("roundtrip.quc", "[General]\nnote=kept\nk=5\n"));
    const MappingParameters saved{20.5, 1.0 / 3, 80,   1e-300, NaN, -1234.5678901234567,
                                  0,    1.1,     -0.25};
    QVERIFY(saveMappingFile("roundtrip.quc", saved));
    MappingParameters loaded;
    QVERIFY(loadMappingFile("roundtrip.quc", loaded));
    const double expected[] = {saved.T1, saved.nuRef1, saved.T2, saved.nuRef2, saved.A,
                               saved.B,  saved.C,      saved.k,  saved.alpha};
    const double actual[] = {loaded.T1, loaded.nuRef1, loaded.T2, loaded.nuRef2, loaded.A,
                             loaded.B,  loaded.C,      loaded.k,  loaded.alpha};
    for (int i = 0; i < 9; ++i)
        QVERIFY2(same(actual[i], expected[i]), qPrintable(QString::number(i)));
    QCOMPARE(QSettings("roundtrip.quc", QSettings::IniFormat).value("note").toString(),
             QString("kept"));
}

void TestMappingFile::badFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<double>("k");
    QTest::addColumn<double>("alpha");

    QByteArray binary;
    for (int i = 0; i < 2048; ++i)
        binary += char(i * 37 + 3);
    QTest::newRow("empty") << QByteArray() << false << 0.0 << 0.0;
    QTest::newRow("binary") << binary << false << 0.0 << 0.0;
    QTest::newRow("other keys only") << QByteArray("[General]\nfoo=1\n") << false << 0.0 << 0.0;
    QTest::newRow("NaN") << QByteArray("k=nan\nalpha=NaN\n") << true << NaN << NaN;
    QTest::newRow("huge") << QByteArray("k=1e308\nalpha=-1.7976931348623157e308\n") << true << 1e308
                          << -1.7976931348623157e308;
    QTest::newRow("overflowing") << QByteArray("k=1e400\nalpha=-1e400\n") << true
                                 << std::numeric_limits<double>::infinity()
                                 << -std::numeric_limits<double>::infinity();
    QTest::newRow("text values") << QByteArray("k=one\nalpha=\"0.5\"\n") << true << 0.0 << 0.5;
    QTest::newRow("missing alpha") << QByteArray("k=2\n") << true << 2.0 << 0.0;
}

void TestMappingFile::badFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, loaded);
    QFETCH(double, k);
    QFETCH(double, alpha);
    const QString name = QString("bad-%1.quc").arg(QTest::currentDataTag()).replace(' ', '-');
    QVERIFY(writeFile(name, bytes));
    MappingParameters parameters;
    QCOMPARE(loadMappingFile(name, parameters), loaded);
    QVERIFY2(same(parameters.k, k), qPrintable(QString::number(parameters.k)));
    QVERIFY2(same(parameters.alpha, alpha), qPrintable(QString::number(parameters.alpha)));
}

QTEST_GUILESS_MAIN(TestMappingFile)
#include "tst_mappingfile.moc"
