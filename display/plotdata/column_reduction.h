#pragma once
// Reduction of a series to what one pixel column can show (M4 aggregation
// aligned on the rasteriser's own pixel grid).
//
// A point with X = i is drawn at device x = (i - MinX) * DeltaX + Offset,
// which the aliased line rasteriser truncates to 26.6 fixed point
// (1/64 pixel); its pixel column is that fixed value divided by 64. Within
// one column, consecutive points are joined by near-vertical one-pixel
// lines, so the column shows the span from the lowest to the highest point
// plus the segments entering and leaving it. The reduction keeps exactly
// that: for each column the first and last points, and its minimum and
// maximum placed on vertical runs at the x of a kept point.
//
// One case is kept whole: the rasteriser extends a line by half a pixel at
// each end, and a line that starts exactly on the left edge of a column and
// leans right puts its first pixel in the column to the left. So the run of
// points lying exactly on the left edge (same 26.6 x) is reduced on its own,
// and the segment leaving that run is kept with both its real end points.
// With that, the reduced polyline lights the same pixels as the full one
// (for a one-pixel pen without antialiasing).
//
// Columns with few points keep all of them. Minimum and maximum come from
// the store's pyramid, so the cost depends on the number of columns, not of
// points.

#include "sample_store.h"

#include <cmath>
#include <cstdint>
#include <vector>

// The rasteriser's x grid: 26.6 fixed point, 64 steps to a pixel.
constexpr int FixedShift = 6;
constexpr std::int64_t FixedOne = std::int64_t(1) << FixedShift;
constexpr std::int64_t FixedFraction = FixedOne - 1;

// The pixel column of a fixed-point x, and the fixed-point x of a column's
// left edge.
inline std::int64_t FixedColumn(std::int64_t fixed) { return fixed >> FixedShift; }
inline std::int64_t ColumnStart(std::int64_t column) { return column * FixedOne; }

struct TColumnMapping {
    double MinX = 0;    // X at the left edge of the plot
    double DeltaX = 1;  // pixels per unit of X
    double Offset = 0;  // device x of the plot's left edge

    double DeviceX(std::int64_t index) const { return (double(index) - MinX) * DeltaX + Offset; }

    // The fixed-point x of a point. On the device the rasteriser truncates
    // to this grid; positions off the device are clipped before that and
    // only need a monotonic place on the grid, so the value is floored
    // (one column per pixel on both sides of 0) and held within a range
    // that no arithmetic on it can overflow, however far the view is zoomed.
    std::int64_t FixedX(std::int64_t index) const
    {
        constexpr double Limit = 4.0e15;  // about 2^52: exact in a double
        const double fixed = std::floor(DeviceX(index) * double(FixedOne));
        if (!(fixed > -Limit))
            return -std::int64_t(Limit);
        if (!(fixed < Limit))
            return std::int64_t(Limit);
        return std::int64_t(fixed);
    }
};

struct TPlotPoint {
    double X;
    double Y;
    bool operator==(const TPlotPoint& other) const { return X == other.X && Y == other.Y; }
};

// Smallest index in [first, last) whose fixed-point x is at least target,
// or last when there is none. The mapping is monotonic in the index.
std::int64_t FirstIndexAtFixedX(const TSampleStore& store, const TColumnMapping& mapping,
                                std::int64_t first, std::int64_t last, std::int64_t target);

// Appends to out the reduced polyline of the points with index in
// [first, last). Consecutive equal points are never emitted (the rasteriser
// draws a zero-length line as a dot at a rounded position).
void ReduceColumns(const TSampleStore& store, const TColumnMapping& mapping,
                   std::int64_t first, std::int64_t last, std::vector<TPlotPoint>& out);
