#include "testseed.h"

#include <QFileInfo>
#include <QTest>

#include <chrono>
#include <cstdio>

namespace
{

const char seedVariable[] = "QUVA_TEST_SEED";

quint32 chooseSeed(bool &fromClock)
{
    const QByteArray given = qgetenv(seedVariable);
    fromClock = given.isEmpty();
    if (fromClock) {
        const auto ticks = quint64(std::chrono::system_clock::now().time_since_epoch().count());
        return quint32(ticks ^ (ticks >> 32));
    }
    bool ok = false;
    const quint32 seed = given.toUInt(&ok);
    if (!ok)
        qFatal("%s=%s is not a whole number from 0 to 4294967295", seedVariable, given.constData());
    return seed;
}

} // namespace

quint32 testSeed()
{
    static const quint32 seed = [] {
        bool fromClock = false;
        const quint32 chosen = chooseSeed(fromClock);
        // Straight to the test log, past any message handler a test has installed.
        const QString program =
            QFileInfo(QString::fromLocal8Bit(QTest::currentAppName())).fileName();
        std::printf("Random seed %u (%s); to replay: %s=%u ctest -R '/%s$'\n", chosen,
                    fromClock ? "from the clock" : seedVariable, seedVariable, chosen,
                    qPrintable(program));
        std::fflush(stdout);
        return chosen;
    }();
    return seed;
}

QRandomGenerator seededRandom()
{
    return QRandomGenerator(testSeed());
}
