#ifndef STEEPLINELAYER_H
#define STEEPLINELAYER_H

#include <QImage>
#include <QLine>
#include <QLineF>
#include <QRgb>
#include <QVector>

#include <utility>
#include <vector>

class QPainter;
class QPen;
class QRect;

// Draws antialiased wide line segments of one colour, as the segments of a dense curve
// are: mostly steep (each column's vertical extent and the short joins between
// neighbouring columns).
//
// Each segment is the rectangle its flat-capped pen covers, and the rectangle's edges are
// rasterized by exact area coverage into an accumulation buffer of signed area, the method
// of the scanline rasterizers of font engines and of Qt's own antialiasing, with one
// change: the scan is transposed. The buffer is stored by column, each edge is walked
// column by column, and the prefix sum that turns the signed area changes into coverage
// runs down each column instead of along each row. A steep segment, which a row scan
// meets once per row it crosses, so costs one accumulation per row, and a vertical span
// only a few at its two ends. The prefix sums then give each pixel's coverage, which
// becomes the pen's colour in a layer drawn with one drawImage.
//
// The buffer is laid out in tiles of 16 columns, a row of a tile after the other, so that
// the prefix sums run over a tile's columns side by side and write one short row of the
// layer each. A long run of equal changes down a column (an edge crossing many rows) is
// kept as a change of the change in a second buffer of slopes, whose prefix sum is added
// to the changes as they are summed. Short segments between whole pixels, most of an
// envelope's, are added from stamps: their accumulation made once per step, then added at
// each place.
//
// Coverage where segments overlap is summed and capped at full, where Qt composes the
// segments one over the other; the two differ only at partially covered pixels that two
// segments share. A NaN coverage counts as none.
//
// The vector code (SSE2 with the compilers' vector types) has a plain C++ twin that gives
// the same pixels; defining QUVA_PLOT_SCALAR, or a compiler or processor without them,
// selects it.
class SteepLineLayer
{
public:
    // Draws lines, and pixelLines between whole pixels, with pen inside clip, as
    // painter.drawLines would. Pens other than a solid, opaque, flat-capped one, and
    // painters that do not map to device pixels at ratio 1 or 2 (layerscale.h), are drawn
    // by Qt.
    void drawLines(QPainter &painter, const QVector<QLineF> &lines, const QPen &pen,
                   const QRect &clip, const QVector<QLine> &pixelLines = {});
    // Memory held between calls, in bytes.
    qint64 byteSize() const;

private:
    // Sizes the buffers for an area of width x height pixels.
    void prepareArea(int width, int height);
    // Accumulates every line, in pixels of the area whose top left is origin, with the
    // lines' coordinates scaled by scale first.
    void accumulateLines(const QVector<QLineF> &lines, const QVector<QLine> &pixelLines,
                         const QPoint &origin, int scale, double halfWidth);
    template <int scale>
    void accumulateScaledLines(const QVector<QLineF> &lines, const QVector<QLine> &pixelLines,
                               const QPoint &origin, double halfWidth);
    // Sums the accumulation down the columns into the layer's pixels, leaving the buffers
    // zero; returns the number of layer pixels coloured by tiles' rows.
    qint64 scanTiles();
    // Lays the layer's rows that the scan coloured over painter at area.
    void drawLayer(QPainter &painter, const QRect &area, int scale, qint64 colouredPixels);
    // Adds the rectangle a flat-capped pen of halfWidth covers along line, given in
    // pixels of the area.
    void addLine(const QLineF &line, double halfWidth);
    // Adds the edge from (x0, y0) to (x1, y1) of a polygon's outline, in pixels of the area.
    void addEdge(double x0, double y0, double x1, double y1);
    // The same for an edge within rows 0..areaHeight; unless clipped, also within the
    // columns and a pixel away from the first and the last row.
    template <bool clipped> void addEdgeInRows(double x0, double y0, double x1, double y1);
    // Adds the rectangle of a vertical line at column x from row y1 to row y2.
    void addSpan(double x, double y1, double y2, double halfWidth);
    // Adds a line between whole pixels of the area from its step's stamp, if the step is
    // short and the line well inside; false if it was not added.
    bool addStamp(int x, int y, int dx, int dy, double halfWidth);
    // The same for a line that may or may not be one between whole pixels.
    bool addStamp(const QLineF &line, double halfWidth);
    // Whether the buffers are zero and the layer transparent outside the rows noted as
    // coloured: the state between calls.
    bool clearBetweenCalls() const;

    // The accumulation a line between whole pixels adds depends only on the step from its
    // first end to its second: made once per step from the line's edges, it is added at
    // the line's place. Where a cell lies in memory from the first end's cell depends on
    // the first end's column in its tile and on the rows per column, so the cells are also
    // kept per column in the tile, as lanes of four neighbouring cells of a tile's row
    // added as one vector, for one count of rows per column, all in one list that the
    // lines read straight through.
    struct Stamp {
        bool made = false;
        int left;
        int right;
        int top;
        int bottom;
        // Column and row from the first end, and change, of each cell that changes.
        QVector<QPoint> offsets;
        QVector<float> changes;
    };
    struct StampLanes {
        int offset;
        float changes[4];
    };
    // A stamp's lanes at one column in the tile (count < 0: not yet placed).
    struct StampPlacement {
        int first = 0;
        int count = -1;
    };
    void makeStamp(Stamp &stamp, int dx, int dy, double halfWidth);
    void placeStamp(const Stamp &stamp, int columnInTile, StampPlacement &placement);
    std::vector<Stamp> stamps;
    // Per stamp and column in the tile, for rows per column of placementStride.
    std::vector<StampPlacement> stampPlacements;
    std::vector<StampLanes> stampLanes;
    int placementStride = -1;
    double stampHalfWidth = 0;

    int areaWidth = 0;
    int areaHeight = 0;
    // The accumulation buffer: per column of the area, columnStride (at least areaHeight
    // + 2) cells of signed area change down the column, in tiles (steeplinelayer.cpp);
    // all zero between calls. The rows per column only grow, so that the stamps' offsets
    // stay valid from one call to the next.
    std::vector<float> accumulation;
    // The same for changes of the change, which long runs down a column use; all zero
    // between calls, and per tile whether it has any.
    std::vector<float> slopes;
    std::vector<quint8> tileHasSlopes;
    int columnStride = 0;
    // Per column, the rows of the buffers written (top > bottom: none). Stamps note theirs
    // at one column of each tile they reach: only tiles' rows are looked at.
    std::vector<int> touchedTop;
    std::vector<int> touchedBottom;
    // The layer, kept between calls; per tile of its columns, the rows coloured by earlier
    // calls (top > bottom: none), transparent elsewhere.
    QImage layer;
    QVector<int> layerTop;
    QVector<int> layerBottom;
    // Scratch of a call: per tile, the rows coloured now (top > bottom: none).
    std::vector<std::pair<int, int>> tileRows;
    // The pen's colour, premultiplied, at each coverage of 0..255.
    QRgb colourAtCoverage[256] = {};
};

#endif
