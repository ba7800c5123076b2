#include "dialoganswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

DialogAnswerer::DialogAnswerer(QObject *parent) : QObject(parent)
{
    timer.setInterval(20);
    connect(&timer, &QTimer::timeout, this, &DialogAnswerer::poll);
    timer.start();
}

void DialogAnswerer::answerMessageBox(QMessageBox::StandardButton button)
{
    answers.append({false, button, QString()});
}

void DialogAnswerer::answerFileDialog(const QString &fileName)
{
    answers.append({true, QMessageBox::NoButton, fileName});
}

bool DialogAnswerer::waitUntilAnswered(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!answers.isEmpty() && clock.elapsed() < timeoutMs)
        QTest::qWait(10);
    return answers.isEmpty();
}

void DialogAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || answers.isEmpty() || !modal->isVisible())
        return;

    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        if (answers.first().fileDialog)
            return;
        const Answer answer = answers.takeFirst();
        seenBoxes.append({box->windowTitle(), box->text(), box->icon()});
        if (beforeAnswer)
            beforeAnswer();
        QAbstractButton *button = box->button(answer.button);
        if (button)
            QTest::mouseClick(button, Qt::LeftButton);
        else
            box->reject();
        return;
    }

    if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
        if (!answers.first().fileDialog)
            return;
        const Answer answer = answers.takeFirst();
        seenFileDialogTitles.append(dialog->windowTitle());
        if (answer.fileName.isEmpty()) {
            dialog->reject();
            return;
        }
        auto *edit = dialog->findChild<QLineEdit *>("fileNameEdit");
        auto *buttons = dialog->findChild<QDialogButtonBox *>("buttonBox");
        if (!edit || !buttons) {
            dialog->reject();
            return;
        }
        edit->setText(answer.fileName);
        const QList<QAbstractButton *> all = buttons->buttons();
        for (QAbstractButton *button : all) {
            const QDialogButtonBox::ButtonRole role = buttons->buttonRole(button);
            if (role == QDialogButtonBox::AcceptRole) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
        dialog->reject();
    }
}
