#include "settingsvalue.h"

#include <QSettings>

int settingsInteger(const QSettings &settings, const QString &key, int fallback, int minimum,
                    int maximum)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return fallback;
    bool ok = false;
    // Values read from the file are text; values set in this run keep their type.
    const qlonglong number = value.type() == QVariant::String
                                 ? value.toString().trimmed().toLongLong(&ok)
                                 : value.toLongLong(&ok);
    if (!ok || number < minimum || number > maximum)
        return fallback;
    return int(number);
}
