#include "valuelabels.h"

#include <cstdlib>

QVector<bool> nonOverlappingLabels(const QVector<int> &tops, int height)
{
    QVector<bool> drawn(tops.size(), false);
    int previous = -1;
    for (int label = 0; label < tops.size(); ++label) {
        // Rows top..top + height - 1: two labels meet when their tops are closer than that.
        if (previous >= 0 && std::abs(qint64(tops[label]) - tops[previous]) < height)
            continue;
        drawn[label] = true;
        previous = label;
    }
    return drawn;
}
