#include "column_reduction.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

// Stretches of at most this many points are passed on whole.
constexpr std::int64_t KeepAllLimit = 8;

// (int)(v * 64.), as the stroker converts a device coordinate.
int ToFixed(double v)
{
    return int(v * 64.);
}

int FixedDiv(int x, int y)
{
    if (std::abs(x) > 0x7fff)
        return int((std::int64_t(x) * 65536) / y);
    return (x * 65536) / y;
}

class TEmitter {
public:
    TEmitter(const TSampleStore& store, const TColumnMapping& mapping, std::vector<TPlotPoint>& out)
        : m_store(store), m_mapping(mapping), m_out(out)
    {
    }

    void Point(double x, double y)
    {
        const TPlotPoint p{x, y};
        if (!m_out.empty() && m_out.back() == p)
            return;
        m_out.push_back(p);
    }
    void Original(std::int64_t index) { Point(double(index), double(m_store.Value(index))); }

    // The points [first, last) of one column, each joining segment that
    // does not light exactly its own span kept as it is, the rest folded.
    void Column(std::int64_t first, std::int64_t last)
    {
        if (last - first <= KeepAllLimit) {
            for (std::int64_t i = first; i < last; ++i)
                Original(i);
            return;
        }
        std::int64_t stretch = first;
        for (std::int64_t group = first;;) {
            const std::int64_t next
                = FirstIndexAtFixedX(m_store, m_mapping, group, last, m_mapping.FixedX(group) + 1);
            if (next >= last)
                break;
            if (!Foldable(next - 1)) {
                Fold(stretch, next);
                stretch = next;
            }
            group = next;
        }
        Fold(stretch, last);
    }

private:
    // True when the segment from point index to the next lights exactly
    // the rows between its ends in its own column.
    bool Foldable(std::int64_t index)
    {
        const double x1 = m_mapping.DeviceX(index);
        const double x2 = m_mapping.DeviceX(index + 1);
        const double y1 = m_mapping.DeviceY(double(m_store.Value(index)));
        const double y2 = m_mapping.DeviceY(double(m_store.Value(index + 1)));
        const TColumnMapping& m = m_mapping;
        // Beyond the same edge of the plot (a zoomed left axis), by more
        // than the half pixel a line reaches past its ends: nothing of it
        // shows, nor of the vertical run it is folded into, out there.
        const double above = m.OffsetY - 2;
        const double below = m.OffsetY + m.Height + 2;
        if ((y1 < above && y2 < above) || (y1 > below && y2 > below))
            return true;
        for (double x : {x1, x2})
            if (!(x >= m.SafeLeft && x <= m.SafeRight))
                return false;
        for (double y : {y1, y2}) {
            if (!(y >= m.SafeTop && y <= m.SafeBottom))
                return SteepAndClear(x1, y1, x2, y2);
        }
        m_pixels.clear();
        StrokePixels(x1, y1, x2, y2, m_pixels);
        const int column = ToFixed(x1) >> FixedShift;
        const int top = std::min(ToFixed(y1), ToFixed(y2)) >> FixedShift;
        const int bottom = std::max(ToFixed(y1), ToFixed(y2)) >> FixedShift;
        if (m_pixels.size() != std::size_t(bottom - top + 1))
            return false;
        for (const TPixel& p : m_pixels) {
            if (p.X != column || p.Y < top || p.Y > bottom)
                return false;
        }
        return true;
    }

    // A line with an end above or below the device is clipped there by the
    // stroker, at a place that depends on the device; what it lights in
    // the plot is still its own column between its rows when it is steep
    // and keeps clear of the column's edges by more than it can lean.
    static bool SteepAndClear(double x1, double y1, double x2, double y2)
    {
        const double dx = std::fabs(x2 - x1);
        const double dy = std::fabs(y2 - y1);
        if (!(dy > 4 * dx + 1))
            return false;
        const double lean = dx / dy + 2.0 / 64;
        const double column = std::floor(std::min(x1, x2));
        return std::min(x1, x2) - lean >= column && std::max(x1, x2) + lean < column + 1;
    }

    // The points [first, last) of one column, joined by segments that
    // each light exactly their span: as they are when few, else the first
    // point, a vertical run at its x through the extremes, a flat step to
    // the last point's x, and the last point. Every segment added lies in
    // the column and lights only rows the points' segments light there.
    void Fold(std::int64_t first, std::int64_t last)
    {
        if (last - first <= KeepAllLimit) {
            for (std::int64_t i = first; i < last; ++i)
                Original(i);
            return;
        }
        const TMinMax extremes = m_store.MinMax(first, last);
        const double x0 = double(first);
        const double firstY = double(m_store.Value(first));
        const double lastY = double(m_store.Value(last - 1));
        const double low = double(extremes.Min);
        const double high = double(extremes.Max);
        // Visit the extremes in the order that draws the fewest pixels twice.
        const bool lowFirst = std::fabs(firstY - low) + std::fabs(high - lastY)
            <= std::fabs(firstY - high) + std::fabs(low - lastY);
        Original(first);
        Point(x0, lowFirst ? low : high);
        Point(x0, lowFirst ? high : low);
        Point(x0, lastY);
        Original(last - 1);
    }

    const TSampleStore& m_store;
    const TColumnMapping& m_mapping;
    std::vector<TPlotPoint>& m_out;
    std::vector<TPixel> m_pixels;
};

}  // namespace

void StrokePixels(double rx1, double ry1, double rx2, double ry2, std::vector<TPixel>& out)
{
    // The aliased line of QCosmeticStroker with both caps (each drawLine
    // is a whole open path of one segment), integer arithmetic as there.
    int x1 = ToFixed(rx1);
    int y1 = ToFixed(ry1);
    int x2 = ToFixed(rx2);
    int y2 = ToFixed(ry2);
    const int dx = std::abs(x2 - x1);
    const int dy = std::abs(y2 - y1);
    if (dx < dy) {
        // Mostly vertical: one pixel per row.
        if (y1 > y2) {
            std::swap(y1, y2);
            std::swap(x1, x2);
        }
        const int xinc = FixedDiv(x2 - x1, y2 - y1);
        int x = x1 * 1024;
        y1 -= 32;
        x -= xinc >> 1;
        y2 += 32;
        int y = (y1 + 32) >> 6;
        const int ys = (y2 + 32) >> 6;
        const int round = xinc > 0 ? 32 : 0;
        if (y == ys)
            return;
        x += (((y << 6) + round - y1) * xinc) >> 6;
        do {
            out.push_back({x >> 16, y});
            x += xinc;
        } while (++y < ys);
    } else {
        // Mostly horizontal: one pixel per column.
        if (dx == 0)
            return;
        if (x1 > x2) {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
        const int yinc = FixedDiv(y2 - y1, x2 - x1);
        int y = y1 * 1024;
        x1 -= 32;
        y -= yinc >> 1;
        x2 += 32;
        int x = (x1 + 32) >> 6;
        const int xs = (x2 + 32) >> 6;
        const int round = yinc > 0 ? 32 : 0;
        if (x == xs)
            return;
        y += (((x << 6) + round - x1) * yinc) >> 6;
        do {
            out.push_back({x, y >> 16});
            y += yinc;
        } while (++x < xs);
    }
}

std::int64_t FirstIndexAtFixedX(const TSampleStore&, const TColumnMapping& mapping,
                                std::int64_t first, std::int64_t last, std::int64_t target)
{
    if (first >= last)
        return last;
    // Estimate from the inverse mapping, then settle on the exact index by
    // stepping, since the estimate can be off by rounding.
    const double estimate = (double(target) / double(FixedOne) - mapping.Offset) / mapping.DeltaX + mapping.MinX;
    std::int64_t i;
    if (!(estimate > double(first)))
        i = first;
    else if (!(estimate < double(last)))
        i = last;
    else
        i = std::int64_t(std::ceil(estimate));
    while (i > first && mapping.FixedX(i - 1) >= target)
        --i;
    while (i < last && mapping.FixedX(i) < target)
        ++i;
    return i;
}

void ReduceColumns(const TSampleStore& store, const TColumnMapping& mapping,
                   std::int64_t first, std::int64_t last, std::vector<TPlotPoint>& out)
{
    TEmitter emit(store, mapping, out);
    for (std::int64_t begin = first; begin < last;) {
        const std::int64_t column = FixedColumn(mapping.FixedX(begin));
        const std::int64_t end = FirstIndexAtFixedX(store, mapping, begin, last, ColumnStart(column + 1));
        emit.Column(begin, end);
        begin = end;
    }
}
