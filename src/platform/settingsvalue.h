#ifndef SETTINGSVALUE_H
#define SETTINGSVALUE_H

#include <QString>

#include <climits>

class QSettings;

// The whole number stored under key, or fallback when the key is missing, holds no
// whole number, or lies outside minimum..maximum. A hand-edited or damaged settings
// file must not put a widget into a state that no user could choose (and that would
// then be written back).
int settingsInteger(const QSettings &settings, const QString &key, int fallback,
                    int minimum = INT_MIN, int maximum = INT_MAX);

#endif
