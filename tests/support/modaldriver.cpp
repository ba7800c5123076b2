#include "modaldriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>

bool clickAndDriveDialog(QAbstractButton *button, const std::function<void(QDialog &)> &drive)
{
    bool driven = false;
    bool closed = false;
    QTimer::singleShot(0, [&] {
        QDialog *dialog = nullptr;
        const bool opened = QTest::qWaitFor(
            [&] { return (dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())); },
            30000);
        if (!opened)
            return;
        driven = true;
        drive(*dialog);
        closed = !dialog->isVisible();
        // A failed check in drive leaves the dialog open: close it so the click returns.
        if (!closed)
            dialog->reject();
    });
    button->click();
    return driven && closed;
}
