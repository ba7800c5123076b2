#ifndef PLOTRANGES_H
#define PLOTRANGES_H

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

class QSettings;

// A band's value range held as the user typed it, instead of the automatic one.
struct FixedRange {
    double minimum = 0;
    double maximum = 0;
};

// Why a typed range cannot be a band's range, or an empty text when it can: both ends
// must be finite numbers and the minimum below the maximum.
QString fixedRangeError(const QString &minimumText, const QString &maximumText);
// A typed range read in the C locale; nothing when fixedRangeError() refuses it.
std::optional<FixedRange> parseFixedRange(const QString &minimumText, const QString &maximumText);

// The fixed ranges of the plot's bands, by quantity key ("nu", "nuUc", "eta", "rho", "T"),
// kept in the group "plotRanges" of the settings file as <key>Min and <key>Max. A quantity
// without both keys, or with values the range dialog would refuse, is automatic.
class PlotRanges
{
public:
    static constexpr char group[] = "plotRanges";

    static PlotRanges load(QSettings &settings);
    // Writes every quantity: the fixed ones' ends, and removes the automatic ones' keys.
    void save(QSettings &settings, const QStringList &quantities) const;

    std::optional<FixedRange> fixed(const QString &quantity) const;
    void setFixed(const QString &quantity, const std::optional<FixedRange> &range);

private:
    QMap<QString, FixedRange> ranges;
};

#endif
