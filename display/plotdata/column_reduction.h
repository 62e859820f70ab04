#pragma once
// Reduction of a series to what each pixel column can show, lighting
// exactly the pixels that a drawing of every point lights.
//
// Qt Charts draws a line series one segment at a time (QPainter::drawLine,
// one-pixel pen, square caps, no antialiasing), and the raster engine's
// cosmetic stroker truncates each end to 26.6 fixed point (1/64 pixel) and
// steps along the major axis from half a pixel before the first end to half
// a pixel after the last, taking the minor coordinate at each step from the
// fixed-point slope. StrokePixels models that.
//
// In one pixel column, points with the same fixed-point x (a group) are
// joined by vertical segments: together they light the column from the
// group's lowest to its highest row. Consecutive groups are joined by one
// short segment each, which usually lights the column between the rows of
// its ends too; but a short segment may reach half a pixel past its ends
// and light a pixel of the next column, or a row beyond both ends. So the
// reduction looks at each joining segment: where it lights exactly its
// span, it is folded with its neighbours into a vertical run through their
// extremes (the first point, the lowest and highest, the last point, as
// M4); where it does not, it is kept as it is, with both its real ends. A
// column holds at most 64 groups, so the cost per column is bounded and the
// extremes come from the store's pyramid: O(columns x log N) in all.
//
// The segment from a column's last point to the next column's first is
// always kept as it is. Segments that the stroker would clip (an end off
// the device) are kept as they are too.

#include "sample_store.h"
#include "value_map.h"

#include <cmath>
#include <cstdint>
#include <vector>

class TAxisTimes;

// The rasteriser's grid: 26.6 fixed point, 64 steps to a pixel.
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
    // Y as Qt Charts lays it out: device y = (v - MinY) * -DeltaY + Height
    // + OffsetY, where OffsetY is the device y of the plot's top edge and v
    // the stored value as shown: Values(value), in the unit of MinY and
    // DeltaY. Every point is placed through the same map, so the reduction
    // works on the stored values and decides by the pixels they light.
    double MinY = 0;
    double DeltaY = 1;
    double Height = 0;
    double OffsetY = 0;
    TValueMap Values{};
    // The device area in which the stroker is known not to clip a line:
    // lines with an end outside it are never folded.
    double SafeLeft = -1e300;
    double SafeTop = -1e300;
    double SafeRight = 1e300;
    double SafeBottom = 1e300;

    double DeviceX(std::int64_t index) const { return DeviceOf(double(index)); }
    double DeviceOf(double x) const { return (x - MinX) * DeltaX + Offset; }
    // Where Qt Charts places a stored value in the plot area, and on the
    // device.
    double PlotY(double value) const { return (Values(value) - MinY) * -DeltaY + Height; }
    double DeviceY(double value) const { return PlotY(value) + OffsetY; }

    // The fixed-point x of a point. On the device the rasteriser truncates
    // to this grid; positions off the device are clipped before that and
    // only need a monotonic place on the grid, so the value is floored
    // (one column per pixel on both sides of 0) and held within a range
    // that no arithmetic on it can overflow, however far the view is zoomed.
    static constexpr double FixedLimit = 4.0e15;  // about 2^52: exact in a double
    std::int64_t FixedX(std::int64_t index) const { return FixedOf(double(index)); }
    std::int64_t FixedOf(double x) const
    {
        const double fixed = ScaledOf(x);
        if (!(fixed > -FixedLimit))
            return -std::int64_t(FixedLimit);
        if (!(fixed < FixedLimit))
            return std::int64_t(FixedLimit);
        // Floored by hand: the conversion truncates towards zero, and this
        // runs for every group boundary of every column.
        const std::int64_t whole = std::int64_t(fixed);
        return double(whole) > fixed ? whole - 1 : whole;
    }
    // What FixedX floors: FixedX(index) >= n, for a whole n within
    // (-FixedLimit, FixedLimit], exactly when ScaledX(index) >= n.
    double ScaledX(std::int64_t index) const { return ScaledOf(double(index)); }
    double ScaledOf(double x) const { return DeviceOf(x) * double(FixedOne); }
};

// X of a point drawn at its arrival time: seconds from the session's
// start. Every drawing over time places points by this, so that the
// reduced drawing and one of every point agree to the last bit.
inline double SecondsOf(std::int64_t us) { return double(us) / 1e6; }
// The first microsecond whose SecondsOf is at least seconds, and the first
// whose SecondsOf is beyond it: the bounds of the times within a range.
std::int64_t UsAtLeast(double seconds);
std::int64_t UsAbove(double seconds);

struct TPlotPoint {
    double X;
    double Y;
    bool operator==(const TPlotPoint& other) const { return X == other.X && Y == other.Y; }
};

struct TPixel {
    int X;
    int Y;
    bool operator==(const TPixel& other) const { return X == other.X && Y == other.Y; }
};

// One line as the stroker steps along it: Count pixels from Start on the
// major axis (rows when Vertical), the minor coordinate in 16.16 fixed
// point from Minor, adding Inc at each step. Count is 0 for a line that
// lights nothing this way (ends on the same point of the grid).
struct TStroke {
    bool Vertical = true;
    int Start = 0;
    int Count = 0;
    int Minor = 0;
    int Inc = 0;

    TPixel At(int k) const
    {
        const int minor = (Minor + k * Inc) >> 16;
        return Vertical ? TPixel{minor, Start + k} : TPixel{Start + k, minor};
    }
};

// The steps of one drawLine from (x1, y1) to (x2, y2) in device
// coordinates, with the same conditions as StrokePixels.
TStroke StrokeOf(double x1, double y1, double x2, double y2);

// Appends to out the pixels that the cosmetic stroker lights for one
// drawLine from (x1, y1) to (x2, y2) in device coordinates, for a
// one-pixel pen with square caps, no antialiasing and no clipping (both
// ends at least a pixel inside the device, at non-negative coordinates).
void StrokePixels(double x1, double y1, double x2, double y2, std::vector<TPixel>& out);
// True when those pixels are exactly the line's own column (that of x1)
// from the row of its upper end to the row of its lower end. O(1).
bool StrokeFillsSpan(double x1, double y1, double x2, double y2);

// Smallest index in [first, last) whose fixed-point x is at least target,
// or last when there is none. The mapping is monotonic in the index.
std::int64_t FirstIndexAtFixedX(const TSampleStore& store, const TColumnMapping& mapping,
                                std::int64_t first, std::int64_t last, std::int64_t target);

// Appends to out the reduced polyline of the points with index in
// [first, last). Consecutive equal points are never emitted (the rasteriser
// draws a zero-length line as a dot at a rounded position).
void ReduceColumns(const TSampleStore& store, const TColumnMapping& mapping,
                   std::int64_t first, std::int64_t last, std::vector<TPlotPoint>& out);

// The same with each point at its arrival time (times, of the store's
// axis), which never goes down with the index: X is SecondsOf the time.
// The groups of equal fixed-point x and the stroker's model hold as they
// do over positions; only finding a group's end takes a search by time.
std::int64_t FirstIndexAtFixedX(TAxisTimes& times, const TColumnMapping& mapping, std::int64_t first,
                                std::int64_t last, std::int64_t target);
void ReduceColumns(const TSampleStore& store, TAxisTimes& times, const TColumnMapping& mapping,
                   std::int64_t first, std::int64_t last, std::vector<TPlotPoint>& out);
