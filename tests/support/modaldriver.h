#ifndef MODALDRIVER_H
#define MODALDRIVER_H

#include <QDialog>

#include <functional>

class QAbstractButton;

// Clicks button, which opens a modal dialog, and runs drive on that dialog inside its
// event loop, as a user would work it; drive ends by closing it. False when no modal
// dialog came up within 30 s, or it was still open when drive returned.
bool clickAndDriveDialog(QAbstractButton *button, const std::function<void(QDialog &)> &drive);

#endif
