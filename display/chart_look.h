#pragma once
// How the chart looks at its size: a compact look (smaller text, fewer
// ticks) in a small widget such as the window's own chart, the full look
// in a larger one. A picture larger than the chart on screen looks as the
// screen does, scaled: text, the lines of the axes and the grid, and the
// margins grow with it. The series' lines stay one pixel wide, the width
// at which the reduced drawing is exact (series_drawing.h).

#include <QFont>
#include <QSize>
#include <QString>

class QChart;

struct TChartLook {
    bool Compact = false;
    double Scale = 1;

    // Widgets at most this tall get the compact look.
    static constexpr int CompactHeight = 400;
    static TChartLook ForHeight(int height) { return {height <= CompactHeight, 1}; }
    // A picture of picture's size of a chart that is onScreen large on the
    // screen: the screen's look, scaled by as much as the picture is
    // larger on its tighter side; its own look when it is not larger.
    static TChartLook ForPicture(QSize onScreen, QSize picture);

    // Parts the axes are cut into by their ticks.
    int TickParts() const { return Compact ? 4 : 8; }
    QFont TitleFont(const QFont& base) const;
    QFont LabelFont(const QFont& base) const;   // axes and readout
    QFont LegendFont(const QFont& base) const;
    // A legend entry's label: Qt Charts keeps a few pixels between entries
    // whatever their size, so a scaled picture pads them to keep the
    // screen's gaps.
    QString LegendLabel(const QString& title, const QFont& base) const;

    bool operator==(const TChartLook& other) const { return Compact == other.Compact && Scale == other.Scale; }
};

// The chart's fonts, its margins and the pens of its axes and grid for
// look. The pens are the theme's, read the first time, scaled.
void ApplyLook(QChart& chart, const TChartLook& look, const QFont& base);
