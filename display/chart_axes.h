#pragma once
// The chart's axes on Qt Charts: at the bottom the positions' value axis
// or the clock (clock_axis.h), one shown at a time, and the values' axis on
// the left; set to the ranges a redraw shows, with ticks at round values.
// The series' pieces draw at the same ranges (series_drawing.h): the axes
// only read them out.

#include "clock_axis.h"
#include "view/chart_view.h"

#include <QString>
#include <QStringList>

class QChart;
class QValueAxis;

class TChartAxes {
public:
    TChartAxes();
    // Adds the axes to chart, which owns them from then on.
    void AddTo(QChart& chart);

    QValueAxis* Positions() const { return m_positions; }
    QValueAxis* Left() const { return m_left; }

    // The bottom axis of the unit: positions or seconds.
    void UseBottom(bool seconds);
    // The bottom axis shown spans x, the left axis y, each cut into about
    // parts; the left axis' ticks are whole steps of stepY apart.
    void Show(TSpan x, TSpan y, int parts, double stepY);

    // The bottom axis' labels and title as last shown.
    QStringList BottomLabels() const;
    QString BottomTitle() const;

private:
    static void SetRange(QValueAxis& axis, double minimum, double maximum, double tickInterval);

    QValueAxis* m_positions;  // owned by the chart
    QValueAxis* m_left;       // owned by the chart
    TClockAxis m_clock;
    QValueAxis* m_bottom;  // m_positions, or the clock's; the other hidden
};
