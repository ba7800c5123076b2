#include "curveenvelope.h"

#include <QtTest>

#include <cmath>
#include <limits>

// The axis runs from 0 to 100 ms over the columns 0..10, so a column is 10 ms wide and
// a sample at t ms lies in column t / 10. Curves are written "t:v t:v ...", a reduced
// curve "column:v ..." with "|" for a break.
class TestCurveEnvelope : public QObject
{
    Q_OBJECT

private slots:
    void reduce_data();
    void reduce();
};

namespace
{

void parseSamples(const QString &text, QVector<qint64> &times, QVector<double> &values)
{
    for (const QString &item : text.split(' ', Qt::SkipEmptyParts)) {
        times.append(item.section(':', 0, 0).toLongLong());
        values.append(item.section(':', 1).toDouble());
    }
}

QString format(const QVector<EnvelopePoint> &envelope)
{
    QStringList items;
    for (const EnvelopePoint &point : envelope)
        items.append(std::isnan(point.value)
                         ? QStringLiteral("|")
                         : QStringLiteral("%1:%2").arg(point.column).arg(point.value));
    return items.join(' ');
}

} // namespace

void TestCurveEnvelope::reduce_data()
{
    QTest::addColumn<QString>("samples");
    QTest::addColumn<QString>("envelope");

    QTest::newRow("a window without samples") << ""
                                              << "";
    QTest::newRow("a single sample") << "42:3"
                                     << "4:3";
    QTest::newRow("a run inside one column keeps first, extremes in order, last")
        << "20:5 21:9 22:1 23:7 24:2 29:4"
        << "2:5 2:9 2:1 2:4";
    QTest::newRow("first and last that are the extremes are kept once") << "20:1 23:5 25:3 29:9"
                                                                        << "2:1 2:9";
    QTest::newRow("a run across a column border is reduced per column")
        << "15:1 17:8 18:2 19:3 21:4 23:0 25:6 27:5"
        << "1:1 1:8 1:3 2:4 2:0 2:6 2:5";
    QTest::newRow("samples exactly on a border belong to the later column") << "9:1 10:2 19:3 20:4"
                                                                            << "0:1 1:2 1:3 2:4";
    QTest::newRow("NaN at a column's start breaks before its first value")
        << "15:1 19:2 20:nan 22:3 25:9"
        << "1:1 1:2 | 2:3 2:9";
    QTest::newRow("NaN at a column's end breaks after its last value") << "20:1 25:5 29:nan 31:2"
                                                                       << "2:1 2:5 | 3:2";
    QTest::newRow("NaN inside a column splits it into two runs") << "20:1 22:9 24:nan 26:5 28:3"
                                                                 << "2:1 2:9 | 2:5 2:3";
    QTest::newRow("a fault stretch (values missing over columns) is one break")
        << "5:1 10:2 20:nan 30:nan 40:nan 50:3 60:4"
        << "0:1 1:2 | 5:3 6:4";
    QTest::newRow("no breaks at either end") << "0:nan 5:nan 12:1 15:2 30:nan"
                                             << "1:1 1:2";
    QTest::newRow("only missing values give nothing") << "10:nan 20:nan"
                                                      << "";
}

void TestCurveEnvelope::reduce()
{
    QFETCH(QString, samples);
    QFETCH(QString, envelope);
    QVector<qint64> times;
    QVector<double> values;
    parseSamples(samples, times, values);
    TimeAxis axis;
    axis.leftMs = 0;
    axis.rightMs = 100;
    axis.width = 10;
    QVector<EnvelopePoint> reduced;
    appendCurveEnvelope(axis, times.constData(), values.constData(), times.size(), reduced);
    QCOMPARE(format(reduced), envelope);
}

QTEST_APPLESS_MAIN(TestCurveEnvelope)
#include "tst_curveenvelope.moc"
