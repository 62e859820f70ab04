#include "column_reduction.h"

#include <algorithm>
#include <cmath>

namespace {

// Columns with at most this many points are passed on whole.
constexpr std::int64_t KeepAllLimit = 8;

class TEmitter {
public:
    TEmitter(const TSampleStore& store, std::vector<TPlotPoint>& out) : m_store(store), m_out(out) {}

    void Point(double x, double y)
    {
        const TPlotPoint p{x, y};
        if (!m_out.empty() && m_out.back() == p)
            return;
        m_out.push_back(p);
    }
    void Original(std::int64_t index) { Point(double(index), double(m_store.Value(index))); }

    // The points [first, last), all in one pixel column and none on its
    // left edge unless all are: the first point, a vertical run at its x
    // through the extremes, a flat step to the last point's x, and the last
    // point. Every segment added lies inside the column and covers only
    // rows the full polyline covers there.
    void Range(std::int64_t first, std::int64_t last)
    {
        if (last - first <= KeepAllLimit) {
            for (std::int64_t i = first; i < last; ++i)
                Original(i);
            return;
        }
        Span(first, last, m_store.MinMax(first, last));
    }

    // Like Range, with the vertical run going through the given extremes
    // (which may come from a wider range of the same column).
    void Span(std::int64_t first, std::int64_t last, const TMinMax& extremes)
    {
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

    // A column whose points [edgeFirst, edgeEnd) lie on its left edge, with
    // more points [edgeEnd, last) after them; the edge run spans more than
    // one value. The run then draws a vertical line through its own last
    // point, the segment leaving it is kept as it is, and the column is lit
    // from its lowest to its highest point: the extremes may be visited
    // before, around or after that segment, whichever draws the fewest
    // pixels twice.
    void EdgeColumn(std::int64_t edgeFirst, std::int64_t edgeEnd, std::int64_t last, const TMinMax& extremes)
    {
        const double xa = double(edgeFirst);
        const double xb = double(edgeEnd);
        const double a0 = double(m_store.Value(edgeFirst));
        const double a1 = double(m_store.Value(edgeEnd - 1));
        const double b0 = double(m_store.Value(edgeEnd));
        const double b1 = double(m_store.Value(last - 1));
        const double lo = double(extremes.Min);
        const double hi = double(extremes.Max);
        const double span = hi - lo;
        auto d = [](double p, double q) { return std::fabs(p - q); };
        // After: a0 a1 | b0 E1 E2 b1.
        const double afterLow = d(b0, lo) + d(hi, b1);
        const double afterHigh = d(b0, hi) + d(lo, b1);
        const double after = d(a0, a1) + span + std::min(afterLow, afterHigh);
        // Before: a0 E1 E2 a1 | b0 b1.
        const double beforeLow = d(a0, lo) + d(hi, a1);
        const double beforeHigh = d(a0, hi) + d(lo, a1);
        const double before = std::min(beforeLow, beforeHigh) + span + d(b0, b1);
        // Around: a0 E1 a1 | b0 E2 b1.
        const double aroundLow = d(a0, lo) + d(lo, a1) + d(b0, hi) + d(hi, b1);
        const double aroundHigh = d(a0, hi) + d(hi, a1) + d(b0, lo) + d(lo, b1);
        const double around = std::min(aroundLow, aroundHigh);

        Original(edgeFirst);
        if (around <= after && around <= before) {
            const bool lowFirst = aroundLow <= aroundHigh;
            Point(xa, lowFirst ? lo : hi);
            Original(edgeEnd - 1);
            Original(edgeEnd);
            Point(xb, lowFirst ? hi : lo);
        } else if (before <= after) {
            const bool lowFirst = beforeLow <= beforeHigh;
            Point(xa, lowFirst ? lo : hi);
            Point(xa, lowFirst ? hi : lo);
            Original(edgeEnd - 1);
            Original(edgeEnd);
        } else {
            const bool lowFirst = afterLow <= afterHigh;
            Original(edgeEnd - 1);
            Original(edgeEnd);
            Point(xb, lowFirst ? lo : hi);
            Point(xb, lowFirst ? hi : lo);
        }
        Point(xb, b1);
        Original(last - 1);
    }

private:
    const TSampleStore& m_store;
    std::vector<TPlotPoint>& m_out;
};

}  // namespace

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
    TEmitter emit(store, out);
    std::int64_t begin = first;
    while (begin < last) {
        const std::int64_t fixed = mapping.FixedX(begin);
        const std::int64_t column = FixedColumn(fixed);
        const std::int64_t end = FirstIndexAtFixedX(store, mapping, begin, last, ColumnStart(column + 1));
        if (end - begin <= KeepAllLimit) {
            emit.Range(begin, end);
        } else if ((fixed & FixedFraction) == 0) {
            // Points exactly on the column's left edge, then the rest. The
            // segment from the edge run's last point to the next point is
            // kept as it is, since its first pixel may fall in the column to
            // the left.
            const std::int64_t edgeEnd = FirstIndexAtFixedX(store, mapping, begin, end, fixed + 1);
            const TMinMax edge = store.MinMax(begin, edgeEnd);
            if (edgeEnd - begin >= 2 && end - edgeEnd > KeepAllLimit && edge.Min < edge.Max) {
                TMinMax all = store.MinMax(edgeEnd, end);
                all.Include(edge);
                emit.EdgeColumn(begin, edgeEnd, end, all);
            } else {
                emit.Range(begin, edgeEnd);
                emit.Range(edgeEnd, end);
            }
        } else {
            emit.Range(begin, end);
        }
        begin = end;
    }
}
