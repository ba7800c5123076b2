#include "windowplacement.h"

namespace
{

// Room for the frame around the window, which the available area still includes: a title
// bar above, a border on the other sides.
const int titleBarHeight = 40;
const int borderWidth = 8;

} // namespace

QRect placeWithin(QSize wanted, const QRect &available)
{
    const QSize size =
        wanted.boundedTo(available.size() - QSize(2 * borderWidth, titleBarHeight + borderWidth));
    QRect placed(QPoint(0, 0), size);
    placed.moveCenter(available.center());
    placed.moveTop(qMax(available.top() + titleBarHeight, placed.top()));
    return placed;
}
