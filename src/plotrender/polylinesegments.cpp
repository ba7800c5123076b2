#include "polylinesegments.h"

#include <cmath>
#include <utility>
#include <vector>

namespace
{

// The points of a run that share one pixel column.
struct Column {
    int x;
    int firstY;
    int lastY;
    int minimumY;
    int maximumY;
};

// A segment with extensions beyond its ends, in pixels.
struct Piece {
    QPoint start;
    QPoint end;
    double startExtension;
    double endExtension;
};

QPointF unitVector(const QPoint &from, const QPoint &to)
{
    const double dx = double(to.x()) - from.x();
    const double dy = double(to.y()) - from.y();
    // Pixel coordinates: no overflow to guard against, which std::hypot pays for.
    const double length = std::sqrt(dx * dx + dy * dy);
    return QPointF(dx / length, dy / length);
}

QPointF pointAtX(const QPointF &a, const QPointF &b, double x)
{
    return QPointF(x, a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x()));
}

void appendClipped(QPointF a, QPointF b, double clipLeft, double clipRight,
                   QVector<QLineF> &segments)
{
    if (a.x() > b.x())
        std::swap(a, b);
    if (b.x() < clipLeft || a.x() > clipRight)
        return;
    const QPointF clippedA = a.x() < clipLeft ? pointAtX(a, b, clipLeft) : a;
    const QPointF clippedB = b.x() > clipRight ? pointAtX(a, b, clipRight) : b;
    segments.append(QLineF(clippedA, clippedB));
}

void appendPiece(const Piece &piece, double clipLeft, double clipRight, QVector<QLineF> &segments)
{
    const QPointF direction = unitVector(piece.start, piece.end);
    appendClipped(QPointF(piece.start) - direction * piece.startExtension,
                  QPointF(piece.end) + direction * piece.endExtension, clipLeft, clipRight,
                  segments);
}

// Flat-capped segments leave open the small triangle that the polyline's bevel join
// fills on the outside of a bend. Extending both segments by (1 - sqrt(1/2)) times the
// sine of the bend angle gives the corner pixel the bevel's coverage at right angles,
// the most common bend of a curve on the pixel grid, and stays close at other angles.
double joinExtension(const QPointF &incoming, const QPointF &outgoing)
{
    const double factor = 1 - std::sqrt(0.5);
    return factor * std::fabs(incoming.x() * outgoing.y() - incoming.y() * outgoing.x());
}

// Extends a column's vertical extent at the end where a join lies.
void extendSpanAt(Piece &span, int y, double extension)
{
    if (y == span.start.y())
        span.startExtension = qMax(span.startExtension, extension);
    else if (y == span.end.y())
        span.endExtension = qMax(span.endExtension, extension);
}

} // namespace

void appendPolylineSegments(const QPoint *points, int count, double clipLeft, double clipRight,
                            QVector<QLineF> &segments)
{
    int firstOther = 1;
    while (firstOther < count && points[firstOther] == points[0])
        ++firstOther;
    if (firstOther >= count)
        return;
    int lastOther = count - 2;
    while (points[lastOther] == points[count - 1])
        --lastOther;
    // The square caps of the polyline's two ends: one pen half-width beyond the end.
    const QPointF startCap = unitVector(points[firstOther], points[0]);
    appendClipped(QPointF(points[0]), QPointF(points[0]) + startCap, clipLeft, clipRight, segments);
    const QPointF endCap = unitVector(points[lastOther], points[count - 1]);
    appendClipped(QPointF(points[count - 1]), QPointF(points[count - 1]) + endCap, clipLeft,
                  clipRight, segments);

    std::vector<Column> columns;
    columns.reserve(count);
    for (int i = 0; i < count;) {
        Column column{points[i].x(), points[i].y(), points[i].y(), points[i].y(), points[i].y()};
        for (++i; i < count && points[i].x() == column.x; ++i) {
            column.lastY = points[i].y();
            column.minimumY = qMin(column.minimumY, column.lastY);
            column.maximumY = qMax(column.maximumY, column.lastY);
        }
        columns.push_back(column);
    }

    // connectors[k] joins column k to column k + 1.
    std::vector<Piece> connectors;
    connectors.reserve(columns.size());
    for (size_t k = 0; k + 1 < columns.size(); ++k)
        connectors.push_back(Piece{QPoint(columns[k].x, columns[k].lastY),
                                QPoint(columns[k + 1].x, columns[k + 1].firstY), 0, 0});

    // Connectors pendingFirst..k - 1 lie on one line through single points and are
    // drawn as one segment once the line bends.
    const auto appendConnectors = [&](int first, int last) {
        appendPiece(Piece{connectors[first].start, connectors[last].end,
                          connectors[first].startExtension, connectors[last].endExtension},
                    clipLeft, clipRight, segments);
    };
    const int lastColumn = columns.size() - 1;
    int pendingFirst = 0;
    for (int k = 0; k <= lastColumn; ++k) {
        const Column &column = columns[k];
        if (column.maximumY > column.minimumY) {
            // The column's points run up and down its vertical extent; the joins with
            // the connectors are with that vertical line.
            Piece span{QPoint(column.x, column.minimumY), QPoint(column.x, column.maximumY), 0, 0};
            if (k > 0) {
                Piece &incoming = connectors[k - 1];
                const double extension =
                    joinExtension(unitVector(incoming.start, incoming.end), QPointF(0, 1));
                incoming.endExtension = extension;
                extendSpanAt(span, column.firstY, extension);
            }
            if (k < lastColumn) {
                Piece &outgoing = connectors[k];
                const double extension =
                    joinExtension(QPointF(0, 1), unitVector(outgoing.start, outgoing.end));
                outgoing.startExtension = extension;
                extendSpanAt(span, column.lastY, extension);
            }
            appendPiece(span, clipLeft, clipRight, segments);
        } else if (k > 0 && k < lastColumn) {
            Piece &incoming = connectors[k - 1];
            Piece &outgoing = connectors[k];
            const double extension = joinExtension(unitVector(incoming.start, incoming.end),
                                                   unitVector(outgoing.start, outgoing.end));
            incoming.endExtension = extension;
            outgoing.startExtension = extension;
        }

        if (k == 0 || k == lastColumn)
            continue;
        const Piece &line = connectors[pendingFirst];
        const Piece &next = connectors[k];
        const qint64 dx1 = qint64(line.end.x()) - line.start.x();
        const qint64 dy1 = qint64(line.end.y()) - line.start.y();
        const qint64 dx2 = qint64(next.end.x()) - next.start.x();
        const qint64 dy2 = qint64(next.end.y()) - next.start.y();
        const bool continues = column.maximumY == column.minimumY && dx1 * dy2 == dy1 * dx2 &&
                               dx1 * dx2 + dy1 * dy2 > 0;
        if (!continues) {
            appendConnectors(pendingFirst, k - 1);
            pendingFirst = k;
        }
    }
    if (lastColumn > 0)
        appendConnectors(pendingFirst, lastColumn - 1);
}
