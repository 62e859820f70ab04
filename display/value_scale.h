#pragma once
// What the chart's left axis shows: the stored counts as they are, or each
// series' counts in a unit through a map of its own (value_map.h), all on
// the one axis, with how those values are written (axis title, readout).
// The default is counts with no axis title: the chart as it always was.

#include "value_map.h"

#include <QString>

#include <vector>

struct TValueScale {
    std::vector<TValueMap> Maps;  // per series, in the chart's order; missing: the identity
    QString Unit;                 // empty for counts, which are written as whole numbers
    QString AxisTitle;            // empty: none
    int Decimals = 0;             // of a value in the unit
    double Step = 1;              // the smallest step of the values worth showing

    TValueMap Map(int series) const;
    // "2.048", "2.047,50" for counts; "0,998 g" in a unit.
    QString Text(double value) const;
    // One number when low and high are the same: "12 – 15", "0,998 – 1,003 g".
    QString RangeText(double low, double high) const;

    bool operator==(const TValueScale& other) const;
    bool operator!=(const TValueScale& other) const { return !(*this == other); }
};
