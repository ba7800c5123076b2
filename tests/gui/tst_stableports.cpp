// Stable port names: a folder of links to ptys stands in for /dev/serial/by-id.

#include "ptypair.h"
#include "serialportlist.h"
#include "settingstab.h"
#include "testfiles.h"
#include "windowdriver.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

#include <memory>

class TestStablePorts : public QObject
{
    Q_OBJECT

private slots:
    void offeredRememberedAndPreselected();
};

namespace
{

// A fresh tab, as at start-up, once its first port scan filled the list.
std::unique_ptr<SettingsTab> startTab(int entries)
{
    auto tab = std::make_unique<SettingsTab>();
    auto *ports = widget<QComboBox>(*tab, "comboBox_serialPort");
    if (!QTest::qWaitFor([&] { return ports->count() >= entries; }, 5000))
        return nullptr;
    return tab;
}

} // namespace

void TestStablePorts::offeredRememberedAndPreselected()
{
    removeSettingsFile();
    QTemporaryDir byId;
    PtyPair pty;
    QVERIFY(pty.isOpen());
    const QString link = byId.filePath("usb-QUVA_USB-Kit_A1B2-if00-port0");
    QVERIFY(QFile::link(pty.slavePath(), link));
    QVERIFY(QFile::link(byId.filePath("gone"), byId.filePath("usb-Unplugged-if00-port0")));
    setStablePortFolder(byId.path());
    setUserGivenPorts({pty.slavePath()});
    const int enumerated = availableSerialPorts().size() - 2;

    // Offered beside the device it names; a link to nothing is not offered.
    std::unique_ptr<SettingsTab> tab = startTab(enumerated + 2);
    QVERIFY(tab);
    auto *ports = widget<QComboBox>(*tab, "comboBox_serialPort");
    const QString stableEntry =
        link + " : stable name of " + pty.slavePath().mid(QString("/dev/").size());
    QCOMPARE(ports->itemText(enumerated), stableEntry);
    QCOMPARE(ports->itemText(enumerated + 1), pty.slavePath() + " : user-given port");
    QCOMPARE(ports->count(), enumerated + 2);

    // Connect through the device's own name remembers the stable one.
    QSignalSpy connects(tab.get(), &SettingsTab::connectDevice);
    ports->setCurrentIndex(enumerated + 1);
    QTest::mouseClick(widget<QPushButton>(*tab, "pushButton_connect"), Qt::LeftButton);
    QCOMPARE(connects.size(), 1);
    QCOMPARE(connects[0][0].toString(), pty.slavePath());
    QCOMPARE(QSettings("gui_settings.ini", QSettings::IniFormat).value("port").toString(), link);

    // At the next start --port wins; without it the remembered port is current.
    tab = startTab(enumerated + 2);
    QVERIFY(tab);
    QVERIFY(widget<QComboBox>(*tab, "comboBox_serialPort")->currentText() != stableEntry);
    setUserGivenPorts({});
    tab = startTab(enumerated + 1);
    QVERIFY(tab);
    QCOMPARE(widget<QComboBox>(*tab, "comboBox_serialPort")->currentText(), stableEntry);

    // Replugged under another device: the stable name still finds it.
    PtyPair replugged;
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(replugged.slavePath(), link));
    tab = startTab(enumerated + 1);
    QVERIFY(tab);
    QCOMPARE(widget<QComboBox>(*tab, "comboBox_serialPort")->currentText(),
             link + " : stable name of " + replugged.slavePath().mid(QString("/dev/").size()));
}

QTEST_MAIN(TestStablePorts)
#include "tst_stableports.moc"
