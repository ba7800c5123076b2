#ifndef RECORDINGDROPTARGET_H
#define RECORDINGDROPTARGET_H

#include <QObject>
#include <QStringList>

class QMimeData;
class QWidget;

// The local files among dropped data, in the order dropped.
QStringList droppedFiles(const QMimeData *data);

// Lets files be dropped on window: each opens in a viewer of its own (ViewerWindow).
class RecordingDropTarget : public QObject
{
    Q_OBJECT

public:
    explicit RecordingDropTarget(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *window;
};

#endif
