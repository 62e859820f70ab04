#include "opening_marks.h"

#include <QGraphicsPathItem>
#include <QPainterPath>
#include <QPen>

#include <cmath>

namespace {

// Qt Charts stacks the grid at 2, the axes at 3 and line series at 4.
constexpr double BehindTheLines = 3.4;

}  // namespace

void TOpeningMarks::Update(const std::vector<double>& xs, const QRectF& plot)
{
    QPainterPath path;
    int count = 0;
    for (double x : xs) {
        if (!(x >= plot.left() && x <= plot.right()))
            continue;
        // On the middle of its pixel column: one sharp pixel wide.
        const double column = std::floor(x) + 0.5;
        path.moveTo(column, plot.top());
        path.lineTo(column, plot.bottom());
        ++count;
    }
    m_count = count;
    if (count == 0) {
        delete m_path;
        m_path = nullptr;
        return;
    }
    if (!m_path) {
        m_path = new QGraphicsPathItem(m_chart);
        QPen pen(QColor(225, 140, 140), 0, Qt::DashLine);
        m_path->setPen(pen);
        m_path->setZValue(BehindTheLines);
    }
    if (m_path->path() != path)
        m_path->setPath(path);
}
