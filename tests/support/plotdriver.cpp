#include "plotdriver.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>

void turnWheel(QWidget *plot, QPoint position, int angle, Qt::KeyboardModifiers modifiers)
{
    QWheelEvent event(position, plot->mapToGlobal(position), QPoint(), QPoint(0, angle),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &event);
}

void dragOver(QWidget *plot, QPoint from, QPoint to, Qt::MouseButton button,
              Qt::KeyboardModifiers modifiers)
{
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton changed, Qt::MouseButtons held) {
        QMouseEvent event(type, at, plot->mapToGlobal(at), changed, held, modifiers);
        QApplication::sendEvent(plot, &event);
    };
    send(QEvent::MouseButtonPress, from, button, button);
    const int steps = qMax(1, (to - from).manhattanLength() / 10);
    for (int step = 1; step <= steps; ++step)
        send(QEvent::MouseMove, from + (to - from) * step / steps, Qt::NoButton, button);
    send(QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}
