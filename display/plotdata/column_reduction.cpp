#include "column_reduction.h"

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

    // The points [first, last), all in one pixel column: the first point,
    // a vertical run over their range at its x, a flat step to the last
    // point's x, and the last point. Every segment added lies inside the
    // column and covers only rows the full polyline covers there.
    void Range(std::int64_t first, std::int64_t last)
    {
        if (last - first <= KeepAllLimit) {
            for (std::int64_t i = first; i < last; ++i)
                Original(i);
            return;
        }
        const TMinMax range = m_store.MinMax(first, last);
        const double x0 = double(first);
        const double lastY = double(m_store.Value(last - 1));
        Original(first);
        Point(x0, double(range.Min));
        Point(x0, double(range.Max));
        Point(x0, lastY);
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
    const double estimate = (double(target) / 64. - mapping.Offset) / mapping.DeltaX + mapping.MinX;
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
        const std::int64_t column = fixed >> 6;
        const std::int64_t end = FirstIndexAtFixedX(store, mapping, begin, last, (column + 1) << 6);
        if (end - begin <= KeepAllLimit) {
            emit.Range(begin, end);
        } else if ((fixed & 63) == 0) {
            // Points exactly on the column's left edge, then the rest; the
            // segment from the edge run's last point to the next point is
            // kept as it is.
            const std::int64_t edgeEnd = FirstIndexAtFixedX(store, mapping, begin, end, fixed + 1);
            emit.Range(begin, edgeEnd);
            emit.Range(edgeEnd, end);
        } else {
            emit.Range(begin, end);
        }
        begin = end;
    }
}
