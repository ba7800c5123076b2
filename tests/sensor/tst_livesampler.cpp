// The live poll's replies turned into samples: which replies make one, and what it holds.

#include "livesampler.h"

#include <QtTest>

namespace
{

// A live block with the given frame number and a density of 850.00 kg/m³.
QVector<uint16_t> liveBlock(uint32_t frameNr)
{
    QVector<uint16_t> words(15, 0);
    words[0] = uint16_t(frameNr >> 16);
    words[1] = uint16_t(frameNr);
    words[19 - 16] = 8500;
    return words;
}

} // namespace

class TestLiveSampler : public QObject
{
    Q_OBJECT

private slots:
    void onlyNewFramesOfLiveReplies_data();
    void onlyNewFramesOfLiveReplies();
    void sampleIsDecodedAndStamped();
};

void TestLiveSampler::onlyNewFramesOfLiveReplies_data()
{
    QTest::addColumn<QVector<QVector<uint16_t>>>("replies");
    QTest::addColumn<QVector<uint32_t>>("sampled"); // frame numbers of the samples made

    QTest::newRow("new frames") << QVector<QVector<uint16_t>>{liveBlock(1), liveBlock(2)}
                                << QVector<uint32_t>{1, 2};
    QTest::newRow("unchanged frame skipped")
        << QVector<QVector<uint16_t>>{liveBlock(5), liveBlock(5), liveBlock(6)}
        << QVector<uint32_t>{5, 6};
    QTest::newRow("frame 0 before the first")
        << QVector<QVector<uint16_t>>{liveBlock(0)} << QVector<uint32_t>{};
    QTest::newRow("lower number after a power cycle")
        << QVector<QVector<uint16_t>>{liveBlock(900), liveBlock(1)} << QVector<uint32_t>{900, 1};
    QTest::newRow("high word counts")
        << QVector<QVector<uint16_t>>{liveBlock(7), liveBlock(0x10007)}
        << QVector<uint32_t>{7, 0x10007};
    QTest::newRow("other lengths ignored, the last frame kept")
        << QVector<QVector<uint16_t>>{liveBlock(3), QVector<uint16_t>(47, 0),
                                      liveBlock(3).mid(0, 14), liveBlock(3)}
        << QVector<uint32_t>{3};
}

void TestLiveSampler::onlyNewFramesOfLiveReplies()
{
    QFETCH(QVector<QVector<uint16_t>>, replies);
    QFETCH(QVector<uint32_t>, sampled);
    LiveSampler sampler;
    QVector<uint32_t> frames;
    for (const QVector<uint16_t> &reply : replies) {
        const std::optional<LiveSample> sample = sampler.take(reply, QDateTime());
        if (sample)
            frames << sample->frameNr;
    }
    QCOMPARE(frames, sampled);
}

void TestLiveSampler::sampleIsDecodedAndStamped()
{
    const QDateTime firmware(QDate(2024, 10, 8), QTime(0, 0));
    LiveSampler sampler;
    const QDateTime before = QDateTime::currentDateTime();
    const std::optional<LiveSample> sample = sampler.take(liveBlock(42), firmware);
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(sample);
    QCOMPARE(sample->frameNr, 42u);
    QCOMPARE(sample->rho, decodeLiveBlock(liveBlock(42), firmware).rho);
    QCOMPARE(sample->rho, 850.0);
    // Stamped when the reply was handled, in local time.
    QVERIFY(before <= sample->timestamp && sample->timestamp <= after);
    QCOMPARE(sample->timestamp.timeSpec(), Qt::LocalTime);
}

QTEST_GUILESS_MAIN(TestLiveSampler)
#include "tst_livesampler.moc"
