#pragma once
// The chart's bottom axis in seconds: Qt Charts' category axis with a label
// of the clock at each round time in view (TimeTickInterval, and the
// labels of one shape, ClockFields), and a title that names the shape. It
// stays in the chart, hidden while X is in positions: Qt Charts deletes an
// axis taken out of a chart only from the event loop, and a picture taken
// before that would show it.

#include "view/chart_view.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

class QCategoryAxis;
class QChart;

class TClockAxis {
public:
    TClockAxis();
    // Adds the axis, hidden, at the bottom of chart, which owns it from
    // then on; after the chart's own axes, which come first.
    void AddTo(QChart& chart);

    QCategoryAxis* Axis() const { return m_axis; }
    // The range x, cut into about parts by round times.
    void Show(TSpan x, int parts);
    QStringList Labels() const;
    QString Title() const;

private:
    QCategoryAxis* m_axis;
    QList<std::pair<QString, double>> m_ticks;  // those on the axis
};
