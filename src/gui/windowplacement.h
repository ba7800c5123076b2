#ifndef WINDOWPLACEMENT_H
#define WINDOWPLACEMENT_H

#include <QRect>
#include <QSize>

// Where a new window of the wanted size goes on a screen whose free area is available:
// no larger than that area less room for a frame, and centred in it, so that all of
// it is on the screen whatever the window manager would have chosen.
QRect placeWithin(QSize wanted, const QRect &available);

#endif
