#include "currentdatatab.h"
#include "customization.h"
#include "dialoganswerer.h"
#include "exportprogressdialog.h"
#include "logrecorder.h"
#include "measurementdata.h"
#include "testfiles.h"

#include <QApplication>
#include <QDir>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

// An export that is cancelled or cannot finish must leave the file it would replace
// byte for byte as it was, and no temporary file beside it.
class TestExportSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cancelLeavesOldFile_data();
    void cancelLeavesOldFile();
    void cancelInTheTabShowsNoBox_data();
    void cancelInTheTabShowsNoBox();
    void writeFailureLeavesOldFile_data();
    void writeFailureLeavesOldFile();
    void fullDiskLeavesOldFile_data();
    void fullDiskLeavesOldFile();

private:
    MeasurementData large;
    MeasurementData small;
};

namespace
{

const QByteArray oldContent = "the file of an earlier export\n";

void fill(MeasurementData &store, int count)
{
    QDateTime time(QDate(2024, 3, 5), QTime(8, 0));
    for (int i = 0; i < count; ++i) {
        const double nu = double(float(12.3456 + std::sin(i * 0.001)));
        store.addSample(time, uint32_t(i), 0, double(float(20 + i % 100 * 0.01)), 849.25, nu,
                        nu * 0.84925, nu * 1.01);
        time = time.addMSecs(500);
    }
}

bool exportTo(MeasurementData &store, const QString &format, const QString &fileName)
{
    return format == "csv" ? ExportProgressDialog::exportCsv(store, fileName)
                           : ExportProgressDialog::exportXlsx(store, fileName);
}

void emptyFolder(const QString &folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
}

QString writeOldFile(const QString &folder, const QString &format)
{
    const QString fileName = folder + "/data." + format;
    QFile file(fileName);
    file.open(QIODevice::WriteOnly);
    file.write(oldContent);
    return fileName;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// Clicks Cancel in the export's progress dialog as a user would. The first tick during
// the export stalls the GUI for longer than the dialog's minimum duration, as a slow
// repaint would, so the dialog appears however fast the machine is.
struct CancelClicker {
    QString label;
    QString buttonText;
    Qt::WindowModality modality = Qt::NonModal;
    int minimumDuration = 0;
    bool hasParent = true;
    bool clicked = false;
    bool stalled = false;
    QTimer timer;

    CancelClicker()
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] { tick(); });
        timer.start();
    }

    void tick()
    {
        QProgressDialog *dialog = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *progress = qobject_cast<QProgressDialog *>(widget))
                dialog = progress;
        }
        if (!dialog || clicked)
            return;
        if (!stalled) {
            stalled = true;
            QThread::msleep(1100);
            return;
        }
        QPushButton *cancel = dialog->findChild<QPushButton *>();
        if (dialog->isVisible() && cancel && cancel->isEnabled()) {
            label = dialog->labelText();
            buttonText = cancel->text();
            modality = dialog->windowModality();
            minimumDuration = dialog->minimumDuration();
            hasParent = dialog->parentWidget() != nullptr;
            clicked = true;
            QTest::mouseClick(cancel, Qt::LeftButton);
        }
    }
};

} // namespace

void TestExportSafety::initTestCase()
{
    applicationName = "QUVA-Explorer";
    companyName = "Tarnwell";
    fill(large, 1000000);
    fill(small, 20000);
}

void TestExportSafety::cancelLeavesOldFile_data()
{
    addExportFormatRows();
}

void TestExportSafety::cancelLeavesOldFile()
{
    QFETCH(QString, format);
    const QString folder = "cancel-" + format;
    emptyFolder(folder);
    const QString fileName = writeOldFile(folder, format);

    CancelClicker user;
    QTest::ignoreMessage(QtDebugMsg, format == "csv" ? "MeasurementData: CSV export canceled."
                                                     : "MeasurementData: XLSX export canceled.");
    QVERIFY(!exportTo(large, format, fileName));
    QVERIFY(user.clicked);
    QCOMPARE(user.label, format == "csv" ? QString("CSV Export") : QString("XLSX Export"));
    QCOMPARE(user.buttonText, QString("Cancel"));
    QCOMPARE(user.modality, Qt::WindowModal);
    QCOMPARE(user.minimumDuration, 1000);
    QVERIFY(!user.hasParent);
    QCOMPARE(readFile(fileName), oldContent);
    QCOMPARE(filesIn(folder), QStringList{"data." + format});
}

void TestExportSafety::cancelInTheTabShowsNoBox_data()
{
    addExportFormatRows();
}

// A cancelled export was reported as "Export failed, error writing file.".
void TestExportSafety::cancelInTheTabShowsNoBox()
{
    QFETCH(QString, format);
    const QString folder = "tab-cancel-" + format;
    emptyFolder(folder);
    const QString fileName = writeOldFile(folder, format);
    removeSettingsFile();
    QSettings("./gui_settings.ini", QSettings::IniFormat).setValue("recordingJournal", false);
    MeasurementData *const shared = measurementData;
    measurementData = &large;
    const auto restore = qScopeGuard([shared] { measurementData = shared; });

    CurrentDataTab tab;
    tab.show();
    DialogAnswerer answerer;
    answerer.answerFileDialog(QDir(folder).absoluteFilePath("data"));
    // A box would take this answer and be recorded.
    answerer.answerMessageBox(QMessageBox::Ok);
    CancelClicker user;
    QTest::ignoreMessage(QtDebugMsg, format == "csv" ? "MeasurementData: CSV export canceled."
                                                     : "MeasurementData: XLSX export canceled.");
    QTest::mouseClick(tab.findChild<QPushButton *>(format == "csv" ? "pushButton_export"
                                                                   : "pushButton_exportXLSX"),
                      Qt::LeftButton);
    QVERIFY(user.clicked);
    QVERIFY(answerer.seenBoxes.isEmpty());
    QCOMPARE(answerer.pendingAnswers(), 1);
    QCOMPARE(readFile(fileName), oldContent);
}

void TestExportSafety::writeFailureLeavesOldFile_data()
{
    addExportFormatRows();
}

void TestExportSafety::writeFailureLeavesOldFile()
{
    // The kernel refuses to let any file of this process grow beyond 256 KiB, a write
    // failure as a full disk gives it, without needing privileges.
    QFETCH(QString, format);
    const QString folder = "limited-" + format;
    emptyFolder(folder);
    const QString fileName = writeOldFile(folder, format);

    rlimit unlimited{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = unlimited;
    limited.rlim_cur = 256 * 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const auto restore = qScopeGuard([&] { setrlimit(RLIMIT_FSIZE, &unlimited); });

    if (format == "csv")
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^MeasurementData: error while writing to CSV "
                                                "file .*/data.csv: .+"));
    else
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^MeasurementData: cannot write XLSX file"));
    LogRecorder log;
    QVERIFY(!exportTo(small, format, fileName));
    QVERIFY(!log.contains("exported:"));
    QCOMPARE(readFile(fileName), oldContent);
    QCOMPARE(filesIn(folder), QStringList{"data." + format});
}

void TestExportSafety::fullDiskLeavesOldFile_data()
{
    addExportFormatRows();
}

void TestExportSafety::fullDiskLeavesOldFile()
{
    // The target lies on a 128 KiB file system, as on a nearly full USB stick.
    QFETCH(QString, format);
    const QString folder = "full-" + format;
    emptyFolder(folder);
    const QByteArray path = QFile::encodeName(QDir(folder).absolutePath());
    if (mount("tmpfs", path.constData(), "tmpfs", 0, "size=128k") != 0)
        QSKIP("mounting a small file system needs root");
    const auto unmount = qScopeGuard([&] { umount(path.constData()); });
    const QString fileName = writeOldFile(folder, format);
    QCOMPARE(readFile(fileName), oldContent);

    if (format == "csv")
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^MeasurementData: error while writing to CSV "
                                                "file .*/data.csv: .+"));
    else
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^MeasurementData: cannot write XLSX file"));
    LogRecorder log;
    QVERIFY(!exportTo(small, format, fileName));
    QVERIFY(!log.contains("exported:"));
    QCOMPARE(readFile(fileName), oldContent);
    QCOMPARE(filesIn(folder), QStringList{"data." + format});
}

QTEST_MAIN(TestExportSafety)
#include "tst_exportsafety.moc"
