#pragma once
// The readout: while the pointer hovers over the plot, a thin cursor on
// its pixel column and a box beside it with what the column holds: X,
// each shown series' value (its lowest and highest when the column holds
// many points) and the time the first of them arrived. Over time, the
// time comes first, then the values and the points' positions.

#include "plotdata/column_reduction.h"
#include "sample_store.h"
#include "value_scale.h"

#include <QFont>
#include <QPoint>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <vector>

class QGraphicsItem;
class QGraphicsLineItem;
class QGraphicsRectItem;
class QGraphicsSimpleTextItem;
class TAxisTimes;
class TSession;

// The points [first, end) whose pixel column is column (of the device);
// when none is (zoomed in), the one nearest to x. count: points of the
// longest series, at least one.
void PointsUnderColumn(const TSampleStore& any, const TColumnMapping& mapping, std::int64_t count, int column,
                       double x, std::int64_t& first, std::int64_t& end);

// Over time: the points [first, end) of an axis whose pixel column is
// column; when none is, the one nearest in time to x (seconds).
void PointsUnderColumn(TAxisTimes& times, const TColumnMapping& mapping, int column, double x,
                       std::int64_t& first, std::int64_t& end);

struct TReadoutSeries {
    QString Title;
    const TSampleStore* Store;
    bool Visible;
    TValueMap Map;  // what its stored values are shown as
    // Over time: its own points under the column, and its axis in the
    // session.
    std::int64_t First = 0;
    std::int64_t End = 0;
    int Axis = -1;
};

// The readout's lines for points [first, end), values written as scale
// writes them; the time when the session, if any, holds one of the series
// and has started.
QString ReadoutText(std::int64_t first, std::int64_t end, const std::vector<TReadoutSeries>& series,
                    const TSession* session, const TValueScale& scale = {});
// Over time: the time of the points under the column (with as many
// decimals of a second), each shown series' values, and the points'
// positions.
QString ReadoutTimeText(const std::vector<TReadoutSeries>& series, const TSession& session, int decimals,
                        const TValueScale& scale = {});

// The cursor and the box, over the lines of a chart.
class TReadout {
public:
    // chart: the item the cursor and the box are drawn in (the QChart).
    explicit TReadout(QGraphicsItem* chart) : m_chart(chart) {}

    void SetFont(const QFont& font);
    // Shows text with the cursor at x, in plot (both in the chart's
    // coordinates), for the pointer at hover in the widget.
    void Show(QPoint hover, double x, const QRectF& plot, const QString& text);
    void Hide();

    bool Visible() const { return m_box != nullptr; }
    QString Text() const;
    // Where the pointer was when last shown; x < 0 while hidden.
    QPoint Hover() const { return m_hover; }

private:
    QGraphicsItem* m_chart;
    QFont m_font;
    QPoint m_hover{-1, -1};
    // They exist only while the readout shows, owned by the chart: the
    // scene looks at every item it holds at each repaint.
    QGraphicsLineItem* m_cursor = nullptr;
    QGraphicsRectItem* m_box = nullptr;
    QGraphicsSimpleTextItem* m_text = nullptr;  // owned by m_box
};
