#include "clock_axis.h"

#include "format/brazilian.h"

#include <QCategoryAxis>
#include <QChart>

#include <cmath>

TClockAxis::TClockAxis() : m_axis(new QCategoryAxis)
{
    m_axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_axis->setVisible(false);
}

void TClockAxis::AddTo(QChart& chart)
{
    // No series is attached to it: the lines are drawn by the chart's own
    // pieces, at the ranges of the view.
    chart.addAxis(m_axis, Qt::AlignBottom);
}

void TClockAxis::Show(TSpan x, int parts)
{
    const double interval = TimeTickInterval(x.Width(), parts);
    // Ticks a rounding away from an edge are on it.
    const double firstTick = std::ceil(x.Min / interval - 1e-9);
    const double lastTick = std::floor(x.Max / interval + 1e-9);
    const int fields = ClockFields(std::max(std::fabs(x.Min), std::fabs(x.Max)));
    const int decimals = ClockDecimals(interval);
    QList<std::pair<QString, double>> ticks;
    for (double k = firstTick; k <= lastTick && ticks.size() < 100; ++k)
        ticks.append({FormatClock(k * interval, decimals, fields), k * interval});
    if (ticks != m_ticks) {
        for (const QString& label : m_axis->categoriesLabels())
            m_axis->remove(label);
        m_axis->setStartValue((firstTick - 1) * interval);
        for (const auto& [label, value] : ticks)
            m_axis->append(label, value);
        m_ticks = ticks;
    }
    if (m_axis->min() != x.Min || m_axis->max() != x.Max)
        m_axis->setRange(x.Min, x.Max);
    const QString title = ClockTitle(fields);
    if (m_axis->titleText() != title)
        m_axis->setTitleText(title);
}

QStringList TClockAxis::Labels() const
{
    return m_axis->categoriesLabels();
}

QString TClockAxis::Title() const
{
    return m_axis->titleText();
}
