#ifndef DIALOGANSWERER_H
#define DIALOGANSWERER_H

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// Answers the modal dialogs that the code under test opens, as a user would: it
// watches for the active modal widget and clicks a message box's button, or types
// a name into a file dialog and presses its accept button. Answers are used in the
// order they were queued; every message box seen is recorded.
class DialogAnswerer : public QObject
{
    Q_OBJECT

public:
    struct SeenBox {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };

    explicit DialogAnswerer(QObject *parent = nullptr);

    // The next message box is answered with button.
    void answerMessageBox(QMessageBox::StandardButton button);
    // The next file dialog gets fileName typed in and accepted; an empty name cancels it.
    void answerFileDialog(const QString &fileName);

    // Processes events until every queued answer was given or timeoutMs passed.
    bool waitUntilAnswered(int timeoutMs = 30000);
    int pendingAnswers() const { return answers.size(); }

    QList<SeenBox> seenBoxes;
    // Called when a message box is seen, before it is answered: what the code under test
    // had done by the time it asked.
    std::function<void()> beforeAnswer;
    QStringList seenFileDialogTitles;

private slots:
    void poll();

private:
    struct Answer {
        bool fileDialog;
        QMessageBox::StandardButton button;
        QString fileName;
    };
    QList<Answer> answers;
    QTimer timer;
};

#endif
