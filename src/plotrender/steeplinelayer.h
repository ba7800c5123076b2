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
// neighbouring columns). Qt fills a steep segment one span per row it crosses. Here each
// segment's outline adds its signed area to a buffer of the pixel columns (the exact
// area coverage of a polygon, as FreeType's and Qt's antialiasing rasterizers compute
// it, scanned down the columns instead of along the rows): a vertical span costs a few
// writes at its two ends, a steep segment one write per row. A running sum down each
// column then gives every pixel's coverage, which becomes the curve's colour in a layer
// drawn with one drawImage. Coverage where segments overlap is summed and capped at
// full, where Qt composes the segments one over the other; the two differ only at
// partially covered pixels that two segments share.
class SteepLineLayer
{
public:
    // Draws lines, and pixelLines between whole pixels, with pen inside clip, as
    // painter.drawLines would. Pens other than a solid, opaque, flat-capped one are
    // drawn by Qt.
    void drawLines(QPainter &painter, const QVector<QLineF> &lines, const QPen &pen,
                   const QRect &clip, const QVector<QLine> &pixelLines = {});
    // Memory held between calls, in bytes.
    qint64 byteSize() const;

private:
    // Sizes the cells for an area of width x height pixels.
    void prepareArea(int width, int height);
    // Adds the rectangle a flat-capped pen of halfWidth covers along line, given in
    // pixels of the drawn area.
    void addLine(const QLineF &line, double halfWidth);
    // Adds the edge from (u0, v0) to (u1, v1) of a polygon's outline; u is the row, v the
    // column, both in pixels of the drawn area.
    void addEdge(double u0, double v0, double u1, double v1);
    // The same for an edge within rows 0..areaHeight; unless clipped, also within the
    // columns and a pixel away from the first and the last row.
    template <bool clipped> void addEdgeInRows(double u0, double v0, double u1, double v1);
    // Adds the rectangle of an upright line at column x from row u1 to row u2.
    void addSpan(double x, double u1, double u2, double halfWidth);
    // Adds a line between whole pixels of the area from its step's stamp, if the step is
    // short and the line well inside; false if it was not added.
    bool addStamp(int x, int y, int dx, int dy, double halfWidth);
    // The same for a line that may or may not be one between whole pixels.
    bool addStamp(const QLineF &line, double halfWidth);

    // The cells a line between whole pixels adds depend only on the step from its first
    // end to its second: made once per step from the line's edges, they are added at the
    // line's place. Where a cell lies in memory from the first end's cell depends on the
    // first end's place in its group of columns and on the rows per column, so the cells
    // are also kept per place in the group, as offsets for one count of rows: four
    // neighbouring cells of a row of the group at a time, added as one vector, all in one
    // list that the lines read straight through.
    struct Stamp {
        bool made = false;
        int left;
        int right;
        int top;
        int bottom;
        // Column and row from the first end, and value, of each cell that changes
        // something.
        QVector<QPoint> places;
        QVector<float> values;
    };
    struct StampQuad {
        int offset;
        float values[4];
    };
    // A stamp's quads at one place in the group of columns (count < 0: not yet placed).
    struct PlacedStamp {
        int first = 0;
        int count = -1;
    };
    void makeStamp(Stamp &stamp, int dx, int dy, double halfWidth);
    void placeStamp(const Stamp &stamp, int place, PlacedStamp &placed);
    std::vector<Stamp> stamps;
    // Per stamp and place in the group of columns, for rows per column of placedStride.
    std::vector<PlacedStamp> placedStamps;
    std::vector<StampQuad> placedQuads;
    int placedStride = -1;
    double stampHalfWidth = 0;

    int areaWidth = 0;
    int areaHeight = 0;
    // Per column of the drawn area, cellStride (at least areaHeight + 2) cells of coverage
    // change down the column, stored a row of a group of columns after the other
    // (steeplinelayer.cpp); all zero between calls.
    std::vector<float> cells;
    // The same for changes of the change, which long steep runs use; all zero between
    // calls, and per group of columns whether it has any.
    std::vector<float> rates;
    std::vector<quint8> ratedGroups;
    int cellStride = 0;
    // Per column, the cells written (top > bottom: none).
    std::vector<int> columnTop;
    std::vector<int> columnBottom;
    // Per group of columns of the layer, the rows coloured by earlier calls (top >
    // bottom: none); transparent elsewhere.
    QImage upright;
    QVector<int> colouredTop;
    QVector<int> colouredBottom;
    // Scratch of a call: per group of columns, the rows coloured now (top > bottom: none).
    std::vector<std::pair<int, int>> paintedRows;
    // The pen's colour, premultiplied, at each coverage of 0..255.
    QRgb colourAtCoverage[256] = {};
};

#endif
