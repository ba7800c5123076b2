// Keeping a recording before the store lets go of it, and a journal that notices when its
// file is taken from under it.

#include "keptrecording.h"
#include "measurementdata.h"
#include "recordingcompare.h"
#include "recordingjournal.h"
#include "testfiles.h"

#include <QtTest>

#include <limits>

class TestKeptRecording : public QObject
{
    Q_OBJECT

private slots:
    void keptFileHoldsTheWholeStore();
    void fileThatCannotBeWrittenIsNotNamed();
    void fileWithOnlyPartOfTheStoreIsNotTheRecording();
    void sameFileThroughLinksAndDots();
    void journalNoticesItsFileGone_data();
    void journalNoticesItsFileGone();

private:
    QTemporaryDir folder;
};

namespace
{

const QDateTime first(QDate(2026, 3, 4), QTime(5, 6, 7, 800));

void record(MeasurementData &store, uint32_t from, uint32_t to)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (uint32_t frame = from; frame <= to; ++frame)
        store.addSample(first.addMSecs(500 * frame), frame, frame % 3 ? 0 : 0x0a01,
                        20 + frame * 0.013, 800 + frame * 0.07, 10 + frame * 0.011, 8.004,
                        frame % 2 ? nan : 11.5);
}

} // namespace

void TestKeptRecording::keptFileHoldsTheWholeStore()
{
    MeasurementData store;
    record(store, 1, 40);
    const QString kept = folder.filePath("kept.csv");
    QString error;
    QVERIFY2(keepRecording(store, kept, error), qPrintable(error));
    QCOMPARE(recordingDifference(store, kept), QString());
    QVERIFY(holdsRecording(store, kept, error));
}

void TestKeptRecording::fileThatCannotBeWrittenIsNotNamed()
{
    MeasurementData store;
    record(store, 1, 3);
    const QString kept = folder.filePath("gone/kept.csv");
    QString error;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("MeasurementData: cannot open"));
    QVERIFY(!keepRecording(store, kept, error));
    QVERIFY2(error.startsWith(kept + ": "), qPrintable(error));
    QVERIFY(!QFile::exists(kept));
}

// Regression: a failed import named the journal as keeping the whole recording, but the
// journal held only the samples taken after an earlier import.
void TestKeptRecording::fileWithOnlyPartOfTheStoreIsNotTheRecording()
{
    MeasurementData store;
    record(store, 1, 10);
    MeasurementData liveOnly;
    record(liveOnly, 7, 10);
    const QString journal = folder.filePath("journal.csv");
    QVERIFY(liveOnly.exportCsv(journal));
    QString error;
    QVERIFY(!holdsRecording(store, journal, error));
    QCOMPARE(error, journal + " does not hold the recording's 10 samples (it holds 4)");

    // The same count with other samples is no more the recording.
    MeasurementData other;
    record(other, 11, 20);
    QVERIFY(other.exportCsv(journal));
    QVERIFY(!holdsRecording(store, journal, error));
}

void TestKeptRecording::sameFileThroughLinksAndDots()
{
    const QString journal = folder.filePath("recording-journal.csv");
    QVERIFY(writeFile(journal, "#\n"));
    QVERIFY(QFile::link(journal, folder.filePath("link.csv")));
    QVERIFY(QDir(folder.path()).mkdir("sub"));
    QVERIFY(isSameFile(folder.filePath("link.csv"), journal));
    QVERIFY(isSameFile(folder.filePath("sub/../recording-journal.csv"), journal));
    QVERIFY(!isSameFile(folder.filePath("sub/recording-journal.csv"), journal));
    QVERIFY(!isSameFile(folder.filePath("other.csv"), journal));
}

void TestKeptRecording::journalNoticesItsFileGone_data()
{
    QTest::addColumn<bool>("replaced");
    // Regression: an export onto the journal's file replaced it, and the journal went on
    // writing into the old, deleted one without a word.
    QTest::newRow("replaced by another file") << true;
    QTest::newRow("removed") << false;
}

void TestKeptRecording::journalNoticesItsFileGone()
{
    QFETCH(bool, replaced);
    const QString path = folder.filePath("recording-journal.csv");
    RecordingJournal journal;
    QSignalSpy failures(&journal, &RecordingJournal::writeFailed);
    QVERIFY(journal.start(path));
    const LiveSample sample{first, 1, 10, 8, 800, 20, 0, 11};
    journal.append(sample);
    QTRY_COMPARE(journal.samplesWritten(), 1);

    if (replaced) {
        QVERIFY(writeFile(path + ".new", "#\n"));
        QVERIFY(std::rename(QFile::encodeName(path + ".new"), QFile::encodeName(path)) == 0);
    } else {
        QVERIFY(QFile::remove(path));
    }
    QVERIFY(failures.wait(10000));
    QCOMPARE(failures.first().first().toString(),
             "cannot write " + path + ": the file was removed or replaced");

    // Starting over writes to a file under the journal's name again.
    journal.startOver();
    journal.append(LiveSample{first.addSecs(1), 2, 10, 8, 800, 20, 0, 11});
    QTRY_COMPARE(journal.samplesWritten(), 1);
    MeasurementData onDisk;
    QVERIFY(onDisk.importCsv(path));
    QCOMPARE(onDisk.frameNr, QVector<uint32_t>{2});
    QCOMPARE(failures.size(), 1);
}

QTEST_MAIN(TestKeptRecording)
#include "tst_keptrecording.moc"
