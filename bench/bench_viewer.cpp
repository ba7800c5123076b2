// How much later a long recording is on screen in a viewer window than the plain CSV
// import of the same file has finished: the viewer reads the file with the import itself,
// telling a progress dialog how far it is, then reads the head, binds the plot and paints
// the window once. The import and the viewer run in turn on the same file, each into a
// fresh store, so the page cache and the machine's load treat both alike. Both the wall
// time and the thread's CPU time are given: on a shared, loaded machine the wall time
// varies by seconds from run to run, the CPU time far less.
//
// Usage: bench_viewer DIR [--quick] [--runs N]
//   DIR      folder for the file (viewer.csv, removed at the end)
//   --quick  1,000,000 samples instead of 10,000,000
//   --runs   runs of each (3 by default)

#include "benchcontext.h"
#include "csvline.h"
#include "measurementdata.h"
#include "viewerwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

// Samples at 2 Hz, with values that wander as a plant's do and a
// fault now and then, written as the export writes them.
bool writeRecording(const QString &fileName, int count)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(csvHead("QUVA-Explorer", "Tarnwell"));
    const QDateTime first(QDate(2024, 3, 5), QTime(0, 0));
    std::vector<char> block;
    block.reserve(1 << 22);
    char line[maxCsvLineLength];
    LiveSample sample;
    for (int i = 0; i < count; ++i) {
        const double phase = i * 1e-4;
        sample.timestamp = first.addMSecs(qint64(i) * 500);
        sample.frameNr = uint32_t(i + 1);
        sample.nu = 12 + 3 * std::sin(phase) + 0.01 * (i % 7);
        sample.rho = 850 - 5 * std::cos(phase);
        sample.eta = sample.nu * sample.rho / 1000;
        sample.T = 40 + 10 * std::sin(phase / 3);
        sample.systemState = i % 50000 < 20 ? 0x0002 : 0;
        sample.nuUc = std::nan("");
        const char *end = formatCsvLine(line, sample);
        block.insert(block.end(), static_cast<const char *>(line), end);
        if (block.size() > (1 << 22) - maxCsvLineLength) {
            if (file.write(block.data(), qint64(block.size())) != qint64(block.size()))
                return false;
            block.clear();
        }
    }
    return file.write(block.data(), qint64(block.size())) == qint64(block.size());
}

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

// Wall and CPU seconds of one step.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

template <typename Step> Timing timed(Step step)
{
    QElapsedTimer clock;
    const double cpuStart = threadSeconds();
    clock.start();
    step();
    return {clock.nsecsElapsed() / 1e9, threadSeconds() - cpuStart};
}

QString minMedianMax(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return QString::asprintf("%.3f / %.3f / %.3f s", values.front(), values[values.size() / 2],
                             values.back());
}

} // namespace

int main(int argc, char *argv[])
{
    // As the program does at start-up.
    if (!std::getenv("TZ"))
        setenv("TZ", ":/etc/localtime", 1);
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_viewer DIR [--quick] [--runs N]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    int count = 10000000;
    int runs = 3;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            count = 1000000;
        else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
    }
    QDir().mkpath(folder);
    const QString file = QDir(folder).filePath("viewer.csv");

    std::printf("CPU: %s\nQt: %s\n", qPrintable(cpuModel()), qVersion());
    std::printf("load average at the start: %s\n", qPrintable(loadAverage()));
    if (!writeRecording(file, count)) {
        std::fprintf(stderr, "bench_viewer: cannot write %s\n", qPrintable(file));
        return 1;
    }
    std::printf("file: %d samples, %.0f MB\n\n", count, QFileInfo(file).size() / 1e6);
    std::fflush(stdout);

    std::vector<double> wallLater;
    std::vector<double> cpuLater;
    std::vector<double> importWall;
    std::vector<double> importCpu;
    std::vector<double> paintCpu;
    for (int run = 0; run < runs; ++run) {
        Timing plainImport;
        {
            MeasurementData store;
            bool imported = false;
            plainImport = timed([&] { imported = store.importCsv(file); });
            if (!imported || store.timestamps.size() != count) {
                std::fprintf(stderr, "bench_viewer: the import failed\n");
                return 1;
            }
        }
        Timing viewer;
        Timing shown;
        {
            ViewerWindow window;
            bool opened = false;
            viewer = timed([&] { opened = window.open(file, nullptr); });
            // Painted once: the window with its plot as the user first sees it.
            shown = timed([&] {
                window.show();
                window.grab();
            });
            viewer.wall += shown.wall;
            viewer.cpu += shown.cpu;
            if (!opened || window.recording().timestamps.size() != count) {
                std::fprintf(stderr, "bench_viewer: the viewer failed\n");
                return 1;
            }
        }
        importWall.push_back(plainImport.wall);
        importCpu.push_back(plainImport.cpu);
        wallLater.push_back(viewer.wall - plainImport.wall);
        cpuLater.push_back(viewer.cpu - plainImport.cpu);
        paintCpu.push_back(shown.cpu);
        std::printf("run %d: import %.3f s (CPU %.3f s), viewer shown %.3f s (CPU %.3f s, of "
                    "which showing and the first paint %.3f s); load %s\n",
                    run + 1, plainImport.wall, plainImport.cpu, viewer.wall, viewer.cpu, shown.cpu,
                    qPrintable(loadAverage()));
        std::fflush(stdout);
    }
    std::printf("\n%d samples, min / median / max of %d runs:\n", count, runs);
    std::printf("import, wall:                 %s\n", qPrintable(minMedianMax(importWall)));
    std::printf("import, CPU:                  %s\n", qPrintable(minMedianMax(importCpu)));
    std::printf("viewer later by, wall:        %s\n", qPrintable(minMedianMax(wallLater)));
    std::printf("viewer later by, CPU:         %s (target: at most 0.5 s)\n",
                qPrintable(minMedianMax(cpuLater)));
    std::printf("showing and first paint, CPU: %s\n", qPrintable(minMedianMax(paintCpu)));
    std::printf("load average at the end: %s\n", qPrintable(loadAverage()));
    QFile::remove(file);
    return 0;
}
