#pragma once
// A small sign in the plot's bottom-right corner while the view is frozen
// away from the newest points (view/chart_view.h: Frozen), so that a view
// that stopped following is not taken for a device that stopped sending.
// Nothing while following or showing the whole history.
//
// It is drawn behind the lines, above the grid: it never changes a pixel
// of a line, so pictures of the lines stay exact with or without it.

#include <QFont>
#include <QRectF>
#include <QString>

class QGraphicsItem;
class QGraphicsRectItem;
class QGraphicsSimpleTextItem;

class TFrozenSign {
public:
    static QString Text();

    // chart: the item it is drawn in (the QChart), which owns it.
    explicit TFrozenSign(QGraphicsItem* chart) : m_chart(chart) {}

    void SetFont(const QFont& font);
    // Shows the sign in the corner of plot (in the chart's coordinates),
    // or hides it.
    void Update(bool shown, const QRectF& plot);

    bool Visible() const { return m_box != nullptr; }
    // Where it is, in the chart's coordinates; empty while hidden.
    QRectF Area() const;

private:
    QGraphicsItem* m_chart;
    QFont m_font;
    // Only while shown: the scene looks at every item it holds at each
    // repaint.
    QGraphicsRectItem* m_box = nullptr;
    QGraphicsSimpleTextItem* m_text = nullptr;  // owned by m_box
};
