#include "chart_axes.h"

#include "format/brazilian.h"

#include <QCategoryAxis>
#include <QChart>
#include <QValueAxis>

#include <cmath>

TChartAxes::TChartAxes() : m_positions(new QValueAxis), m_left(new QValueAxis), m_bottom(m_positions)
{
    for (QValueAxis* axis : {m_positions, m_left}) {
        axis->setLabelFormat("%.0f");
        // Ticks at round multiples, whatever the range.
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0);
    }
}

void TChartAxes::AddTo(QChart& chart)
{
    chart.addAxis(m_positions, Qt::AlignBottom);
    chart.addAxis(m_left, Qt::AlignLeft);
    m_clock.AddTo(chart);
}

void TChartAxes::UseBottom(bool seconds)
{
    QValueAxis* wanted = seconds ? static_cast<QValueAxis*>(m_clock.Axis()) : m_positions;
    if (m_bottom == wanted)
        return;
    m_bottom->setVisible(false);
    wanted->setVisible(true);
    m_bottom = wanted;
}

void TChartAxes::Show(TSpan x, TSpan y, int parts, double stepY)
{
    if (m_bottom != m_positions)
        m_clock.Show(x, parts);
    else
        SetRange(*m_positions, x.Min, x.Max, TickInterval(x.Width(), parts));
    const double tickY = TickInterval(y.Width(), parts, stepY);
    SetRange(*m_left, y.Min, y.Max, tickY);
    const QString format = QStringLiteral("%.%1f").arg(TickDecimals(tickY));
    if (m_left->labelFormat() != format)
        m_left->setLabelFormat(format);
    // Qt Charts steps from tick to tick by adding the interval: with
    // fractions (0.2 g) the tick at 0 comes out a hair below it and reads
    // "-0,0". Ticks a millionth of an interval above their round values
    // read the same and land on the same pixels.
    const double anchor = tickY < 1 ? tickY * 1e-6 : 0;
    if (m_left->tickAnchor() != anchor)
        m_left->setTickAnchor(anchor);
}

QStringList TChartAxes::BottomLabels() const
{
    if (m_bottom != m_positions)
        return m_clock.Labels();
    QStringList labels;
    const double interval = m_positions->tickInterval();
    for (double k = std::ceil(m_positions->min() / interval); k * interval <= m_positions->max(); ++k)
        labels << BrazilianLocale().toString(k * interval, 'f', 0);
    return labels;
}

QString TChartAxes::BottomTitle() const
{
    return m_bottom->titleText();
}

void TChartAxes::SetRange(QValueAxis& axis, double minimum, double maximum, double tickInterval)
{
    // Never let the axis hold a wide range with a narrow interval, even for
    // a moment: it would create a label for every tick.
    const bool widening = tickInterval > axis.tickInterval();
    if (widening)
        axis.setTickInterval(tickInterval);
    if (axis.min() != minimum || axis.max() != maximum)
        axis.setRange(minimum, maximum);
    if (!widening && tickInterval != axis.tickInterval())
        axis.setTickInterval(tickInterval);
}
