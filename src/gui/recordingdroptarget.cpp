#include "recordingdroptarget.h"

#include "viewerwindow.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

QStringList droppedFiles(const QMimeData *data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    return files;
}

RecordingDropTarget::RecordingDropTarget(QWidget *window) : QObject(window), window(window)
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

bool RecordingDropTarget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != window)
        return false;
    if (event->type() == QEvent::DragEnter) {
        auto *enter = static_cast<QDragEnterEvent *>(event);
        if (!droppedFiles(enter->mimeData()).isEmpty())
            enter->acceptProposedAction();
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto *drop = static_cast<QDropEvent *>(event);
        const QStringList files = droppedFiles(drop->mimeData());
        drop->acceptProposedAction();
        // Opened once the drop has ended: the source waits for it, and opening may ask.
        QWidget *opener = window;
        QTimer::singleShot(0, window, [files, opener] {
            for (const QString &file : files)
                ViewerWindow::openFile(file, opener);
        });
        return true;
    }
    return false;
}
