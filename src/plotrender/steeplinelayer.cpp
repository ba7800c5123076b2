#include "steeplinelayer.h"

#include "layerscale.h"

#include <QPainter>
#include <QPen>
#include <QRect>

#if defined(__GNUC__) && defined(__SSE2__) && !defined(QUVA_PLOT_SCALAR)
#define QUVA_PLOT_VECTOR
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <type_traits>
#include <utility>

namespace
{

// Columns scanned together: a row of a tile is one short contiguous write to the layer,
// its cells are summed four columns at a time.
const int tileWidth = 16;
// Runs of at least this many equal changes down a column are kept as slopes.
const int slopeRun = 8;

// Lines of up to this many pixels each way between whole pixels are stamped.
const int maxStampStep = 15;
const int stampSpan = 2 * maxStampStep + 1;

#if defined(QUVA_PLOT_VECTOR)

// Four lanes of a vector register.
using Floats = float __attribute__((vector_size(16)));
using Ints = qint32 __attribute__((vector_size(16)));
using Shorts = quint16 __attribute__((vector_size(16)));

// The coverage of eight pixels, 0 to 255, from the magnitudes of their sums (full from
// 1 up, none for NaN). Eight lanes of 16 bits are read out one instruction each.
Shorts coverageOf(Floats low, Floats high)
{
    // MINPS yields its second operand where either is NaN: NaN converts to the integer
    // indefinite value, which packs to -32768 and is then held at 0.
    const __m128 one = _mm_set1_ps(1);
    const __m128i packed = _mm_packs_epi32(_mm_cvttps_epi32(_mm_min_ps(one, low) * 255 + 0.5f),
                                           _mm_cvttps_epi32(_mm_min_ps(one, high) * 255 + 0.5f));
    return Shorts(_mm_max_epi16(packed, _mm_setzero_si128()));
}

void addLanes(float *target, const float *changes)
{
    Floats sum;
    Floats added;
    std::memcpy(&sum, target, sizeof sum);
    std::memcpy(&added, changes, sizeof added);
    sum += added;
    std::memcpy(target, &sum, sizeof sum);
}

// The prefix sums down the columns of one tile, a row at a time.
class TileSums
{
public:
    template <bool withSlopes>
    void sumRow(const float *changes, const float *slopeChanges, const QRgb *colourAtCoverage,
                QRgb *target)
    {
        Floats magnitude[tileWidth / 4];
        for (int quarter = 0; quarter < tileWidth / 4; ++quarter) {
            Floats change;
            std::memcpy(&change, changes + 4 * quarter, sizeof change);
            if constexpr (withSlopes) {
                Floats slopeChange;
                std::memcpy(&slopeChange, slopeChanges + 4 * quarter, sizeof slopeChange);
                slope[quarter] += slopeChange;
                change += slope[quarter];
            }
            coverage[quarter] += change;
            // The sign bit cleared: the winding's direction does not matter.
            magnitude[quarter] = (Floats)((Ints)coverage[quarter] & 0x7fffffff);
        }
        for (int half = 0; half < tileWidth / 8; ++half) {
            const Shorts bytes = coverageOf(magnitude[2 * half], magnitude[2 * half + 1]);
            for (int k = 0; k < 8; ++k)
                target[8 * half + k] = colourAtCoverage[bytes[k]];
        }
    }

private:
    Floats coverage[tileWidth / 4] = {};
    Floats slope[tileWidth / 4] = {};
};

#else

// The coverage 0 to 255 of a pixel from the magnitude of its sum (full from 1 up, none
// for NaN), rounded as the vector code rounds it.
int coverageOf(float magnitude)
{
    if (magnitude < 1)
        return int(magnitude * 255 + 0.5f);
    return magnitude >= 1 ? 255 : 0;
}

void addLanes(float *target, const float *changes)
{
    for (int lane = 0; lane < 4; ++lane)
        target[lane] += changes[lane];
}

// The prefix sums down the columns of one tile, a row at a time.
class TileSums
{
public:
    template <bool withSlopes>
    void sumRow(const float *changes, const float *slopeChanges, const QRgb *colourAtCoverage,
                QRgb *target)
    {
        for (int column = 0; column < tileWidth; ++column) {
            float change = changes[column];
            if constexpr (withSlopes) {
                slope[column] += slopeChanges[column];
                change += slope[column];
            }
            coverage[column] += change;
            target[column] = colourAtCoverage[coverageOf(std::fabs(coverage[column]))];
        }
    }

private:
    float coverage[tileWidth] = {};
    float slope[tileWidth] = {};
};

#endif

bool penDrawnHere(const QPainter &painter, const QPen &pen, int scale)
{
    // A cosmetic pen keeps its width in device pixels, which only scale 1 does here.
    return (scale == 1 || !pen.isCosmetic()) && pen.capStyle() == Qt::FlatCap &&
           pen.style() == Qt::SolidLine && pen.brush().style() == Qt::SolidPattern &&
           pen.color().alpha() == 255 && pen.widthF() > 0 &&
           painter.compositionMode() == QPainter::CompositionMode_SourceOver;
}

} // namespace

void SteepLineLayer::drawLines(QPainter &painter, const QVector<QLineF> &lines, const QPen &pen,
                               const QRect &clip, const QVector<QLine> &pixelLines)
{
    if (lines.isEmpty() && pixelLines.isEmpty())
        return;
    const int scale = layerScale(painter);
    if (scale == 0 || !penDrawnHere(painter, pen, scale)) {
        painter.save();
        painter.setPen(pen);
        painter.drawLines(lines);
        painter.drawLines(pixelLines);
        painter.restore();
        return;
    }

    // The area is in the layer's pixels, which are the device's: scale times the
    // painter's. Everything a line's pen can touch lies within reach of the line.
    const double halfWidth = pen.widthF() * scale / 2;
    const double reach = halfWidth + 2;
    double left = std::numeric_limits<double>::infinity();
    double right = -left;
    double top = left;
    double bottom = right;
    const auto reachLine = [&](const auto &line) {
        left = std::min({left, double(line.x1()), double(line.x2())});
        right = std::max({right, double(line.x1()), double(line.x2())});
        top = std::min({top, double(line.y1()), double(line.y2())});
        bottom = std::max({bottom, double(line.y1()), double(line.y2())});
    };
    for (const QLineF &line : lines)
        reachLine(line);
    for (const QLine &line : pixelLines)
        reachLine(line);
    // Held where the conversion to pixels cannot overflow, far beyond any clip; lines
    // without a finite coordinate each way leave an empty area.
    const auto held = [](double value) { return std::clamp(value, -1e9, 1e9); };
    const QRect area = QRect(QPoint(int(std::floor(held(left * scale - reach))),
                                    int(std::floor(held(top * scale - reach)))),
                             QPoint(int(std::ceil(held(right * scale + reach))),
                                    int(std::ceil(held(bottom * scale + reach))))) &
                       QRect(clip.topLeft() * scale, clip.size() * scale);
    if (area.isEmpty())
        return;
    prepareArea(area.width(), area.height());
    const QRgb colour = pen.color().rgb();
    if (colourAtCoverage[255] != qPremultiply(colour | 0xff000000)) {
        for (int coverage = 0; coverage < 256; ++coverage)
            colourAtCoverage[coverage] =
                qPremultiply(qRgba(qRed(colour), qGreen(colour), qBlue(colour), coverage));
    }
    accumulateLines(lines, pixelLines, area.topLeft(), scale, halfWidth);
    const qint64 colouredPixels = scanTiles();
    Q_ASSERT(clearBetweenCalls());
    drawLayer(painter, area, scale, colouredPixels);
}

void SteepLineLayer::accumulateLines(const QVector<QLineF> &lines, const QVector<QLine> &pixelLines,
                                     const QPoint &origin, int scale, double halfWidth)
{
    // Stamps hold one pen width and, once placed, one count of rows per column.
    if (stampHalfWidth != halfWidth || stamps.empty()) {
        stamps.assign(stampSpan * stampSpan, Stamp());
        stampHalfWidth = halfWidth;
        placementStride = -1;
    }
    if (placementStride != columnStride) {
        stampPlacements.assign(stamps.size() * tileWidth, StampPlacement());
        stampLanes.clear();
        placementStride = columnStride;
    }
    if (scale == 1)
        accumulateScaledLines<1>(lines, pixelLines, origin, halfWidth);
    else
        accumulateScaledLines<2>(lines, pixelLines, origin, halfWidth);
}

template <int scale>
void SteepLineLayer::accumulateScaledLines(const QVector<QLineF> &lines,
                                           const QVector<QLine> &pixelLines, const QPoint &origin,
                                           double halfWidth)
{
    // The scale is a constant here, which leaves ratio 1 without a multiplication.
    const QPointF originF = origin;
    for (const QLineF &line : lines) {
        const QLineF inArea =
            scale == 1 ? line.translated(-originF)
                       : QLineF(line.p1() * scale - originF, line.p2() * scale - originF);
        if (!addStamp(inArea, halfWidth))
            addLine(inArea, halfWidth);
    }
    for (const QLine &line : pixelLines) {
        const int x = line.x1() * scale - origin.x();
        const int y = line.y1() * scale - origin.y();
        if (!addStamp(x, y, line.dx() * scale, line.dy() * scale, halfWidth))
            addLine(QLineF(x, y, x + line.dx() * scale, y + line.dy() * scale), halfWidth);
    }
}

qint64 SteepLineLayer::scanTiles()
{
    // Whole tiles are written, also the last one: the layer is as wide as its tiles.
    const int tileCount = (areaWidth + tileWidth - 1) / tileWidth;
    if (layer.width() < tileCount * tileWidth || layer.height() < areaHeight) {
        layer = QImage(QSize(std::max(tileCount * tileWidth, layer.width()),
                             std::max(areaHeight, layer.height())),
                       QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        const int layerTiles = layer.width() / tileWidth;
        layerTop.fill(layer.height(), layerTiles);
        layerBottom.fill(-1, layerTiles);
    }

    // Rows a tile coloured in an earlier call and not now are cleared here, which spares
    // clearing the whole layer after each call.
    tileRows.resize(tileCount);
    qint64 colouredPixels = 0;
    uchar *target = layer.bits();
    const qsizetype targetStride = layer.bytesPerLine();
    for (int tile = 0; tile < tileCount; ++tile) {
        const int tileLeft = tile * tileWidth;
        // The tile's rows are those any of its columns touched: stamps note theirs at one
        // column of a tile only.
        int tileTop = columnStride;
        int tileBottom = -1;
        for (int column = tileLeft; column < std::min(areaWidth, tileLeft + tileWidth); ++column) {
            tileTop = std::min(tileTop, touchedTop[column]);
            tileBottom = std::max(tileBottom, touchedBottom[column]);
        }
        // Edges clipped at the last row reach the row below it.
        Q_ASSERT(tileTop > tileBottom || (tileTop >= 0 && tileBottom <= areaHeight + 1));
        const int lastInside = std::min(tileBottom, areaHeight - 1);
        tileRows[tile] = {tileTop, lastInside};
        colouredPixels += std::max(0, lastInside - tileTop + 1) * tileWidth;
        int &colouredFrom = layerTop[tile];
        int &colouredTo = layerBottom[tile];
        const auto clearRows = [&](int from, int to) {
            for (int row = from; row <= to; ++row)
                std::memset(target + row * targetStride + tileLeft * sizeof(QRgb), 0,
                            tileWidth * sizeof(QRgb));
        };
        clearRows(colouredFrom, std::min(tileTop, areaHeight) - 1);
        clearRows(std::max(colouredFrom, lastInside + 1), std::min(colouredTo, areaHeight - 1));
        // Rows beyond this area keep what they had.
        const bool keptBelow = colouredTo >= areaHeight;
        colouredFrom = keptBelow ? std::min(tileTop, areaHeight) : tileTop;
        colouredTo = keptBelow ? colouredTo : lastInside;

        float *tileCells = accumulation.data() + qsizetype(tile) * columnStride * tileWidth;
        float *tileSlopes = slopes.data() + qsizetype(tile) * columnStride * tileWidth;
        // Tiles without slopes skip their buffer: most tiles of a curve have none.
        const auto sumRows = [&](auto withSlopes) {
            TileSums sums;
            for (int row = tileTop; row <= lastInside; ++row) {
                float *rowCells = tileCells + row * tileWidth;
                float *rowSlopes = tileSlopes + row * tileWidth;
                sums.sumRow<decltype(withSlopes)::value>(
                    rowCells, rowSlopes, colourAtCoverage,
                    reinterpret_cast<QRgb *>(target + row * targetStride) + tileLeft);
                std::memset(rowCells, 0, tileWidth * sizeof(float));
                if constexpr (decltype(withSlopes)::value)
                    std::memset(rowSlopes, 0, tileWidth * sizeof(float));
            }
        };
        if (tileHasSlopes[tile])
            sumRows(std::true_type());
        else
            sumRows(std::false_type());
        tileHasSlopes[tile] = false;
        // Rows below the area take the changes of edges clipped at its last row.
        for (int row = std::max(tileTop, areaHeight); row <= tileBottom; ++row)
            std::memset(tileCells + row * tileWidth, 0, tileWidth * sizeof(float));
    }
    return colouredPixels;
}

void SteepLineLayer::drawLayer(QPainter &painter, const QRect &area, int scale,
                               qint64 colouredPixels)
{
    if (scale != 1) {
        painter.save();
        useLayerPixels(painter, scale);
    }
    // Qt blends every pixel it is given. Where the lines colour few rows of each tile (a
    // curve across the area), only those rows are laid over the picture; the other rows
    // of the area are transparent.
    if (colouredPixels * 4 > qint64(areaWidth) * areaHeight) {
        painter.drawImage(area.topLeft(), layer, QRect(0, 0, areaWidth, areaHeight));
    } else {
        for (int tile = 0; tile < int(tileRows.size()); ++tile) {
            const int tileLeft = tile * tileWidth;
            const auto [top, bottom] = tileRows[tile];
            if (top <= bottom)
                painter.drawImage(area.topLeft() + QPoint(tileLeft, top), layer,
                                  QRect(tileLeft, top, std::min(tileWidth, areaWidth - tileLeft),
                                        bottom - top + 1));
        }
    }
    if (scale != 1)
        painter.restore();
}

bool SteepLineLayer::clearBetweenCalls() const
{
    const auto zero = [](float value) { return value == 0; };
    if (!std::all_of(accumulation.begin(), accumulation.end(), zero) ||
        !std::all_of(slopes.begin(), slopes.end(), zero) ||
        std::any_of(tileHasSlopes.begin(), tileHasSlopes.end(), [](quint8 has) { return has; }))
        return false;
    for (int row = 0; row < layer.height(); ++row) {
        const QRgb *pixels = reinterpret_cast<const QRgb *>(layer.constScanLine(row));
        for (int tile = 0; tile < layerTop.size(); ++tile) {
            if (row >= layerTop[tile] && row <= layerBottom[tile])
                continue;
            for (int column = tile * tileWidth; column < (tile + 1) * tileWidth; ++column) {
                if (pixels[column] != 0)
                    return false;
            }
        }
    }
    return true;
}

void SteepLineLayer::prepareArea(int width, int height)
{
    areaWidth = width;
    areaHeight = height;
    // The bands of a plot differ in height by a row or two: growing only keeps the
    // stamps' placements.
    columnStride = std::max(columnStride, areaHeight + 2);
    const qsizetype cellCount =
        qsizetype((areaWidth + tileWidth - 1) / tileWidth) * tileWidth * columnStride;
    // Grown to the size needed, not by a factor, so that the memory kept stays at what
    // the largest area needs.
    if (qsizetype(accumulation.size()) < cellCount) {
        accumulation.reserve(cellCount);
        accumulation.resize(cellCount);
        slopes.reserve(cellCount);
        slopes.resize(cellCount);
    }
    tileHasSlopes.resize((areaWidth + tileWidth - 1) / tileWidth);
    touchedTop.assign(areaWidth, columnStride);
    touchedBottom.assign(areaWidth, -1);
}

void SteepLineLayer::addLine(const QLineF &line, double halfWidth)
{
    const double length = std::sqrt(line.dx() * line.dx() + line.dy() * line.dy());
    if (!(length > 0))
        return;
    // The pen's half width across the line.
    const double nx = -line.dy() / length * halfWidth;
    const double ny = line.dx() / length * halfWidth;
    const double x1 = line.x1();
    const double y1 = line.y1();
    const double x2 = line.x2();
    const double y2 = line.y2();
    if (x1 == x2) {
        addSpan(x1, y1, y2, halfWidth);
        return;
    }
    // The rectangle's corners in order round it.
    const double cornerY[4] = {y1 + ny, y2 + ny, y2 - ny, y1 - ny};
    const double cornerX[4] = {x1 + nx, x2 + nx, x2 - nx, x1 - nx};
    // A rectangle a pixel or more inside the area needs no clipping, also not after
    // rounding; most lines of a curve are such.
    const bool inside = std::min(x1, x2) - std::fabs(nx) >= 1 &&
                        std::max(x1, x2) + std::fabs(nx) <= areaWidth - 1 &&
                        std::min(y1, y2) - std::fabs(ny) >= 1 &&
                        std::max(y1, y2) + std::fabs(ny) <= areaHeight - 1;
    for (int k = 0; k < 4; ++k) {
        const int next = (k + 1) % 4;
        if (inside)
            addEdgeInRows<false>(cornerX[k], cornerY[k], cornerX[next], cornerY[next]);
        else
            addEdge(cornerX[k], cornerY[k], cornerX[next], cornerY[next]);
    }
}

bool SteepLineLayer::addStamp(const QLineF &line, double halfWidth)
{
    // Far-off ends would overflow the conversion; they are never whole pixels inside.
    const double limit = 1 << 24;
    if (!(std::fabs(line.x1()) < limit && std::fabs(line.y1()) < limit &&
          std::fabs(line.x2()) < limit && std::fabs(line.y2()) < limit))
        return false;
    const int x = int(line.x1());
    const int y = int(line.y1());
    const int dx = int(line.x2()) - x;
    const int dy = int(line.y2()) - y;
    if (x != line.x1() || y != line.y1() || x + dx != line.x2() || y + dy != line.y2())
        return false;
    return addStamp(x, y, dx, dy, halfWidth);
}

bool SteepLineLayer::addStamp(int x, int y, int dx, int dy, double halfWidth)
{
    // Longer steps are rare in an envelope and would make many large stamps.
    if (std::abs(dx) > maxStampStep || std::abs(dy) > maxStampStep)
        return false;
    if (dx == 0 && dy == 0)
        return true; // covers nothing, as addLine adds nothing for it
    const int index = (dy + maxStampStep) * stampSpan + dx + maxStampStep;
    Stamp &stamp = stamps[index];
    if (!stamp.made)
        makeStamp(stamp, dx, dy, halfWidth);
    // Inside the area the edges are neither clipped nor held at its first or last row.
    if (x + stamp.left < 0 || x + stamp.right >= areaWidth || y + stamp.top < 0 ||
        y + stamp.bottom > areaHeight)
        return false;
    // x is not negative here (checked above), so the unsigned modulo is a mask.
    const int columnInTile = int(unsigned(x) % tileWidth);
    StampPlacement &placement = stampPlacements[index * tileWidth + columnInTile];
    if (placement.count < 0)
        placeStamp(stamp, columnInTile, placement);
    Q_ASSERT(placementStride == columnStride);
    float *origin = accumulation.data() +
                    (qsizetype(unsigned(x) / tileWidth) * columnStride + y) * tileWidth +
                    columnInTile;
    const StampLanes *lanes = stampLanes.data() + placement.first;
    for (const StampLanes *end = lanes + placement.count; lanes != end; ++lanes)
        addLanes(origin + lanes->offset, lanes->changes);
    int *tops = touchedTop.data();
    int *bottoms = touchedBottom.data();
    const int rowTop = y + stamp.top;
    const int rowBottom = y + stamp.bottom;
    for (int column = x + stamp.left;; column += tileWidth) {
        const int noted = std::min(column, x + stamp.right);
        tops[noted] = std::min(tops[noted], rowTop);
        bottoms[noted] = std::max(bottoms[noted], rowBottom);
        if (noted == x + stamp.right)
            break;
    }
    return true;
}

void SteepLineLayer::placeStamp(const Stamp &stamp, int columnInTile, StampPlacement &placement)
{
    // Cells are counted from the first end's cell; lanes start at a multiple of four
    // cells from the buffer's start, so that a tile's row holds four whole lanes.
    std::map<int, StampLanes> lanes;
    for (int k = 0; k < stamp.offsets.size(); ++k) {
        const int column = columnInTile + stamp.offsets[k].x();
        const int tiles =
            column >= 0 ? column / tileWidth : -((tileWidth - 1 - column) / tileWidth);
        const int inTile = column - tiles * tileWidth;
        const int cell = (tiles * columnStride + stamp.offsets[k].y()) * tileWidth + inTile;
        StampLanes &lane =
            lanes.try_emplace(cell & ~3, StampLanes{(cell & ~3) - columnInTile, {}}).first->second;
        lane.changes[cell & 3] += stamp.changes[k];
    }
    // Appended once per stamp and column in the tile; the list is cleared when the rows
    // per column change, which moves every cell.
    placement.first = int(stampLanes.size());
    placement.count = int(lanes.size());
    for (const auto &lane : lanes)
        stampLanes.push_back(lane.second);
}

void SteepLineLayer::makeStamp(Stamp &stamp, int dx, int dy, double halfWidth)
{
    // The line from a whole pixel at the middle of a small area, drawn edge by edge.
    const int reach = int(std::ceil(halfWidth)) + 2;
    const int centre = maxStampStep + reach;
    // A layer of its own, so that the stamp's buffer starts from zero and the drawing
    // layer's accumulation is not disturbed.
    SteepLineLayer builder;
    builder.prepareArea(2 * centre + 1, 2 * centre + 1);
    builder.addLine(QLineF(centre, centre, centre + dx, centre + dy), halfWidth);
    stamp.left = stamp.top = std::numeric_limits<int>::max();
    stamp.right = stamp.bottom = std::numeric_limits<int>::min();
    for (int column = 0; column < builder.areaWidth; ++column) {
        const int top = builder.touchedTop[column];
        const int bottom = builder.touchedBottom[column];
        if (top > bottom)
            continue;
        const qsizetype first =
            qsizetype(column / tileWidth) * builder.columnStride * tileWidth + column % tileWidth;
        // The stamp keeps plain changes: long runs kept as slopes are spelled out.
        float *columnCells = builder.accumulation.data() + first;
        const float *columnSlopes = builder.slopes.data() + first;
        float slope = 0;
        for (int row = top; row <= bottom; ++row) {
            slope += columnSlopes[row * tileWidth];
            columnCells[row * tileWidth] += slope;
        }
        for (int row = top; row <= bottom; ++row) {
            if (columnCells[row * tileWidth] != 0) {
                stamp.offsets.append(QPoint(column - centre, row - centre));
                stamp.changes.append(columnCells[row * tileWidth]);
            }
        }
        stamp.left = std::min(stamp.left, column - centre);
        stamp.right = std::max(stamp.right, column - centre);
        stamp.top = std::min(stamp.top, top - centre);
        stamp.bottom = std::max(stamp.bottom, bottom - centre);
    }
    stamp.made = true;
}

void SteepLineLayer::addSpan(double x, double y1, double y2, double halfWidth)
{
    // The rectangle's vertical sides change nothing (addEdgeInRows); its sides at y2 and
    // then y1 are added as addEdge would add them, to the same bits, without the work
    // that slanted edges need.
    const double left = x - halfWidth;
    const double right = x + halfWidth;
    if (right <= 0 || left >= areaWidth)
        return;
    const double direction = y2 > y1 ? 1 : -1;
    const double rows[2] = {std::clamp(y2, 0.0, double(areaHeight)),
                            std::clamp(y1, 0.0, double(areaHeight))};
    const int lowIndices[2] = {int(rows[0]), int(rows[1])};
    const double middles[2] = {rows[0] - lowIndices[0], rows[1] - lowIndices[1]};
    const int top = std::min(lowIndices[0], lowIndices[1]);
    const int bottom = std::max(lowIndices[0], lowIndices[1]) + 1;
    // The columns the pen's width covers, clipped to the area.
    const int firstColumn = left <= 0 ? 0 : int(left);
    const int rightColumn = int(right);
    const int endColumn = right >= areaWidth ? areaWidth : rightColumn + (rightColumn < right);
    for (int column = firstColumn; column < endColumn; ++column) {
        const double from = std::max<double>(column, left);
        const double to = std::min<double>(column + 1, right);
        if (!(to > from))
            continue;
        float *cell = accumulation.data() +
                      (qsizetype(column / tileWidth) * columnStride) * tileWidth +
                      column % tileWidth;
        for (int side = 0; side < 2; ++side) {
            const double d = (to - from) * (side == 0 ? direction : -direction);
            cell[lowIndices[side] * tileWidth] += float(d - d * middles[side]);
            cell[(lowIndices[side] + 1) * tileWidth] += float(d * middles[side]);
        }
        touchedTop[column] = std::min(touchedTop[column], top);
        touchedBottom[column] = std::max(touchedBottom[column], bottom);
    }
}

void SteepLineLayer::addEdge(double x0, double y0, double x1, double y1)
{
    // The parts of an edge above the first row or below the last add their whole change
    // to the first or the last cell: they are kept as edges along those borders.
    const double limits[2] = {0, double(areaHeight)};
    for (double limit : limits) {
        if ((y0 < limit) != (y1 < limit) && y0 != limit && y1 != limit) {
            const double x = x0 + (x1 - x0) * (limit - y0) / (y1 - y0);
            addEdge(x0, y0, x, limit);
            addEdge(x, limit, x1, y1);
            return;
        }
    }
    addEdgeInRows<true>(x0, std::clamp(y0, limits[0], limits[1]), x1,
                        std::clamp(y1, limits[0], limits[1]));
}

template <bool clipped>
void SteepLineLayer::addEdgeInRows(double x0, double y0, double x1, double y1)
{
    // The transposed scan: the edge is walked column by column from left to right, the
    // winding's sign kept in direction.
    if (x0 == x1)
        return;
    double direction = 1;
    if (x0 > x1) {
        std::swap(y0, y1);
        std::swap(x0, x1);
        direction = -1;
    }
    if (clipped && (x1 <= 0 || x0 >= areaWidth))
        return;
    // Rows lie in 0..areaHeight here (addEdge), so a conversion to int is their floor;
    // std::floor and std::ceil are calls on the baseline instruction set.
    const auto ceilOfRow = [](double y) {
        const int index = int(y);
        return index + (index < y);
    };
    const double slope = (y1 - y0) / (x1 - x0);
    const int firstColumn = clipped && x0 <= 0 ? 0 : int(x0);
    const int endColumn = clipped && x1 >= areaWidth ? areaWidth : ceilOfRow(x1);
    // cell[row * tileWidth] is the cell of this column in that row; columns are not
    // negative here, so unsigned the tile and the column in it are a shift and a mask.
    float *cell = accumulation.data() +
                  qsizetype(unsigned(firstColumn) / tileWidth) * columnStride * tileWidth +
                  unsigned(firstColumn) % tileWidth;
    const qsizetype nextTile = qsizetype(columnStride) * tileWidth - (tileWidth - 1);
    for (int column = firstColumn; column < endColumn;
         cell += unsigned(column + 1) % tileWidth ? 1 : nextTile, ++column) {
        const double from = std::max<double>(column, x0);
        const double to = std::min<double>(column + 1, x1);
        if (!(to > from))
            continue;
        // The edge crosses this column from row ya to row yb, covering the width d of it;
        // the area right of it (below, in the column's cells) changes by d, spread over the
        // cells it crosses in proportion to where it lies.
        const double d = (to - from) * direction;
        // Rounding must not carry an edge that ends on the first or the last row past it.
        const auto inRows = [&](double y) {
            return clipped ? std::clamp(y, 0.0, double(areaHeight)) : y;
        };
        const double ya = inRows(y0 + (from - x0) * slope);
        const double yb = inRows(y0 + (to - x0) * slope);
        const double low = std::min(ya, yb);
        const double high = std::max(ya, yb);
        const int lowIndex = int(low);
        const double lowFloor = lowIndex;
        const int highIndex = ceilOfRow(high);
        if (highIndex <= lowIndex + 1) {
            // Within one row: the change splits between it and the next at the middle.
            const double middle = 0.5 * (ya + yb) - lowFloor;
            cell[lowIndex * tileWidth] += float(d - d * middle);
            cell[(lowIndex + 1) * tileWidth] += float(d * middle);
            touchedTop[column] = std::min(touchedTop[column], lowIndex);
            touchedBottom[column] = std::max(touchedBottom[column], lowIndex + 1);
            continue;
        }
        // Across rows: triangles at the two ends, equal steps of s between them.
        const double s = 1 / (high - low);
        const double lowFraction = low - lowFloor;
        const double firstArea = 0.5 * s * (1 - lowFraction) * (1 - lowFraction);
        const double highFraction = high - highIndex + 1;
        const double lastArea = 0.5 * s * highFraction * highFraction;
        cell[lowIndex * tileWidth] += float(d * firstArea);
        if (highIndex == lowIndex + 2) {
            cell[(lowIndex + 1) * tileWidth] += float(d * (1 - firstArea - lastArea));
        } else {
            const double secondArea = s * (1.5 - lowFraction);
            cell[(lowIndex + 1) * tileWidth] += float(d * (secondArea - firstArea));
            const float step = float(d * s);
            const int runFirst = lowIndex + 2;
            const int runEnd = highIndex - 1;
            if (runEnd - runFirst >= slopeRun) {
                // A long run of equal changes is kept as a change of the change at its two
                // ends, which the scan sums out row by row.
                float *slopeCell = slopes.data() + (cell - accumulation.data());
                slopeCell[runFirst * tileWidth] += step;
                slopeCell[runEnd * tileWidth] -= step;
                tileHasSlopes[column / tileWidth] = true;
            } else {
                for (int index = runFirst; index < runEnd; ++index)
                    cell[index * tileWidth] += step;
            }
            const double beforeLast = secondArea + (highIndex - lowIndex - 3) * s;
            cell[(highIndex - 1) * tileWidth] += float(d * (1 - beforeLast - lastArea));
        }
        cell[highIndex * tileWidth] += float(d * lastArea);
        touchedTop[column] = std::min(touchedTop[column], lowIndex);
        touchedBottom[column] = std::max(touchedBottom[column], highIndex);
    }
}

qint64 SteepLineLayer::byteSize() const
{
    qint64 stampBytes = stamps.capacity() * qint64(sizeof(Stamp)) +
                        stampPlacements.capacity() * qint64(sizeof(StampPlacement)) +
                        stampLanes.capacity() * qint64(sizeof(StampLanes));
    for (const Stamp &stamp : stamps)
        stampBytes += stamp.offsets.capacity() * qint64(sizeof(QPoint)) +
                      stamp.changes.capacity() * qint64(sizeof(float));
    return layer.sizeInBytes() +
           (accumulation.capacity() + slopes.capacity()) * qint64(sizeof(float)) +
           tileHasSlopes.capacity() +
           (touchedTop.capacity() + touchedBottom.capacity() + layerTop.capacity() +
            layerBottom.capacity()) *
               qint64(sizeof(int)) +
           stampBytes;
}
