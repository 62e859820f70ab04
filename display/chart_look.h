#pragma once
// How the chart looks at its size: a compact look (smaller text, fewer
// ticks) in a small widget such as the window's own chart, the full look
// in a larger one.

#include <QFont>

class QChart;

struct TChartLook {
    bool Compact = false;

    // Widgets at most this tall get the compact look.
    static constexpr int CompactHeight = 400;
    static TChartLook ForHeight(int height) { return {height <= CompactHeight}; }

    // Parts the axes are cut into by their ticks.
    int TickParts() const { return Compact ? 4 : 8; }
    QFont TitleFont(const QFont& base) const;
    QFont LabelFont(const QFont& base) const;   // axes and readout
    QFont LegendFont(const QFont& base) const;

    bool operator==(const TChartLook& other) const { return Compact == other.Compact; }
};

// The fonts of the chart's title, axes and legend, from the widget's font.
void ApplyLook(QChart& chart, const TChartLook& look, const QFont& base);
