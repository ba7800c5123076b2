// The mapping parameter file loader. Whatever it accepts must save and load again to the
// same nine values, NaN included; what it refuses must leave the parameters untouched.

#include "fuzzcheck.h"

#include "mappingfile.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace
{

QString folder;
int fileCount = 0;

bool sameDouble(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool sameParameters(const MappingParameters &a, const MappingParameters &b)
{
    return sameDouble(a.T1, b.T1) && sameDouble(a.nuRef1, b.nuRef1) && sameDouble(a.T2, b.T2) &&
           sameDouble(a.nuRef2, b.nuRef2) && sameDouble(a.A, b.A) && sameDouble(a.B, b.B) &&
           sameDouble(a.C, b.C) && sameDouble(a.k, b.k) && sameDouble(a.alpha, b.alpha);
}

// The settings store keeps files it has read in a cache keyed by name, so every input gets
// a name of its own.
QString nextFileName()
{
    return QDir(folder).filePath(QString("input-%1.quc").arg(++fileCount));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fixFuzzEnvironment();
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    // The mapping tab loads inside the application, where values of every type that the
    // settings store can hold may be read back.
    new QGuiApplication(*argc, *argv);
    folder = QDir::temp().filePath(QString("fuzz-mappingfile-%1").arg(::getpid()));
    QDir().mkpath(folder);
    std::atexit([] { QDir(folder).removeRecursively(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = nextFileName();
    {
        QFile file(input);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly));
        FUZZ_CHECK(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size));
    }
    MappingParameters untouched;
    untouched.k = 17;
    untouched.alpha = -3;
    MappingParameters loaded = untouched;
    const bool ok = loadMappingFile(input, loaded);
    QFile::remove(input);
    if (!ok) {
        FUZZ_CHECK(sameParameters(loaded, untouched));
        return 0;
    }

    const QString saved = nextFileName();
    FUZZ_CHECK(saveMappingFile(saved, loaded));
    MappingParameters reloaded;
    FUZZ_CHECK(loadMappingFile(saved, reloaded));
    QFile::remove(saved);
    FUZZ_CHECK(sameParameters(loaded, reloaded));
    return 0;
}
