#include "windowdriver.h"

#include "networkaddress.h"
#include "testfiles.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

bool connectThroughPanel(QWidget &window, const QString &port)
{
    auto *ports = widget<QComboBox>(window, "comboBox_serialPort");
    if (networkKind(port) != NetworkKind::None) {
        // Typed over whatever the box shows.
        ports->lineEdit()->selectAll();
        QTest::keyClicks(ports->lineEdit(), port);
    } else {
        const QString entry = port + " : user-given port";
        if (!QTest::qWaitFor([&] { return ports->findText(entry) >= 0; }, 30000))
            return false;
        ports->setCurrentIndex(ports->findText(entry));
    }
    QTest::mouseClick(widget<QPushButton>(window, "pushButton_connect"), Qt::LeftButton);
    return QTest::qWaitFor(
        [&] { return widget<QGroupBox>(window, "groupBox_settings")->isEnabled(); }, 30000);
}

QLabel *errorLabel(QWidget &window)
{
    for (QLabel *label : window.findChildren<QLabel *>()) {
        if (label->styleSheet().contains("red"))
            return label;
    }
    qFatal("no error label");
}

void startWindowAfresh()
{
    removeSettingsFile();
    QFile::remove("recording-journal.csv");
}
