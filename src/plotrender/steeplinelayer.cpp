#include "steeplinelayer.h"

#include <QPainter>
#include <QPen>
#include <QRect>

#if defined(__SSE2__)
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

// Columns turned into layer rows together: one row of a group is one short contiguous
// write, its cells are read down a few columns at a time.
const int groupWidth = 16;
// Runs of at least this many rows of one steep edge in a column are noted as rates.
const int rateRun = 8;
// Four lanes of a vector register (SSE2, NEON); the coverage pass works on these.
using Floats = float __attribute__((vector_size(16)));
using Ints = qint32 __attribute__((vector_size(16)));
using Shorts = quint16 __attribute__((vector_size(16)));

// The coverage of eight pixels, 0 to 255, from the magnitudes of their sums (full from
// 1 up). Eight lanes of 16 bits are read out one instruction each.
Shorts coverageOf(Floats low, Floats high)
{
#if defined(__SSE2__)
    // Converted, packed and held in 0..255 with saturation, which generic vectors lack.
    const __m128i packed = _mm_packs_epi32(_mm_cvttps_epi32(low * 255 + 0.5f),
                                           _mm_cvttps_epi32(high * 255 + 0.5f));
    return Shorts(_mm_max_epi16(_mm_min_epi16(packed, _mm_set1_epi16(255)), _mm_setzero_si128()));
#else
    const Floats one = {1, 1, 1, 1};
    using HalfShorts = quint16 __attribute__((vector_size(8)));
    const auto quarter = [&](Floats magnitude) {
        return __builtin_convertvector(
            __builtin_convertvector((magnitude < one ? magnitude : one) * 255 + 0.5f, Ints),
            HalfShorts);
    };
    return __builtin_shufflevector(quarter(low), quarter(high), 0, 1, 2, 3, 4, 5, 6, 7);
#endif
}

// Lines of up to this many pixels each way between whole pixels are stamped.
const int maxStampStep = 15;
const int stampSpan = 2 * maxStampStep + 1;

bool drawnHere(const QPainter &painter, const QPen &pen)
{
    // The layer is drawn at one layer pixel per device pixel, moved by whole pixels at
    // most (a widget inside its window); scaled (high DPI, a picture saved at another
    // pixel ratio) or turned, Qt draws.
    const QTransform device = painter.deviceTransform();
    return painter.device()->devicePixelRatioF() == 1 && device.type() <= QTransform::TxTranslate &&
           device.dx() == std::floor(device.dx()) && device.dy() == std::floor(device.dy()) &&
           pen.capStyle() == Qt::FlatCap && pen.style() == Qt::SolidLine &&
           pen.brush().style() == Qt::SolidPattern && pen.color().alpha() == 255 &&
           pen.widthF() > 0 && painter.compositionMode() == QPainter::CompositionMode_SourceOver;
}

} // namespace

void SteepLineLayer::drawLines(QPainter &painter, const QVector<QLineF> &lines, const QPen &pen,
                               const QRect &clip, const QVector<QLine> &pixelLines)
{
    if (lines.isEmpty() && pixelLines.isEmpty())
        return;
    if (!drawnHere(painter, pen)) {
        painter.save();
        painter.setPen(pen);
        painter.drawLines(lines);
        painter.drawLines(pixelLines);
        painter.restore();
        return;
    }

    // Everything a line's pen can touch lies within reach of the line.
    const double halfWidth = pen.widthF() / 2;
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
    const QRect area = QRect(QPoint(int(std::floor(std::max(left - reach, -1e9))),
                                    int(std::floor(std::max(top - reach, -1e9)))),
                             QPoint(int(std::ceil(std::min(right + reach, 1e9))),
                                    int(std::ceil(std::min(bottom + reach, 1e9))))) &
                       clip;
    if (area.isEmpty())
        return;
    prepareArea(area.width(), area.height());
    const QRgb colour = pen.color().rgb();
    if (colourAtCoverage[255] != qPremultiply(colour | 0xff000000)) {
        for (int coverage = 0; coverage < 256; ++coverage)
            colourAtCoverage[coverage] =
                qPremultiply(qRgba(qRed(colour), qGreen(colour), qBlue(colour), coverage));
    }

    // Each line is the rectangle its flat-capped pen covers.
    const QPointF origin = area.topLeft();
    if (stampHalfWidth != halfWidth || stamps.empty()) {
        stamps.assign(stampSpan * stampSpan, Stamp());
        stampHalfWidth = halfWidth;
        placedStride = -1;
    }
    if (placedStride != cellStride) {
        placedStamps.assign(stamps.size() * groupWidth, PlacedStamp());
        placedQuads.clear();
        placedStride = cellStride;
    }
    for (const QLineF &line : lines) {
        const QLineF inArea = line.translated(-origin);
        if (!addStamp(inArea, halfWidth))
            addLine(inArea, halfWidth);
    }
    for (const QLine &line : pixelLines) {
        const int x = line.x1() - area.left();
        const int y = line.y1() - area.top();
        if (!addStamp(x, y, line.dx(), line.dy(), halfWidth))
            addLine(QLineF(line).translated(-origin), halfWidth);
    }

    // Whole groups of columns are written, also in the last one.
    const int groupCount = (areaWidth + groupWidth - 1) / groupWidth;
    if (upright.width() < groupCount * groupWidth || upright.height() < areaHeight) {
        upright = QImage(QSize(std::max(groupCount * groupWidth, upright.width()),
                               std::max(areaHeight, upright.height())),
                         QImage::Format_ARGB32_Premultiplied);
        upright.fill(Qt::transparent);
        const int layerGroups = upright.width() / groupWidth;
        colouredTop.fill(upright.height(), layerGroups);
        colouredBottom.fill(-1, layerGroups);
    }

    // Sum the cells down each column into coverage, group by group, leaving them zero.
    // Rows a group coloured in an earlier call and not now are cleared here, which spares
    // clearing the whole picture after each call.
    paintedRows.resize(groupCount);
    qint64 paintedPixels = 0;
    uchar *target = upright.bits();
    const qsizetype targetStride = upright.bytesPerLine();
    for (int groupIndex = 0; groupIndex < groupCount; ++groupIndex) {
        const int group = groupIndex * groupWidth;
        int groupTop = cellStride;
        int groupBottom = -1;
        for (int column = group; column < std::min(areaWidth, group + groupWidth); ++column) {
            groupTop = std::min(groupTop, columnTop[column]);
            groupBottom = std::max(groupBottom, columnBottom[column]);
        }
        const int lastInside = std::min(groupBottom, areaHeight - 1);
        paintedRows[groupIndex] = {groupTop, lastInside};
        paintedPixels += std::max(0, lastInside - groupTop + 1) * groupWidth;
        int &colouredFrom = colouredTop[groupIndex];
        int &colouredTo = colouredBottom[groupIndex];
        const auto clearRows = [&](int from, int to) {
            for (int row = from; row <= to; ++row)
                std::memset(target + row * targetStride + group * sizeof(QRgb), 0,
                            groupWidth * sizeof(QRgb));
        };
        clearRows(colouredFrom, std::min(groupTop, areaHeight) - 1);
        clearRows(std::max(colouredFrom, lastInside + 1), std::min(colouredTo, areaHeight - 1));
        // Rows beyond this area keep what they had.
        const bool keptBelow = colouredTo >= areaHeight;
        colouredFrom = keptBelow ? std::min(groupTop, areaHeight) : groupTop;
        colouredTo = keptBelow ? colouredTo : lastInside;

        float *groupCells = cells.data() + qsizetype(groupIndex) * cellStride * groupWidth;
        float *groupRates = rates.data() + qsizetype(groupIndex) * cellStride * groupWidth;
        const auto sumRows = [&](auto withRates) {
            Floats sum[groupWidth / 4] = {};
            Floats rate[groupWidth / 4] = {};
            for (int row = groupTop; row <= lastInside; ++row) {
                float *rowCells = groupCells + row * groupWidth;
                float *rowRates = groupRates + row * groupWidth;
                QRgb *targetRow = reinterpret_cast<QRgb *>(target + row * targetStride) + group;
                Floats magnitude[groupWidth / 4];
                for (int quarter = 0; quarter < groupWidth / 4; ++quarter) {
                    Floats change;
                    std::memcpy(&change, rowCells + 4 * quarter, sizeof change);
                    if constexpr (decltype(withRates)::value) {
                        Floats rateChange;
                        std::memcpy(&rateChange, rowRates + 4 * quarter, sizeof rateChange);
                        rate[quarter] += rateChange;
                        change += rate[quarter];
                    }
                    sum[quarter] += change;
                    // The sign bit cleared.
                    magnitude[quarter] = (Floats)((Ints)sum[quarter] & 0x7fffffff);
                }
                std::memset(rowCells, 0, groupWidth * sizeof(float));
                if constexpr (decltype(withRates)::value)
                    std::memset(rowRates, 0, groupWidth * sizeof(float));
                for (int half = 0; half < groupWidth / 8; ++half) {
                    const Shorts coverage =
                        coverageOf(magnitude[2 * half], magnitude[2 * half + 1]);
                    for (int k = 0; k < 8; ++k)
                        targetRow[8 * half + k] = colourAtCoverage[coverage[k]];
                }
            }
        };
        if (ratedGroups[groupIndex])
            sumRows(std::true_type());
        else
            sumRows(std::false_type());
        ratedGroups[groupIndex] = false;
        // Rows below the area take the changes of edges clipped at its last row.
        for (int row = std::max(groupTop, areaHeight); row <= groupBottom; ++row)
            std::memset(groupCells + row * groupWidth, 0, groupWidth * sizeof(float));
    }
    // Qt blends every pixel it is given. Where the lines colour few rows of each group of
    // columns (a curve across the area), only those rows are laid over the picture; the
    // other rows of the area are transparent.
    if (paintedPixels * 4 > qint64(areaWidth) * areaHeight) {
        painter.drawImage(area.topLeft(), upright, QRect(0, 0, areaWidth, areaHeight));
        return;
    }
    for (int groupIndex = 0; groupIndex < groupCount; ++groupIndex) {
        const int group = groupIndex * groupWidth;
        const auto [top, bottom] = paintedRows[groupIndex];
        if (top <= bottom)
            painter.drawImage(area.topLeft() + QPoint(group, top), upright,
                              QRect(group, top, std::min(groupWidth, areaWidth - group),
                                    bottom - top + 1));
    }
}

void SteepLineLayer::prepareArea(int width, int height)
{
    areaWidth = width;
    areaHeight = height;
    // The rows per column only grow, so that the stamps' offsets stay valid from one
    // call to the next (the bands of a plot differ in height by a row or two).
    cellStride = std::max(cellStride, areaHeight + 2);
    const qsizetype cellCount =
        qsizetype((areaWidth + groupWidth - 1) / groupWidth) * groupWidth * cellStride;
    // Grown to the size needed, not by a factor, so that the memory kept stays at what
    // the largest area needs.
    if (qsizetype(cells.size()) < cellCount) {
        cells.reserve(cellCount);
        cells.resize(cellCount);
        rates.reserve(cellCount);
        rates.resize(cellCount);
    }
    ratedGroups.resize((areaWidth + groupWidth - 1) / groupWidth);
    columnTop.assign(areaWidth, cellStride);
    columnBottom.assign(areaWidth, -1);
}

void SteepLineLayer::addLine(const QLineF &line, double halfWidth)
{
    const double length = std::sqrt(line.dx() * line.dx() + line.dy() * line.dy());
    if (!(length > 0))
        return;
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
    // The rectangle's corners in order round it, as rows u and columns v.
    const double u[4] = {y1 + ny, y2 + ny, y2 - ny, y1 - ny};
    const double v[4] = {x1 + nx, x2 + nx, x2 - nx, x1 - nx};
    // A rectangle a pixel or more inside the area needs no clipping, also not after
    // rounding; most lines of a curve are such.
    const bool inside = std::min(x1, x2) - std::fabs(nx) >= 1 &&
                        std::max(x1, x2) + std::fabs(nx) <= areaWidth - 1 &&
                        std::min(y1, y2) - std::fabs(ny) >= 1 &&
                        std::max(y1, y2) + std::fabs(ny) <= areaHeight - 1;
    for (int k = 0; k < 4; ++k) {
        const int next = (k + 1) % 4;
        if (inside)
            addEdgeInRows<false>(u[k], v[k], u[next], v[next]);
        else
            addEdge(u[k], v[k], u[next], v[next]);
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
    const int place = int(unsigned(x) % groupWidth);
    PlacedStamp &placed = placedStamps[index * groupWidth + place];
    if (placed.count < 0)
        placeStamp(stamp, place, placed);
    float *origin =
        cells.data() + (qsizetype(unsigned(x) / groupWidth) * cellStride + y) * groupWidth + place;
    const StampQuad *quad = placedQuads.data() + placed.first;
    for (const StampQuad *end = quad + placed.count; quad != end; ++quad) {
        float *target = origin + quad->offset;
        Floats sum;
        Floats values;
        std::memcpy(&sum, target, sizeof sum);
        std::memcpy(&values, quad->values, sizeof values);
        sum += values;
        std::memcpy(target, &sum, sizeof sum);
    }
    // The rows reached are only looked at per group of columns: the stamp's rows are
    // noted at one column of each group it reaches.
    int *tops = columnTop.data();
    int *bottoms = columnBottom.data();
    const int rowTop = y + stamp.top;
    const int rowBottom = y + stamp.bottom;
    for (int column = x + stamp.left;; column += groupWidth) {
        const int noted = std::min(column, x + stamp.right);
        tops[noted] = std::min(tops[noted], rowTop);
        bottoms[noted] = std::max(bottoms[noted], rowBottom);
        if (noted == x + stamp.right)
            break;
    }
    return true;
}

void SteepLineLayer::placeStamp(const Stamp &stamp, int place, PlacedStamp &placed)
{
    // Cells are counted from the first end's cell, quads start at a multiple of four
    // cells from the cells' start.
    std::map<int, StampQuad> quads;
    for (int k = 0; k < stamp.places.size(); ++k) {
        const int column = place + stamp.places[k].x();
        const int groups =
            column >= 0 ? column / groupWidth : -((groupWidth - 1 - column) / groupWidth);
        const int inGroup = column - groups * groupWidth;
        const int cell = (groups * cellStride + stamp.places[k].y()) * groupWidth + inGroup;
        StampQuad &quad = quads.try_emplace(cell & ~3, StampQuad{(cell & ~3) - place, {}})
                              .first->second;
        quad.values[cell & 3] += stamp.values[k];
    }
    placed.first = int(placedQuads.size());
    placed.count = int(quads.size());
    for (const auto &quad : quads)
        placedQuads.push_back(quad.second);
}

void SteepLineLayer::makeStamp(Stamp &stamp, int dx, int dy, double halfWidth)
{
    // The line from a whole pixel at the middle of a small area, drawn edge by edge.
    const int reach = int(std::ceil(halfWidth)) + 2;
    const int centre = maxStampStep + reach;
    SteepLineLayer builder;
    builder.prepareArea(2 * centre + 1, 2 * centre + 1);
    builder.addLine(QLineF(centre, centre, centre + dx, centre + dy), halfWidth);
    stamp.left = stamp.top = std::numeric_limits<int>::max();
    stamp.right = stamp.bottom = std::numeric_limits<int>::min();
    for (int column = 0; column < builder.areaWidth; ++column) {
        const int top = builder.columnTop[column];
        const int bottom = builder.columnBottom[column];
        if (top > bottom)
            continue;
        const qsizetype first =
            qsizetype(column / groupWidth) * builder.cellStride * groupWidth + column % groupWidth;
        // The stamp keeps plain changes: long runs noted as rates are spelled out.
        float *rowCells = builder.cells.data() + first;
        const float *rowRates = builder.rates.data() + first;
        float rate = 0;
        for (int row = top; row <= bottom; ++row) {
            rate += rowRates[row * groupWidth];
            rowCells[row * groupWidth] += rate;
        }
        const float *cell = rowCells;
        for (int row = top; row <= bottom; ++row) {
            if (cell[row * groupWidth] != 0) {
                stamp.places.append(QPoint(column - centre, row - centre));
                stamp.values.append(cell[row * groupWidth]);
            }
        }
        stamp.left = std::min(stamp.left, column - centre);
        stamp.right = std::max(stamp.right, column - centre);
        stamp.top = std::min(stamp.top, top - centre);
        stamp.bottom = std::max(stamp.bottom, bottom - centre);
    }
    stamp.made = true;
}

void SteepLineLayer::addSpan(double x, double u1, double u2, double halfWidth)
{
    // The rectangle's upright sides change nothing (addEdgeInRows); its sides at u2 and
    // then u1 are added as addEdge would add them, to the same bits, without the work
    // that slanted edges need.
    const double left = x - halfWidth;
    const double right = x + halfWidth;
    if (right <= 0 || left >= areaWidth)
        return;
    const double direction = u2 > u1 ? 1 : -1;
    const double rows[2] = {std::clamp(u2, 0.0, double(areaHeight)),
                            std::clamp(u1, 0.0, double(areaHeight))};
    const int lowIndices[2] = {int(rows[0]), int(rows[1])};
    const double middles[2] = {rows[0] - lowIndices[0], rows[1] - lowIndices[1]};
    const int top = std::min(lowIndices[0], lowIndices[1]);
    const int bottom = std::max(lowIndices[0], lowIndices[1]) + 1;
    const int firstColumn = left <= 0 ? 0 : int(left);
    const int rightColumn = int(right);
    const int endColumn = right >= areaWidth ? areaWidth : rightColumn + (rightColumn < right);
    for (int column = firstColumn; column < endColumn; ++column) {
        const double from = std::max<double>(column, left);
        const double to = std::min<double>(column + 1, right);
        if (!(to > from))
            continue;
        float *cell = cells.data() + (qsizetype(column / groupWidth) * cellStride) * groupWidth +
                      column % groupWidth;
        for (int side = 0; side < 2; ++side) {
            const double d = (to - from) * (side == 0 ? direction : -direction);
            cell[lowIndices[side] * groupWidth] += float(d - d * middles[side]);
            cell[(lowIndices[side] + 1) * groupWidth] += float(d * middles[side]);
        }
        columnTop[column] = std::min(columnTop[column], top);
        columnBottom[column] = std::max(columnBottom[column], bottom);
    }
}

void SteepLineLayer::addEdge(double u0, double v0, double u1, double v1)
{
    // The parts of an edge above the first row or below the last add their whole change
    // to the first or the last cell: they are kept as edges along those borders.
    const double limits[2] = {0, double(areaHeight)};
    for (double limit : limits) {
        if ((u0 < limit) != (u1 < limit) && u0 != limit && u1 != limit) {
            const double v = v0 + (v1 - v0) * (limit - u0) / (u1 - u0);
            addEdge(u0, v0, limit, v);
            addEdge(limit, v, u1, v1);
            return;
        }
    }
    addEdgeInRows<true>(std::clamp(u0, limits[0], limits[1]), v0,
                        std::clamp(u1, limits[0], limits[1]), v1);
}

template <bool clipped>
void SteepLineLayer::addEdgeInRows(double u0, double v0, double u1, double v1)
{
    if (v0 == v1)
        return;
    double direction = 1;
    if (v0 > v1) {
        std::swap(u0, u1);
        std::swap(v0, v1);
        direction = -1;
    }
    if (clipped && (v1 <= 0 || v0 >= areaWidth))
        return;
    // Rows lie in 0..areaHeight here (addEdge), so a conversion to int is their floor;
    // std::floor and std::ceil are calls on the baseline instruction set.
    const auto ceilOfRow = [](double u) {
        const int index = int(u);
        return index + (index < u);
    };
    const double slope = (u1 - u0) / (v1 - v0);
    const int firstColumn = clipped && v0 <= 0 ? 0 : int(v0);
    const int endColumn = clipped && v1 >= areaWidth ? areaWidth : ceilOfRow(v1);
    // cell[index * groupWidth] is the cell of this column in row index; columns are not
    // negative here, so unsigned the group and the place in it are a shift and a mask.
    float *cell = cells.data() +
                  qsizetype(unsigned(firstColumn) / groupWidth) * cellStride * groupWidth +
                  unsigned(firstColumn) % groupWidth;
    const qsizetype nextGroup = qsizetype(cellStride) * groupWidth - (groupWidth - 1);
    for (int column = firstColumn; column < endColumn;
         cell += unsigned(column + 1) % groupWidth ? 1 : nextGroup, ++column) {
        const double from = std::max<double>(column, v0);
        const double to = std::min<double>(column + 1, v1);
        if (!(to > from))
            continue;
        // The edge crosses this column from row ua to row ub, covering the height d of it;
        // the area right of it (below, in the column's cells) changes by d, spread over the
        // cells it crosses in proportion to where it lies.
        const double d = (to - from) * direction;
        // Rounding must not carry an edge that ends on the first or the last row past it.
        const auto inRows = [&](double u) {
            return clipped ? std::clamp(u, 0.0, double(areaHeight)) : u;
        };
        const double ua = inRows(u0 + (from - v0) * slope);
        const double ub = inRows(u0 + (to - v0) * slope);
        const double low = std::min(ua, ub);
        const double high = std::max(ua, ub);
        const int lowIndex = int(low);
        const double lowFloor = lowIndex;
        const int highIndex = ceilOfRow(high);
        if (highIndex <= lowIndex + 1) {
            const double middle = 0.5 * (ua + ub) - lowFloor;
            cell[lowIndex * groupWidth] += float(d - d * middle);
            cell[(lowIndex + 1) * groupWidth] += float(d * middle);
            columnTop[column] = std::min(columnTop[column], lowIndex);
            columnBottom[column] = std::max(columnBottom[column], lowIndex + 1);
            continue;
        }
        const double s = 1 / (high - low);
        const double lowFraction = low - lowFloor;
        const double firstArea = 0.5 * s * (1 - lowFraction) * (1 - lowFraction);
        const double highFraction = high - highIndex + 1;
        const double lastArea = 0.5 * s * highFraction * highFraction;
        cell[lowIndex * groupWidth] += float(d * firstArea);
        if (highIndex == lowIndex + 2) {
            cell[(lowIndex + 1) * groupWidth] += float(d * (1 - firstArea - lastArea));
        } else {
            const double secondArea = s * (1.5 - lowFraction);
            cell[(lowIndex + 1) * groupWidth] += float(d * (secondArea - firstArea));
            const float step = float(d * s);
            const int runFirst = lowIndex + 2;
            const int runEnd = highIndex - 1;
            if (runEnd - runFirst >= rateRun) {
                // A long run of equal changes is noted as a change of the change at its
                // two ends, which the coverage pass sums out row by row.
                float *rate = rates.data() + (cell - cells.data());
                rate[runFirst * groupWidth] += step;
                rate[runEnd * groupWidth] -= step;
                ratedGroups[column / groupWidth] = true;
            } else {
                for (int index = runFirst; index < runEnd; ++index)
                    cell[index * groupWidth] += step;
            }
            const double beforeLast = secondArea + (highIndex - lowIndex - 3) * s;
            cell[(highIndex - 1) * groupWidth] += float(d * (1 - beforeLast - lastArea));
        }
        cell[highIndex * groupWidth] += float(d * lastArea);
        columnTop[column] = std::min(columnTop[column], lowIndex);
        columnBottom[column] = std::max(columnBottom[column], highIndex);
    }
}

qint64 SteepLineLayer::byteSize() const
{
    qint64 stampBytes = stamps.capacity() * qint64(sizeof(Stamp)) +
                        placedStamps.capacity() * qint64(sizeof(PlacedStamp)) +
                        placedQuads.capacity() * qint64(sizeof(StampQuad));
    for (const Stamp &stamp : stamps)
        stampBytes += stamp.places.capacity() * qint64(sizeof(QPoint)) +
                      stamp.values.capacity() * qint64(sizeof(float));
    return upright.sizeInBytes() + (cells.capacity() + rates.capacity()) * qint64(sizeof(float)) +
           ratedGroups.capacity() +
           (columnTop.capacity() + columnBottom.capacity() + colouredTop.capacity() +
            colouredBottom.capacity()) *
               qint64(sizeof(int)) +
           stampBytes;
}
