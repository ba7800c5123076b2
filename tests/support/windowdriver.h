#ifndef WINDOWDRIVER_H
#define WINDOWDRIVER_H

#include <QString>
#include <QWidget>

// Finds a widget of the program's forms by its object name; a missing one ends the
// test program, since every later step would be meaningless.
template <typename T> T *widget(QWidget &parent, const char *name)
{
    T *child = parent.findChild<T *>(name);
    if (!child)
        qFatal("no widget %s", name);
    return child;
}

class QLabel;

// The status bar's error label (bold red) of the main window.
QLabel *errorLabel(QWidget &window);

// Removes the settings file and the recording journal from the working folder: a window
// starts on the defaults, with no recording to offer to restore.
void startWindowAfresh();

// Chooses "<port> : user-given port" in the Settings tab (types a network address into
// the port box), presses "Connect" and waits until the sensor answered and the settings
// group is enabled.
bool connectThroughPanel(QWidget &window, const QString &port);

#endif
