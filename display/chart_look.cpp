#include "chart_look.h"

#include <QAbstractAxis>
#include <QChart>
#include <QLegend>

QFont TChartLook::TitleFont(const QFont& base) const
{
    QFont font = base;
    font.setBold(true);
    font.setPointSizeF(Compact ? 9 : 13);
    return font;
}

QFont TChartLook::LabelFont(const QFont& base) const
{
    QFont font = base;
    font.setPointSizeF(Compact ? 7 : 9);
    return font;
}

QFont TChartLook::LegendFont(const QFont& base) const
{
    QFont font = base;
    font.setPointSizeF(Compact ? 8 : 10);
    return font;
}

void ApplyLook(QChart& chart, const TChartLook& look, const QFont& base)
{
    chart.setTitleFont(look.TitleFont(base));
    const QFont labels = look.LabelFont(base);
    for (QAbstractAxis* axis : chart.axes())
        axis->setLabelsFont(labels);
    chart.legend()->setFont(look.LegendFont(base));
}
