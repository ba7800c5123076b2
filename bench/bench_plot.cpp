// Paint time of the time plot at 1600 x 900 with five curves: the drawing of the
// program against the literal one (one wide antialiased polyline per unbroken run of
// the window's samples) with the difference of the two pictures; the "2 months" window over
// 10,000 and 10,000,000 samples; every "Visible Time" choice over 10,000,000 samples,
// repainted, after appending a sample to the followed window, and repainted with the
// envelopes read from every sample instead of the summary, with the literal
// drawing timed before and after as a measure of the machine's speed; and the XY plot with
// up to 1,000,000 points. Every figure is the thread CPU time of repeated paints,
// printed as min / median / max with the number of runs. Run through
// bench/run-plot-bench.sh on the offscreen platform.
//
// The first table also holds the program's reduction of the curves (the envelope) drawn
// by QPainter instead of the line layer, which is the layer's own share of the gain, and
// the simulator's data at device pixel ratio 2 (3200 x 1800 device pixels).
//
// Usage: bench_plot [--images DIR] [--quick]
//   --images DIR  writes the literal and the program's rendering of the simulator's
//                 data to DIR/plot-literal.png and DIR/plot-fast.png
//   --scenes DIR  only paints every scene of the first two tables once with the program,
//                 at ratio 1 and 2, into DIR/scene-*.png: pictures to hold against those
//                 of another build, and a short run for callgrind's instruction counts;
//                 --ratio N paints them at that ratio only
//   --quick       skips the 10,000,000-sample stores
//   --xy          runs only the XY plot
//   --visible-times  runs only the "Visible Time" choices over 10,000,000 samples
//   --data NAME   with --visible-times: only the data set whose name starts with NAME
//                 ("simulator", "noisy", "worst")
//   --visible-time NAME  with --visible-times: only that choice ("6 hours")
//   --profile     with --visible-times: no timing, only a repaint and five appends per row
//                 in appendAndRepaint(), for callgrind --toggle-collect=*appendAndRepaint*

#include "benchcontext.h"

#include "curveenvelope.h"
#include "measurementdata.h"
#include "plotwidget.h"
#include "polylinesegments.h"
#include "timeplotwidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iterator>
#include <random>
#include <time.h>

namespace
{

const int plotWidth = 1600;
const int plotHeight = 900;
// One sample a second, as the simulator measures by default; 4000 samples in the
// window give every curve the most points a paint draws (decimation step 1).
const qint64 sampleIntervalMs = 1000;
const int windowSamples = 4000;

// Draws each unbroken run of the window's samples as one polyline with the curve's pen.
class LiteralTimePlot : public TimePlotWidget
{
protected:
    void paintCurves(QPainter &painter) override
    {
        painter.setPen(QPen(QColor(30, 144, 255), 2, Qt::SolidLine));
        const TimePlotCache &window = windowSamples();
        const SampleSummary &samples = window.summary();
        QVector<QPoint> points;
        for (int curve = 0; curve < curveTotal() && window.firstIndex() >= 0; ++curve) {
            for (int index = window.firstIndex(); index <= window.lastIndex() + 1; ++index) {
                const double value =
                    index <= window.lastIndex() ? samples.value(curve, index) : qQNaN();
                if (std::isnan(value)) {
                    if (!points.isEmpty())
                        painter.drawPolyline(points.constData(), points.size());
                    points.resize(0);
                    continue;
                }
                points.append(QPoint(timeToX(samples.timeMs(index)), valueToY(value, curve)));
            }
        }
    }
};

// The same envelopes as the program's, each computed on every paint from every sample of
// the window (their times read once per paint) instead of from the summary. The
// benchmark's samples have no time gaps.
class ReadEverythingTimePlot : public TimePlotWidget
{
protected:
    const QVector<EnvelopePoint> &curveEnvelope(int curve, const TimeAxis &axis) override
    {
        const TimePlotCache &window = windowSamples();
        const SampleSummary &samples = window.summary();
        if (curve == 0) {
            times.resize(0);
            for (int index = window.firstIndex(); index <= window.lastIndex(); ++index)
                times.append(samples.timeMs(index));
        }
        values.resize(0);
        for (int index = window.firstIndex(); index <= window.lastIndex(); ++index)
            values.append(samples.value(curve, index));
        envelope.resize(0);
        appendCurveEnvelope(axis, times.constData(), values.constData(), values.size(), envelope);
        return envelope;
    }

private:
    QVector<qint64> times;
    QVector<double> values;
    QVector<EnvelopePoint> envelope;
};

// The program's envelope of each curve as flat segments, as the plot hands them to its line
// layer, drawn by QPainter instead. The benchmark's samples have no time gaps.
class EnvelopeQtTimePlot : public TimePlotWidget
{
public:
    void setWindow(qint64 left, qint64 right)
    {
        leftMs = left;
        rightMs = right;
    }

protected:
    void paintCurves(QPainter &painter) override
    {
        const QPen pen(QColor(30, 144, 255), 2, Qt::SolidLine, Qt::FlatCap);
        // The window's first column is where the plot maps its left end.
        const TimeAxis axis{leftMs, rightMs, timeToX(leftMs), width()};
        QVector<QPoint> points;
        QVector<QLineF> segments;
        const auto appendRun = [&] {
            if (!points.isEmpty())
                appendPolylineSegments(points.constData(), points.size(), -2.0, width() + 2.0,
                                       segments);
            points.resize(0);
        };
        for (int curve = 0; curve < curveTotal(); ++curve) {
            segments.resize(0);
            for (const EnvelopePoint &point : curveEnvelope(curve, axis)) {
                if (std::isnan(point.value))
                    appendRun();
                else
                    points.append(QPoint(point.column, valueToY(point.value, curve)));
            }
            appendRun();
            painter.save();
            painter.setPen(pen);
            painter.drawLines(segments);
            painter.restore();
        }
    }

private:
    qint64 leftMs = 0;
    qint64 rightMs = 0;
};

// The program's plot, with what the benchmark reports about it.
class MeasuredTimePlot : public TimePlotWidget
{
public:
    qint64 cacheBytes() const { return cacheByteSize(); }
    int windowCount() const
    {
        return windowSamples().firstIndex() < 0
                   ? 0
                   : windowSamples().lastIndex() - windowSamples().firstIndex() + 1;
    }
    const SampleSummary &summary() const { return windowSamples().summary(); }
};

// Values of the five quantities (T, rho, nu, eta, nuUc) of sample index, taken at
// seconds after the start.
struct Sample {
    double T;
    double rho;
    double nu;
    double eta;
    double nuUc;
};
using Generator = std::function<Sample(int index, double seconds)>;

QDateTime startTime()
{
    return QDateTime(QDate(2024, 5, 6), QTime(10, 0));
}

void fill(MeasurementData &store, int count, qint64 intervalMs, const Generator &generator)
{
    store.clear();
    const qint64 start = startTime().toMSecsSinceEpoch();
    for (int i = 0; i < count; ++i) {
        const Sample s = generator(i, i * intervalMs / 1000.0);
        store.addSample(QDateTime::fromMSecsSinceEpoch(start + i * intervalMs), uint32_t(i), 0, s.T,
                        s.rho, s.nu, s.eta, s.nuUc);
    }
}

// The simulator's default fluid as the tool records it: cooling from 80 to 20 degC
// over 30 minutes (fast at first, Newton-like) and warming back along the same curve,
// nu = 0.02 * exp(900 / (T + 95)), density 870 kg/m3 at 20 degC losing 0.65 per degC,
// Gaussian relative noise 0.002 on T, nu and density, eta = nu * rho / 1000, mapping
// k = alpha = 1; each value rounded to the resolution of its register.
Generator simulatorData()
{
    auto random = std::make_shared<std::mt19937>(2024);
    return [random](int, double seconds) {
        std::normal_distribution<double> gauss;
        const auto noisy = [&](double value) { return value * (1 + 0.002 * gauss(*random)); };
        const auto rounded = [](double value, double resolution) {
            return std::round(value / resolution) * resolution;
        };
        const double cooldown = 30 * 60;
        const double phase = std::fmod(seconds, 2 * cooldown);
        const double x = phase < cooldown ? phase / cooldown : (2 * cooldown - phase) / cooldown;
        const double end = std::exp(-4.0);
        const double T = 20 + 60 * (std::exp(-4 * x) - end) / (1 - end);
        const double nu = noisy(0.02 * std::exp(900 / (T + 95)));
        const double rho = noisy(870 - 0.65 * (T - 20));
        Sample s;
        s.T = rounded(noisy(T), 0.01);
        s.nu = rounded(nu, 0.001);
        s.rho = rounded(rho, 0.1);
        s.eta = rounded(nu * rho / 1000, 0.001);
        s.nuUc = rounded(nu, 0.1);
        return s;
    };
}

Generator sineData(double periodsPerWindow)
{
    return [periodsPerWindow](int i, double) {
        const double angle = 2 * M_PI * periodsPerWindow * i / windowSamples;
        return Sample{std::sin(angle), std::sin(angle + 1), std::sin(angle + 2),
                      std::sin(angle + 3), std::sin(angle + 4)};
    };
}

Generator noisyData()
{
    auto random = std::make_shared<QRandomGenerator>(7);
    return [random](int, double) {
        return Sample{random->generateDouble(), random->generateDouble(), random->generateDouble(),
                      random->generateDouble(), random->generateDouble()};
    };
}

Generator alternatingData()
{
    return [](int i, double) {
        const double v = i % 2;
        return Sample{v, 1 - v, v, 1 - v, v};
    };
}

void bind(TimePlotWidget &plot, MeasurementData &store, const QVector<double> &minimumRanges)
{
    plot.setData(&store.timestamps,
                 {"kin. Viscosity (cSt)", "kin. Viscosity mapped (cSt)", "dyn. Viscosity (mPas)",
                  "Density (kg/m³)", "Temperature (°C)"},
                 {&store.nu, &store.nuUc, &store.eta, &store.rho, &store.T}, &store.systemState,
                 minimumRanges);
    plot.resize(plotWidth, plotHeight);
    // The cursor in the middle, so that the hover texts are part of the paint.
    QMouseEvent move(QEvent::MouseMove, QPointF(plotWidth / 2, plotHeight / 3), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&plot, &move);
}

// CPU time of this thread: the machine is shared, and time spent waiting for a core
// while others run is no cost of the paint.
double threadMs()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Runs of one measurement: at least 5, up to maximumRuns within about 2 s of CPU.
struct Runs {
    QVector<double> ms;

    QString text() const
    {
        QVector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return QString::asprintf("%.2f / %.2f / %.2f (%d)", sorted.first(),
                                 sorted[sorted.size() / 2], sorted.last(), int(sorted.size()));
    }
    double median() const
    {
        QVector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

template <typename Work> Runs measure(int maximumRuns, Work work)
{
    Runs runs;
    const double budgetStart = threadMs();
    while (runs.ms.size() < maximumRuns &&
           (runs.ms.size() < 5 || threadMs() - budgetStart < 2000)) {
        const double start = threadMs();
        work();
        runs.ms.append(threadMs() - start);
    }
    return runs;
}

// Repeated paints after one that warms up the caches; slow paints are repeated less often.
Runs paintRuns(TimePlotWidget &plot, QImage &image, int maximumRuns)
{
    plot.render(&image);
    return measure(maximumRuns, [&] { plot.render(&image); });
}

struct Difference {
    double meanAbsolute;
    double percentAbove64;
    int maximum;
};

Difference compare(const QImage &a, const QImage &b)
{
    qint64 sum = 0;
    int above = 0;
    int maximum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb *lineA = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const QRgb *lineB = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int d = qMax(qMax(std::abs(qRed(lineA[x]) - qRed(lineB[x])),
                                    std::abs(qGreen(lineA[x]) - qGreen(lineB[x]))),
                               std::abs(qBlue(lineA[x]) - qBlue(lineB[x])));
            sum += d;
            maximum = qMax(maximum, d);
            if (d > 64)
                ++above;
        }
    }
    const double pixels = double(a.width()) * a.height();
    return Difference{sum / pixels, 100.0 * above / pixels, maximum};
}

// A picture of the plot's size at a device pixel ratio (ratio times as many pixels each way).
QImage newImage(int ratio = 1)
{
    QImage image(plotWidth * ratio, plotHeight * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    return image;
}

struct Case {
    const char *name;
    Generator generator;
    QVector<double> minimumRanges;
};

const Case *drawingCases(int &count)
{
    const QVector<double> bandScale(5, 0.001);
    static const Case cases[] = {
        {"simulator defaults", simulatorData(), {1, 1, 1, 10, 1}},
        {"smooth, 1 period", sineData(1), bandScale},
        {"smooth, 20 periods", sineData(20), bandScale},
        {"noisy, uniform over the band", noisyData(), bandScale},
        {"worst case, alternating extremes", alternatingData(), bandScale},
    };
    count = int(std::size(cases));
    return cases;
}

// Binds plot to store with the window over its last windowSamples samples.
void showWindow(TimePlotWidget &plot, MeasurementData &store, const Case &c)
{
    const QDateTime right = store.timestamps.last();
    const QDateTime left = right.addMSecs(-(windowSamples - 1) * sampleIntervalMs);
    bind(plot, store, c.minimumRanges);
    plot.setVisibleTimeInterval(left, right);
    if (auto *envelopeQt = dynamic_cast<EnvelopeQtTimePlot *>(&plot))
        envelopeQt->setWindow(left.toMSecsSinceEpoch(), right.toMSecsSinceEpoch());
}

void compareDrawings(const QString &imageDir)
{
    int caseCount = 0;
    const Case *cases = drawingCases(caseCount);
    std::printf("Full paint, 1600 x 900, five curves of %d points; ms of thread CPU time, "
                "min / median / max (runs)\n",
                windowSamples);
    std::printf("| data | ratio | literal | envelope + QPainter | envelope + layer (program) | "
                "mean pixel difference | pixels off by more than 64 |\n"
                "|---|---|---|---|---|---|---|\n");
    for (int index = 0; index < caseCount; ++index) {
        const Case &c = cases[index];
        // The simulator's data also at ratio 2, as on a high-DPI screen.
        for (int ratio = 1; ratio <= (index == 0 ? 2 : 1); ++ratio) {
            MeasurementData store;
            fill(store, windowSamples, sampleIntervalMs, c.generator);
            LiteralTimePlot literal;
            EnvelopeQtTimePlot envelopeQt;
            TimePlotWidget fast;
            for (TimePlotWidget *plot : {static_cast<TimePlotWidget *>(&literal),
                                         static_cast<TimePlotWidget *>(&envelopeQt), &fast})
                showWindow(*plot, store, c);
            QImage literalImage = newImage(ratio);
            QImage envelopeQtImage = newImage(ratio);
            QImage fastImage = newImage(ratio);
            const Runs literalRuns = paintRuns(literal, literalImage, 7);
            const Runs envelopeQtRuns = paintRuns(envelopeQt, envelopeQtImage, 21);
            const Runs fastRuns = paintRuns(fast, fastImage, 51);
            const Difference difference = compare(literalImage, fastImage);
            std::printf("| %s | %d | %s | %s | %s | %.2f / 255 | %.3f %% |\n", c.name, ratio,
                        qPrintable(literalRuns.text()), qPrintable(envelopeQtRuns.text()),
                        qPrintable(fastRuns.text()), difference.meanAbsolute,
                        difference.percentAbove64);
            std::fflush(stdout);
            if (!imageDir.isEmpty() && index == 0 && ratio == 1) {
                literalImage.save(imageDir + "/plot-literal.png");
                fastImage.save(imageDir + "/plot-fast.png");
            }
        }
    }
}

qint64 residentBytes()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

template <typename T> qint64 columnBytes(const QVector<T> &column)
{
    return qint64(column.capacity()) * qint64(sizeof(T));
}

const qint64 twoMonthsMs = qint64(56) * 24 * 3600 * 1000;

void largeStore()
{
    // Two months at 2 Hz, the poll rate ("2 months" is 56 days), against 10,000 samples
    // over the same window: the same signal, every sample of it taken into account. The
    // first paint summarizes the whole store; the summary's bytes are counted as the
    // store's "used" bytes are, and beside them.
    std::printf("\nPaint with the \"2 months\" window over the simulator's data; ms of thread "
                "CPU time, min / median / max (runs)\n");
    std::printf("| samples in the store | sample interval | first paint (summarizes the store) "
                "| paint | plot's cache | bytes per sample, used | bytes per sample, allocated "
                "| summary, bytes per sample used / allocated |\n"
                "|---|---|---|---|---|---|---|---|\n");
    double smallMs = 0;
    for (int count : {10000, 10000000}) {
        const qint64 intervalMs = count == 10000 ? twoMonthsMs / count : 500;
        auto store = std::make_unique<MeasurementData>();
        const qint64 before = residentBytes();
        fill(*store, count, intervalMs, simulatorData());
        const qint64 after = residentBytes();
        const qint64 allocated = columnBytes(store->timestamps) + columnBytes(store->frameNr) +
                                 columnBytes(store->systemState) + columnBytes(store->T) +
                                 columnBytes(store->rho) + columnBytes(store->nu) +
                                 columnBytes(store->eta) + columnBytes(store->nuUc);
        MeasuredTimePlot plot;
        bind(plot, *store, {1, 1, 1, 10, 1});
        const QDateTime right = store->timestamps.last();
        plot.setVisibleTimeInterval(right.addMSecs(-twoMonthsMs), right);
        QImage image = newImage();
        const double firstStart = threadMs();
        plot.render(&image);
        const double firstMs = threadMs() - firstStart;
        const Runs runs = paintRuns(plot, image, 51);
        if (count == 10000)
            smallMs = runs.median();
        std::printf("| %d | %.1f s | %.1f ms | %s | %.2f MB | %.1f | %.1f | %.2f / %.2f |\n", count,
                    intervalMs / 1000.0, firstMs, qPrintable(runs.text()), plot.cacheBytes() / 1e6,
                    double(after - before) / count, double(allocated) / count,
                    double(plot.summary().usedBytes()) / count,
                    double(plot.summary().allocatedBytes()) / count);
        std::fflush(stdout);
        if (count != 10000)
            std::printf("\nratio of the medians, 10,000,000 / 10,000 samples: %.2f\n",
                        runs.median() / smallMs);
    }
}

// The literal drawing of the simulator's data, as in the first table: a measure of the
// machine's speed at the time, which drifts on a shared machine, beside figures that
// have no literal drawing of their own.
QString reference()
{
    MeasurementData store;
    fill(store, windowSamples, sampleIntervalMs, simulatorData());
    LiteralTimePlot literal;
    bind(literal, store, {1, 1, 1, 10, 1});
    const QDateTime right = store.timestamps.last();
    literal.setVisibleTimeInterval(right.addMSecs(-(windowSamples - 1) * sampleIntervalMs), right);
    QImage image = newImage();
    return paintRuns(literal, image, 7).text();
}

// Which rows of the "Visible Time" table to run, and whether to time them.
struct VisibleTimeRows {
    QString data;
    QString visibleTime;
    bool profile = false;
};

// Appends the next sample of generator to store, moves the window of plot to it and
// repaints: what the poll does. Not inlined, so that callgrind can count it alone.
Q_NEVER_INLINE void appendAndRepaint(MeasurementData &store, const Generator &generator, int &next,
                                     TimePlotWidget &plot, qint64 spanMs, QImage &image)
{
    const qint64 intervalMs = 500;
    const Sample s = generator(next, next * intervalMs / 1000.0);
    store.addSample(store.timestamps.last().addMSecs(intervalMs), uint32_t(next), 0, s.T, s.rho,
                    s.nu, s.eta, s.nuUc);
    ++next;
    const QDateTime right = store.timestamps.last();
    plot.setVisibleTimeInterval(right.addMSecs(-spanMs), right);
    plot.render(&image);
}

// Every "Visible Time" choice at the end of a recording of 10,000,000 samples at 2 Hz,
// the window following: a repaint as the hover causes it, and appending a sample,
// moving the window to it and repainting, as the poll does.
bool visibleTimes(const VisibleTimeRows &rows)
{
    const char *names[] = {"10 sec",  "1 min",  "10 min",  "1 hour",
                           "6 hours", "2 days", "2 weeks", "2 months"};
    const qint64 intervals[] = {100, 600, 6000, 36000, 216000, 1728000, 12096000, 48384000};
    const Case cases[] = {
        {"simulator defaults", simulatorData(), {1, 1, 1, 10, 1}},
        {"noisy, uniform over the band", noisyData(), QVector<double>(5, 0.001)},
        {"worst case, alternating extremes", alternatingData(), QVector<double>(5, 0.001)},
    };
    const int count = 10000000;
    const qint64 intervalMs = 500;
    const auto chosen = [&](const Case &c) { return QString(c.name).startsWith(rows.data); };
    if (std::none_of(std::begin(cases), std::end(cases), chosen)) {
        std::fprintf(stderr,
                     "bench_plot: no data set is named \"%s\"; accepted: simulator, "
                     "noisy, worst\n",
                     qPrintable(rows.data));
        return false;
    }
    if (!rows.visibleTime.isEmpty() &&
        std::find(std::begin(names), std::end(names), rows.visibleTime) == std::end(names)) {
        std::fprintf(stderr,
                     "bench_plot: \"%s\" is no \"Visible Time\"; accepted: 10 sec, "
                     "1 min, 10 min, 1 hour, 6 hours, 2 days, 2 weeks, 2 months\n",
                     qPrintable(rows.visibleTime));
        return false;
    }
    if (rows.profile) {
        auto store = std::make_unique<MeasurementData>();
        for (const Case &c : cases) {
            if (!chosen(c))
                continue;
            fill(*store, count, intervalMs, c.generator);
            MeasuredTimePlot plot;
            bind(plot, *store, c.minimumRanges);
            QImage image = newImage();
            int next = count;
            for (int choice = 0; choice < 8; ++choice) {
                if (!rows.visibleTime.isEmpty() && rows.visibleTime != names[choice])
                    continue;
                const qint64 spanMs = intervals[choice] * 100;
                const QDateTime right = store->timestamps.last();
                plot.setVisibleTimeInterval(right.addMSecs(-spanMs), right);
                plot.render(&image);
                for (int append = 0; append < 5; ++append)
                    appendAndRepaint(*store, c.generator, next, plot, spanMs, image);
                std::printf("%s, %s: a repaint and 5 appends\n", c.name, names[choice]);
                std::fflush(stdout);
            }
        }
        return true;
    }
    std::printf("\nEvery \"Visible Time\" over %d samples at 2 Hz, window following the last "
                "sample; ms of thread CPU time, min / median / max (runs)\n",
                count);
    std::printf("| data | visible time | samples in the window | repaint | append a sample and "
                "repaint | repaint, every sample read | ratio of the repaint medians |\n"
                "|---|---|---|---|---|---|---|\n");
    const QString referenceBefore = reference();
    auto store = std::make_unique<MeasurementData>();
    for (const Case &c : cases) {
        if (!chosen(c))
            continue;
        fill(*store, count, intervalMs, c.generator);
        MeasuredTimePlot plot;
        ReadEverythingTimePlot readEverything;
        bind(plot, *store, c.minimumRanges);
        bind(readEverything, *store, c.minimumRanges);
        QImage image = newImage();
        QImage readEverythingImage = newImage();
        int next = count;
        for (int choice = 0; choice < 8; ++choice) {
            if (!rows.visibleTime.isEmpty() && rows.visibleTime != names[choice])
                continue;
            const auto follow = [&] {
                const QDateTime right = store->timestamps.last();
                plot.setVisibleTimeInterval(right.addMSecs(-intervals[choice] * 100), right);
                readEverything.setVisibleTimeInterval(right.addMSecs(-intervals[choice] * 100),
                                                      right);
            };
            follow();
            const Runs repaint = paintRuns(plot, image, 51);
            const Runs everySample = paintRuns(readEverything, readEverythingImage, 51);
            if (readEverythingImage != image)
                std::printf("(the pictures of the next row differ)\n");
            const Runs append = measure(51, [&] {
                appendAndRepaint(*store, c.generator, next, plot, intervals[choice] * 100, image);
            });
            std::printf("| %s | %s | %d | %s | %s | %s | %.0f |\n", c.name, names[choice],
                        plot.windowCount(), qPrintable(repaint.text()), qPrintable(append.text()),
                        qPrintable(everySample.text()), everySample.median() / repaint.median());
            std::fflush(stdout);
        }
    }
    std::printf("\nfor reference, the literal drawing of the simulator's data (ms of thread CPU "
                "time, min / median / max (runs)): before this table %s, after it %s\n",
                qPrintable(referenceBefore), qPrintable(reference()));
    return true;
}

// The XY plot as it draws each series in the program, and literally.
class LiteralXyPlot : public PlotWidget
{
protected:
    void drawSeriesPoints(QPainter &painter, int series) override
    {
        painter.drawPoints(seriesPixels(series));
    }
    void drawSeriesLine(QPainter &painter, int series) override
    {
        painter.drawPolyline(seriesPixels(series));
    }
};

// A mapping window as the mapping tab opens it: the selected samples (temperature and
// viscosity of the simulator's cool-down with its 0.2 % noise, in time order) as a
// line, the fitted model as a line over 100 temperatures, two reference points and the
// mapped model; or the samples as dots.
void fillXyPlot(PlotWidget &plot, int count, PlotWidget::PlotStyle samplesStyle)
{
    std::mt19937 random(11);
    std::normal_distribution<double> gauss;
    QVector<double> T;
    QVector<double> nu;
    const auto viscosity = [](double t) { return 0.02 * std::exp(900 / (t + 95)); };
    for (int i = 0; i < count; ++i) {
        const double t = 80 - 60.0 * i / count;
        T.append(t * (1 + 0.002 * gauss(random)));
        nu.append(viscosity(t) * (1 + 0.002 * gauss(random)));
    }
    QVector<double> grid;
    QVector<double> fitted;
    QVector<double> mapped;
    for (int i = 0; i <= 100; ++i) {
        grid.append(20 + 0.6 * i);
        fitted.append(viscosity(grid.last()));
        mapped.append(1.1 * fitted.last());
    }
    plot.resize(plotWidth, plotHeight);
    plot.plot(T, nu, samplesStyle, "nu_measured");
    plot.plot(grid, fitted, PlotWidget::Line, "nu_fit");
    plot.plot({40, 70}, {viscosity(40) * 1.1, viscosity(70) * 1.1}, PlotWidget::Points, "nu_ref");
    plot.plot(grid, mapped, PlotWidget::Line, "nu_cal");
    plot.hide();
}

void xyPlot()
{
    std::printf("\nXY plot (mapping window), 1600 x 900, the selected samples noisy; ms of "
                "thread CPU time, min / median / max (runs)\n");
    std::printf("| samples | drawn as | literal | program | mean pixel difference | pixels off "
                "by more than 64 |\n|---|---|---|---|---|---|\n");
    for (PlotWidget::PlotStyle style : {PlotWidget::Line, PlotWidget::Points}) {
        for (int count : {400000, 1000000}) {
            LiteralXyPlot literal;
            PlotWidget fast;
            fillXyPlot(literal, count, style);
            fillXyPlot(fast, count, style);
            QImage literalImage = newImage();
            QImage fastImage = newImage();
            literal.render(&literalImage);
            const Runs literalRuns = measure(5, [&] { literal.render(&literalImage); });
            fast.render(&fastImage);
            const Runs fastRuns = measure(51, [&] { fast.render(&fastImage); });
            const Difference difference = compare(literalImage, fastImage);
            std::printf("| %d | %s | %s | %s | %.2f / 255 | %.3f %% |\n", count,
                        style == PlotWidget::Line ? "line" : "dots", qPrintable(literalRuns.text()),
                        qPrintable(fastRuns.text()), difference.meanAbsolute,
                        difference.percentAbove64);
            std::fflush(stdout);
        }
    }
}

// Every scene of the first two tables painted once by the program, at the given ratios.
void paintScenes(const QString &directory, const QVector<int> &ratios)
{
    int caseCount = 0;
    const Case *cases = drawingCases(caseCount);
    for (int ratio : ratios) {
        for (int index = 0; index < caseCount; ++index) {
            MeasurementData store;
            fill(store, windowSamples, sampleIntervalMs, cases[index].generator);
            TimePlotWidget plot;
            showWindow(plot, store, cases[index]);
            QImage image = newImage(ratio);
            plot.render(&image);
            image.save(
                QString("%1/scene-time-%2-ratio%3.png").arg(directory).arg(index).arg(ratio));
        }
        for (PlotWidget::PlotStyle style : {PlotWidget::Line, PlotWidget::Points}) {
            PlotWidget plot;
            fillXyPlot(plot, 400000, style);
            QImage image = newImage(ratio);
            plot.render(&image);
            image.save(QString("%1/scene-xy-%2-ratio%3.png")
                           .arg(directory, style == PlotWidget::Line ? "line" : "dots")
                           .arg(ratio));
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const int imagesIndex = arguments.indexOf("--images");
    const QString imageDir = imagesIndex > 0 ? arguments.value(imagesIndex + 1) : QString();
    std::printf("CPU: %s\nQt: %s\n", qPrintable(cpuModel()), qVersion());
    std::printf("load average at the start: %s\n\n", qPrintable(loadAverage()));
    const int scenesIndex = arguments.indexOf("--scenes");
    if (scenesIndex > 0) {
        const int ratioIndex = arguments.indexOf("--ratio");
        paintScenes(arguments.value(scenesIndex + 1),
                    ratioIndex > 0 ? QVector<int>{arguments.value(ratioIndex + 1).toInt()}
                                   : QVector<int>{1, 2});
        return 0;
    }
    if (arguments.contains("--xy")) {
        xyPlot();
        return 0;
    }
    VisibleTimeRows rows;
    const int dataIndex = arguments.indexOf("--data");
    const int visibleTimeIndex = arguments.indexOf("--visible-time");
    rows.data = dataIndex > 0 ? arguments.value(dataIndex + 1) : QString();
    rows.visibleTime = visibleTimeIndex > 0 ? arguments.value(visibleTimeIndex + 1) : QString();
    rows.profile = arguments.contains("--profile");
    if (arguments.contains("--visible-times"))
        return visibleTimes(rows) ? 0 : 2;
    compareDrawings(imageDir);
    xyPlot();
    if (!arguments.contains("--quick")) {
        largeStore();
        visibleTimes(VisibleTimeRows());
    }
    std::printf("\nload average at the end: %s\n", qPrintable(loadAverage()));
    return 0;
}
