#pragma once
// Faint vertical marks where the port opened again after a stop ("Para",
// then "Inicia"; a device gone and back), so that a stop shows on the
// chart whatever the unit of X: over positions the lines run on across it.
// Not at the first opening, where the history begins.
//
// They are drawn behind the lines, above the grid: they never change a
// pixel of a line, so pictures of the lines stay exact with or without
// them.

#include <QRectF>

#include <vector>

class QGraphicsItem;
class QGraphicsPathItem;

class TOpeningMarks {
public:
    // chart: the item they are drawn in (the QChart), which owns them.
    explicit TOpeningMarks(QGraphicsItem* chart) : m_chart(chart) {}

    // Marks at xs (in the chart's coordinates) that fall within plot, from
    // its top to its bottom.
    void Update(const std::vector<double>& xs, const QRectF& plot);
    // Marks shown.
    int Count() const { return m_count; }

private:
    QGraphicsItem* m_chart;
    // Only while there are marks: the scene looks at every item it holds
    // at each repaint.
    QGraphicsPathItem* m_path = nullptr;
    int m_count = 0;
};
