#include "chart_look.h"

#include <QAbstractAxis>
#include <QChart>
#include <QFontMetricsF>
#include <QLegend>
#include <QPen>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace {

// Around the chart, in pixels on the screen.
constexpr int Margin = 2;
// Between two legend entries: Qt Charts' margins on either side of one.
constexpr double LegendGap = 7;

QFont Sized(const QFont& base, double points, double scale)
{
    QFont font = base;
    font.setPointSizeF(points * scale);
    return font;
}

// A pen of the theme, as it is at scale 1, else scale times as wide, to
// whole pixels (a cosmetic pen counts as one pixel wide).
QPen Scaled(QPen pen, double scale)
{
    if (scale != 1)
        pen.setWidthF(std::max(1.0, std::round(std::max(1.0, pen.widthF()) * scale)));
    return pen;
}

// The theme's pens of an axis, kept on the axis the first time, so that
// applying a look twice does not scale twice.
QPen ThemePen(QAbstractAxis& axis, const char* name, const QPen& current)
{
    const QVariant kept = axis.property(name);
    if (kept.isValid())
        return kept.value<QPen>();
    axis.setProperty(name, QVariant::fromValue(current));
    return current;
}

}  // namespace

TChartLook TChartLook::ForPicture(QSize onScreen, QSize picture)
{
    if (onScreen.isEmpty())
        return ForHeight(picture.height());
    const double scale = std::min(double(picture.width()) / onScreen.width(),
                                  double(picture.height()) / onScreen.height());
    if (scale <= 1)
        return ForHeight(picture.height());
    return {onScreen.height() <= CompactHeight, scale};
}

QFont TChartLook::TitleFont(const QFont& base) const
{
    QFont font = Sized(base, Compact ? 9 : 13, Scale);
    font.setBold(true);
    return font;
}

QFont TChartLook::LabelFont(const QFont& base) const
{
    return Sized(base, Compact ? 7 : 9, Scale);
}

QFont TChartLook::LegendFont(const QFont& base) const
{
    return Sized(base, Compact ? 8 : 10, Scale);
}

QString TChartLook::LegendLabel(const QString& title, const QFont& base) const
{
    if (Scale == 1)
        return title;
    const QChar space(0x00A0);  // kept where a plain space would be trimmed
    const double width = QFontMetricsF(LegendFont(base)).horizontalAdvance(space);
    return title + QString(int(std::lround(LegendGap * (Scale - 1) / width)), space);
}

void ApplyLook(QChart& chart, const TChartLook& look, const QFont& base)
{
    chart.setTitleFont(look.TitleFont(base));
    const QFont labels = look.LabelFont(base);
    for (QAbstractAxis* axis : chart.axes()) {
        axis->setLabelsFont(labels);
        if (look.Scale != 1 || axis->property("themeLinePen").isValid()) {
            axis->setLinePen(Scaled(ThemePen(*axis, "themeLinePen", axis->linePen()), look.Scale));
            axis->setGridLinePen(Scaled(ThemePen(*axis, "themeGridLinePen", axis->gridLinePen()), look.Scale));
        }
    }
    chart.legend()->setFont(look.LegendFont(base));
    const int margin = int(std::lround(Margin * look.Scale));
    chart.setMargins(QMargins(margin, margin, margin, margin));
}
