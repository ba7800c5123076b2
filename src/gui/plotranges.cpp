#include "plotranges.h"

#include <QCoreApplication>
#include <QSettings>

#include <cmath>

namespace
{

bool parseFinite(const QString &text, double &value)
{
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value);
}

} // namespace

QString fixedRangeError(const QString &minimumText, const QString &maximumText)
{
    double minimum = 0;
    double maximum = 0;
    if (!parseFinite(minimumText, minimum))
        return QCoreApplication::translate("PlotRanges",
                                           "The minimum \"%1\" is not a finite number.")
            .arg(minimumText);
    if (!parseFinite(maximumText, maximum))
        return QCoreApplication::translate("PlotRanges",
                                           "The maximum \"%1\" is not a finite number.")
            .arg(maximumText);
    if (!(minimum < maximum))
        return QCoreApplication::translate("PlotRanges",
                                           "The minimum must be less than the maximum.");
    return QString();
}

std::optional<FixedRange> parseFixedRange(const QString &minimumText, const QString &maximumText)
{
    if (!fixedRangeError(minimumText, maximumText).isEmpty())
        return std::nullopt;
    return FixedRange{minimumText.trimmed().toDouble(), maximumText.trimmed().toDouble()};
}

PlotRanges PlotRanges::load(QSettings &settings)
{
    PlotRanges loaded;
    settings.beginGroup(group);
    for (const QString &key : settings.childKeys()) {
        if (!key.endsWith("Min"))
            continue;
        const QString quantity = key.chopped(3);
        const QString maximumKey = quantity + "Max";
        if (!settings.contains(maximumKey))
            continue;
        if (const std::optional<FixedRange> range = parseFixedRange(
                settings.value(key).toString(), settings.value(maximumKey).toString()))
            loaded.ranges.insert(quantity, *range);
    }
    settings.endGroup();
    return loaded;
}

void PlotRanges::save(QSettings &settings, const QStringList &quantities) const
{
    settings.beginGroup(group);
    for (const QString &quantity : quantities) {
        const auto range = ranges.constFind(quantity);
        if (range == ranges.constEnd()) {
            settings.remove(quantity + "Min");
            settings.remove(quantity + "Max");
            continue;
        }
        // Seventeen digits give the double back exactly.
        settings.setValue(quantity + "Min", QString::number(range->minimum, 'g', 17));
        settings.setValue(quantity + "Max", QString::number(range->maximum, 'g', 17));
    }
    settings.endGroup();
}

std::optional<FixedRange> PlotRanges::fixed(const QString &quantity) const
{
    const auto range = ranges.constFind(quantity);
    if (range == ranges.constEnd())
        return std::nullopt;
    return *range;
}

void PlotRanges::setFixed(const QString &quantity, const std::optional<FixedRange> &range)
{
    if (range)
        ranges.insert(quantity, *range);
    else
        ranges.remove(quantity);
}
