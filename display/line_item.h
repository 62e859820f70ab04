#pragma once
// A piece of a series' polyline in the chart's scene, drawn as Qt Charts
// draws a line series (its LineChartItem) but without what that item does
// at every change of points: an outline of the whole polyline, stroked
// with QPainterPathStroker for hit-testing, and its bounding rectangle,
// which together cost more than reducing the points. The chart needs
// neither: nothing is picked by clicking a line.
//
// The item is made a child of the series' own line item, so it sits where
// Qt Charts puts that item (at the plot area's top-left corner, with the
// series' place among the grid, the axes and the other series), and paints
// as it does: the series' pen, a clip of the plot area widened by the
// fraction of the corner's position, and one drawLine per segment, so that
// the rasteriser lights the pixels that column_reduction.h models.
//
// Most of what a reduced series lights is steep: vertical runs, one per
// pixel column, hundreds of pixels tall when the columns hold many
// points, and the lines joining one column's last point to the next
// column's first, mostly over rows the runs light already. The raster
// engine's cosmetic stroker blends such lines pixel by pixel, clipping
// each. On the raster engine, with an opaque pen and a view that only
// translates, the piece works out the rows each steep line lights in each
// column, as the stroker steps along it (StrokeOf, column_reduction.h),
// and fills their union in each column once, as one-pixel-wide
// rectangles: the same pixels, several times faster.

#include <QGraphicsItem>
#include <QPen>
#include <QPointF>
#include <QRectF>

#include <vector>

class TLineItem : public QGraphicsItem {
public:
    // parent: the series' line item in the chart.
    explicit TLineItem(QGraphicsItem* parent);

    void SetPen(const QPen& pen);
    // The plot area, whose top-left corner is at position in the chart.
    void SetPlot(QPointF position, QSizeF size);
    // The polyline, in the item's coordinates: those of the plot area, as
    // Qt Charts maps a series' points into it. A point whose x is NaN
    // breaks it: no segment to or from it.
    void SetPoints(const std::vector<QPointF>& points);
    void Clear();
    qsizetype PointCount() const { return m_count; }

    QRectF boundingRect() const override { return m_bounds; }
    // Nothing under the mouse: the chart's own gestures handle it.
    QPainterPath shape() const override { return QPainterPath(); }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    void UpdateBounds();
    // Draws segments [first, last), filling vertical runs; false, having
    // drawn nothing, when the painter is not one this is exact for.
    bool PaintFillingRuns(QPainter* painter, qsizetype first, qsizetype last);

    QPen m_pen;
    QRectF m_clip;
    // Each segment's two ends, as drawLines takes them: drawing them so
    // lights what a drawLine per segment does, in one call.
    std::vector<QPointF> m_ends;
    qsizetype m_count = 0;
    bool m_ordered = true;  // x never decreases
    QRectF m_points;  // around the points, empty when fewer than two
    QRectF m_bounds;
    // Scratch of PaintFillingRuns, kept to spare an allocation per paint.
    struct TRun {
        int Column;
        int Top;
        int Bottom;  // inclusive
    };
    std::vector<QPointF> m_slanted;
    std::vector<TRun> m_runs;
};
