#include "diagonalhatch.h"

#include <algorithm>
#include <cmath>

namespace
{

// The lines of one area, whose pixels cover left..right and top..bottom as a plane.
void appendHatch(const QRect &area, int spacing, QVector<QLineF> &lines)
{
    const double left = area.left();
    const double right = area.right() + 1.0;
    const double top = area.top();
    const double bottom = area.bottom() + 1.0;
    for (double sum = std::ceil((left + top) / spacing) * spacing; sum < right + bottom;
         sum += spacing) {
        const double fromX = std::max(left, sum - bottom);
        const double toX = std::min(right, sum - top);
        if (fromX < toX)
            lines.append(QLineF(fromX, sum - fromX, toX, sum - toX));
    }
}

} // namespace

QVector<QLineF> diagonalHatch(QVector<QRect> areas, int spacing)
{
    QVector<QLineF> lines;
    if (spacing <= 0)
        return lines;
    areas.erase(std::remove_if(areas.begin(), areas.end(),
                               [](const QRect &area) { return area.isEmpty(); }),
                areas.end());
    std::sort(areas.begin(), areas.end(), [](const QRect &a, const QRect &b) {
        if (a.top() != b.top())
            return a.top() < b.top();
        return a.bottom() != b.bottom() ? a.bottom() < b.bottom() : a.left() < b.left();
    });
    for (int first = 0; first < areas.size();) {
        QRect merged = areas[first];
        int next = first + 1;
        for (; next < areas.size() && areas[next].top() == merged.top() &&
               areas[next].bottom() == merged.bottom() && areas[next].left() <= merged.right() + 1;
             ++next)
            merged.setRight(std::max(merged.right(), areas[next].right()));
        appendHatch(merged, spacing, lines);
        first = next;
    }
    return lines;
}
