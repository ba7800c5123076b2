#ifndef PLOTDRIVER_H
#define PLOTDRIVER_H

#include <QPoint>
#include <QWidget>

// Pointer gestures on a plot as the window system delivers them.

// One wheel turn of angle eighths of a degree (120 = one notch away from the user).
void turnWheel(QWidget *plot, QPoint position, int angle, Qt::KeyboardModifiers modifiers = {});
// Press at from, moves in steps of about 10 px, release at to.
void dragOver(QWidget *plot, QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton,
              Qt::KeyboardModifiers modifiers = {});

#endif
