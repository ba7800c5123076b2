// Telling a device that has gone from one that only reported a passing error, on real
// pseudo-terminals and pipes.

#include "devicehungup.h"
#include "ptypair.h"

#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

class TestDeviceHungUp : public QObject
{
    Q_OBJECT

private slots:
    void terminalHangsUpWhenItsPeerCloses();
    void pipeHangsUpWhenItsWriterCloses();
    void closedHandleCountsAsGone();
};

void TestDeviceHungUp::terminalHangsUpWhenItsPeerCloses()
{
    PtyPair pty;
    QVERIFY(pty.isOpen());
    const int port = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(port >= 0);
    QVERIFY(!deviceHungUp(port));
    // Bytes waiting to be read are no hang-up.
    QVERIFY(pty.write("\x01\x03"));
    QVERIFY(pty.waitUntilPortHoldsInput());
    QVERIFY(!deviceHungUp(port));

    pty.closeMaster();
    QVERIFY(deviceHungUp(port));
    ::close(port);
}

void TestDeviceHungUp::pipeHangsUpWhenItsWriterCloses()
{
    int ends[2];
    QCOMPARE(::pipe(ends), 0);
    QVERIFY(!deviceHungUp(ends[0]));
    ::close(ends[1]);
    QVERIFY(deviceHungUp(ends[0]));
    ::close(ends[0]);
}

void TestDeviceHungUp::closedHandleCountsAsGone()
{
    int ends[2];
    QCOMPARE(::pipe(ends), 0);
    ::close(ends[0]);
    ::close(ends[1]);
    QVERIFY(deviceHungUp(ends[0]));
}

QTEST_GUILESS_MAIN(TestDeviceHungUp)
#include "tst_devicehungup.moc"
