// Why a port will not open, on real pseudo-terminals: missing, held by another
// program, and owned by a group the user is not in.

#include "modbus.h"
#include "ptypair.h"
#include "testchild.h"

#include <QSerialPort>
#include <QStandardPaths>
#include <QtTest>

#include <cstdio>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

class TestPortOpenFailure : public QObject
{
    Q_OBJECT

private slots:
    void holdingChild();
    void missingPort();
    void portHeldByAnotherProgram();
    void portOfAnotherGroup();
};

namespace
{

// The texts the link reports for one Connect: its error, then the reason.
QStringList connectTexts(const QString &port)
{
    Modbus modbus;
    QStringList texts;
    QObject::connect(&modbus, &Modbus::showModbusError, [&](const QString &t) { texts << t; });
    QObject::connect(&modbus, &Modbus::portOpenFailed, [&](const QString &t) { texts << t; });
    modbus.connectDevice(port, 19200, 0, 1);
    return texts;
}

} // namespace

// Run as a child by portHeldByAnotherProgram: holds the port until it is killed.
void TestPortOpenFailure::holdingChild()
{
    const QString port = qEnvironmentVariable("QUVA_HOLD_PORT");
    if (port.isEmpty())
        QSKIP("only run as the child of portHeldByAnotherProgram");
    QSerialPort serialPort(port);
    QVERIFY(serialPort.open(QIODevice::ReadWrite));
    std::puts("holding");
    std::fflush(stdout);
    // Holds it until the parent closes our input or kills us.
    while (std::getchar() != EOF) {
    }
}

void TestPortOpenFailure::missingPort()
{
    QCOMPARE(connectTexts("/dev/quva-unplugged"),
             QStringList({"Modbus Error: connect failed",
                          "/dev/quva-unplugged was not found: the adapter is unplugged, or the "
                          "path does not exist. Plug it in or choose another port."}));
}

void TestPortOpenFailure::portHeldByAnotherProgram()
{
    PtyPair pty;
    QVERIFY(pty.isOpen());
    QProcess child;
    QVERIFY(startTestChild(child, "holdingChild", {"QUVA_HOLD_PORT=" + pty.slavePath()}));
    QVERIFY(
        QTest::qWaitFor([&] { return child.readAllStandardOutput().contains("holding"); }, 20000));

    const QStringList texts = connectTexts(pty.slavePath());
    const qint64 holder = child.processId();
    child.kill();
    child.waitForFinished();
    QCOMPARE(texts.size(), 2);
    QCOMPARE(texts[0], QString("Modbus Error: connect failed"));
    const QRegularExpression reason(
        QString("^%1 is busy: in use by another program \\(tst_portopenfai, process %2 holds the "
                "lock file /.*LCK\\.\\.pts_\\d+\\)\\. Close it, or choose another port\\.$")
            .arg(QRegularExpression::escape(pty.slavePath()))
            .arg(holder));
    QVERIFY2(reason.match(texts[1]).hasMatch(), qPrintable(texts[1]));
}

void TestPortOpenFailure::portOfAnotherGroup()
{
    if (::geteuid() != 0)
        QSKIP("needs root to give the device another owner and to drop to a user without rights");
    QStringList dropRights;
    if (!QStandardPaths::findExecutable("setpriv").isEmpty())
        dropRights = QStringList{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    else if (!QStandardPaths::findExecutable("runuser").isEmpty())
        dropRights = QStringList{"runuser", "-u", "nobody", "--"};
    else
        QSKIP("neither setpriv nor runuser is installed to run the recorder without rights");
    const group *dialout = ::getgrnam("dialout");
    if (!dialout)
        QSKIP("the system has no dialout group");

    // A serial device as udev makes it: root, group dialout, rw for both.
    PtyPair pty;
    QVERIFY(pty.isOpen());
    const QByteArray path = QFile::encodeName(pty.slavePath());
    QCOMPARE(::chown(path.constData(), 0, dialout->gr_gid), 0);
    QCOMPARE(::chmod(path.constData(), 0660), 0);

    QTemporaryDir folder;
    QVERIFY(QFile::setPermissions(folder.path(), QFileDevice::Permissions(0x7777)));
    QProcess recorder;
    recorder.setWorkingDirectory(folder.path());
    recorder.start(dropRights.takeFirst(),
                   dropRights + QStringList{QUVA_EXPLORER_PATH, "--record", "a.csv", "--port",
                                            pty.slavePath()});
    QVERIFY(recorder.waitForFinished(30000));
    const QString errors = recorder.readAllStandardError();
    QCOMPARE(recorder.exitCode(), 1);
    QVERIFY2(errors.contains("Modbus Error: connect failed\n"), qPrintable(errors));
    QVERIFY2(errors.contains("\nPermission denied on " + pty.slavePath() +
                             ": it belongs to the group dialout. Add yourself to it with \"sudo "
                             "usermod -aG dialout $USER\", then log out and in again.\n"),
             qPrintable(errors));
}

QTEST_MAIN(TestPortOpenFailure)
#include "tst_portopenfailure.moc"
