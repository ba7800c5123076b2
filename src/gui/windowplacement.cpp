#include "windowplacement.h"

namespace
{

// Room for a title bar, which the available area still includes.
const QSize titleBarRoom(0, 40);

} // namespace

QRect placeWithin(QSize wanted, const QRect &available)
{
    const QSize size = wanted.boundedTo(available.size() - titleBarRoom);
    QRect placed(QPoint(0, 0), size);
    placed.moveCenter(available.center());
    placed.moveTop(qMax(available.top() + titleBarRoom.height(), placed.top()));
    return placed;
}
