// Paint time of the time plot at 1600 x 900 with five curves, the drawing of the
// program against the literal one (one wide antialiased polyline per unbroken run),
// and the cost of a paint over a store of 10,000,000 samples. Run through
// bench/run-plot-bench.sh on the offscreen platform.
//
// Usage: bench_plot [--images DIR] [--quick]
//   --images DIR  writes the literal and the program's rendering of the simulator's
//                 data to DIR/plot-literal.png and DIR/plot-fast.png
//   --quick       skips the 10,000,000-sample store

#include "livedata/measurementdata.h"
#include "plot/timeplotwidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
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

// Draws each unbroken run of visited samples as one polyline with the curve's pen.
class LiteralTimePlot : public TimePlotWidget
{
protected:
    void paintCurves(QPainter &painter) override
    {
        painter.setPen(QPen(QColor(30, 144, 255), 2, Qt::SolidLine));
        const TimePlotCache &samples = visitedSamples();
        QVector<QPoint> points;
        for (int curve = 0; curve < curveTotal(); ++curve) {
            const QVector<double> &values = samples.values(curve);
            for (int visited = 0; visited <= values.size(); ++visited) {
                if (visited == values.size() || std::isnan(values[visited])) {
                    if (!points.isEmpty())
                        painter.drawPolyline(points.constData(), points.size());
                    points.resize(0);
                    continue;
                }
                points.append(
                    QPoint(timeToX(samples.times()[visited]), valueToY(values[visited], curve)));
            }
        }
    }
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

double paintMs(TimePlotWidget &plot, QImage &image)
{
    const double start = threadMs();
    plot.render(&image);
    return threadMs() - start;
}

// Median over repeated paints; slow paints are repeated less often.
double medianPaintMs(TimePlotWidget &plot, QImage &image, int maximumRuns)
{
    QVector<double> times;
    const double warmUp = paintMs(plot, image);
    // A paint of seconds is its own warm-up.
    if (warmUp > 1000)
        times.append(warmUp);
    QElapsedTimer total;
    total.start();
    while (times.size() < maximumRuns && (times.size() < 3 || total.elapsed() < 2000))
        times.append(paintMs(plot, image));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
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

QImage newImage()
{
    return QImage(plotWidth, plotHeight, QImage::Format_ARGB32_Premultiplied);
}

struct Case {
    const char *name;
    Generator generator;
    QVector<double> minimumRanges;
};

void compareDrawings(const QString &imageDir)
{
    const QVector<double> bandScale(5, 0.001);
    const Case cases[] = {
        {"simulator defaults", simulatorData(), {1, 1, 1, 10, 1}},
        {"smooth, 1 period", sineData(1), bandScale},
        {"smooth, 20 periods", sineData(20), bandScale},
        {"noisy, uniform over the band", noisyData(), bandScale},
        {"worst case, alternating extremes", alternatingData(), bandScale},
    };
    std::printf("Full paint, 1600 x 900, five curves of %d points (median ms of thread CPU "
                "time)\n",
                windowSamples);
    std::printf("| data | literal | program | ratio | mean pixel difference | pixels off by "
                "more than 64 |\n|---|---|---|---|---|---|\n");
    for (const Case &c : cases) {
        MeasurementData store;
        fill(store, windowSamples, sampleIntervalMs, c.generator);
        LiteralTimePlot literal;
        TimePlotWidget fast;
        const QDateTime right = store.timestamps.last();
        const QDateTime left = right.addMSecs(-(windowSamples - 1) * sampleIntervalMs);
        for (TimePlotWidget *plot : {static_cast<TimePlotWidget *>(&literal), &fast}) {
            bind(*plot, store, c.minimumRanges);
            plot->setVisibleTimeInterval(left, right);
        }
        QImage literalImage = newImage();
        QImage fastImage = newImage();
        const double literalMs = medianPaintMs(literal, literalImage, 7);
        const double fastMs = medianPaintMs(fast, fastImage, 51);
        const Difference difference = compare(literalImage, fastImage);
        std::printf("| %s | %.1f | %.2f | %.0f x | %.2f / 255 | %.3f %% |\n", c.name, literalMs,
                    fastMs, literalMs / fastMs, difference.meanAbsolute, difference.percentAbove64);
        std::fflush(stdout);
        if (!imageDir.isEmpty() && QString(c.name) == "simulator defaults") {
            literalImage.save(imageDir + "/plot-literal.png");
            fastImage.save(imageDir + "/plot-fast.png");
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

void largeStore()
{
    // Two months at 2 Hz, the poll rate ("2 months" is 56 days), against 10,000 samples
    // over the same window. Both paints decimate to about 2000 points, one every 40
    // minutes of the same signal, so they draw the same picture and differ only in
    // what the size of the store costs.
    const qint64 twoMonthsMs = qint64(56) * 24 * 3600 * 1000;
    std::printf("\nPaint with the \"2 months\" window over the simulator's data (median ms of "
                "thread CPU time)\n");
    std::printf("| samples in the store | sample interval | paint | bytes per sample, "
                "used | bytes per sample, allocated |\n|---|---|---|---|---|\n");
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
        TimePlotWidget plot;
        bind(plot, *store, {1, 1, 1, 10, 1});
        const QDateTime right = store->timestamps.last();
        plot.setVisibleTimeInterval(right.addMSecs(-twoMonthsMs), right);
        QImage image = newImage();
        const double ms = medianPaintMs(plot, image, 51);
        if (count == 10000)
            smallMs = ms;
        std::printf("| %d | %.1f s | %.2f | %.1f | %.1f |\n", count, intervalMs / 1000.0, ms,
                    double(after - before) / count, double(allocated) / count);
        std::fflush(stdout);
        if (count != 10000)
            std::printf("\nratio 10,000,000 / 10,000 samples: %.2f\n", ms / smallMs);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const int imagesIndex = arguments.indexOf("--images");
    const QString imageDir = imagesIndex > 0 ? arguments.value(imagesIndex + 1) : QString();
    compareDrawings(imageDir);
    if (!arguments.contains("--quick"))
        largeStore();
    return 0;
}
