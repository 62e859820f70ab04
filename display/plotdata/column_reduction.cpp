#include "column_reduction.h"

#include "axis_times.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace {

// Stretches of at most this many points are passed on whole.
constexpr std::int64_t KeepAllLimit = 8;
// Groups of up to GroupScanLimit points on average are crossed by looking
// at up to GroupScanSteps points, larger ones by a search.
constexpr double GroupScanLimit = 4;
constexpr int GroupScanSteps = 6;
// Columns of at least this many points are read ahead (TEmitter::Prefetch),
// this many columns ahead: far enough for memory to answer, near enough for
// what arrives to stay in the caches.
constexpr double PrefetchFrom = 128;
constexpr std::int64_t PrefetchAhead = 4;

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

// FirstIndexAtFixedX for one mapping, with what the estimate needs worked
// out once: it runs a few dozen times per column.
class TIndexFinder {
public:
    explicit TIndexFinder(const TColumnMapping& mapping)
        : m_mapping(mapping),
          m_fixedPerIndex(mapping.DeltaX * double(FixedOne)),
          m_indexPerFixed(1 / m_fixedPerIndex),
          m_offset(mapping.Offset * double(FixedOne)),
          m_minX(std::fabs(mapping.MinX) * m_fixedPerIndex)
    {
    }

    // Points per step of the fixed-point grid: in a group, on average.
    double IndexPerFixed() const { return m_indexPerFixed; }

    // Where the index of a fixed-point x lies, give or take rounding.
    double Estimate(std::int64_t target) const { return (double(target) - m_offset) * m_indexPerFixed + m_mapping.MinX; }

    // With fixed, also FixedX of the index found (when below last), which
    // the search mostly knows without working it out.
    std::int64_t operator()(std::int64_t first, std::int64_t last, std::int64_t target,
                            std::int64_t* fixed = nullptr) const
    {
        const std::int64_t i = Find(first, last, target, fixed);
        if (fixed && i < last && *fixed == Unknown)
            *fixed = m_mapping.FixedX(i);
        return i;
    }

private:
    static constexpr std::int64_t Unknown = std::numeric_limits<std::int64_t>::min();

    std::int64_t Find(std::int64_t first, std::int64_t last, std::int64_t target, std::int64_t* fixed) const
    {
        if (fixed)
            *fixed = Unknown;
        if (first >= last)
            return last;
        // Estimate from the inverse mapping, then settle on the exact index
        // by stepping, since the estimate can be off by rounding.
        const double estimate = Estimate(target);
        std::int64_t i;
        if (!(estimate > double(first))) {
            i = first;
        } else if (!(estimate < double(last))) {
            i = last;
        } else {
            i = std::int64_t(estimate);  // towards zero, and estimate > first >= 0
            i += double(i) < estimate;
            // Mostly the points either side of the estimate lie further
            // from the target than the rounding of FixedX and of the
            // estimate can move them (a few units in the last place of the
            // terms, here with a wide margin): then they are on their sides
            // of it without working out FixedX. Both within the clamp
            // of FixedX, which keeps the order of a target inside it.
            const double after = (double(i) - estimate) * m_fixedPerIndex;
            const double before = (estimate - double(i - 1)) * m_fixedPerIndex;
            const double slack = RoundingShare
                * (std::fabs(double(target)) + std::fabs(m_offset) + m_minX + std::fabs(estimate) * m_fixedPerIndex + 1);
            if (after > slack && before > slack && std::fabs(double(target)) < ClampedBeyond) {
                if (fixed && after < 1 - slack)
                    *fixed = target;
                return i;
            }
        }
        while (i > first && m_mapping.FixedX(i - 1) >= target)
            --i;
        while (i < last && m_mapping.FixedX(i) < target)
            ++i;
        return i;
    }

    // The rounding of a few operations on doubles is within 2^-50 of their
    // magnitudes; a thousand times that is surely beyond it.
    static constexpr double RoundingShare = 0x1p-40;
    static constexpr double ClampedBeyond = 1.0e15;  // well inside FixedX's limit

    const TColumnMapping& m_mapping;
    double m_fixedPerIndex;
    double m_indexPerFixed;
    double m_offset;
    double m_minX;  // |MinX| in 1/64 pixel
};

// X as the point's position: linear in the index, so a group's end is
// found from the inverse of the mapping.
class TIndexX {
public:
    explicit TIndexX(const TColumnMapping& mapping) : m_mapping(mapping), m_find(mapping) {}

    // Prefetching reads ahead where the inverse of the mapping says.
    static constexpr bool Prefetching = true;

    double X(std::int64_t index) const { return double(index); }
    double DeviceX(std::int64_t index) const { return m_mapping.DeviceX(index); }
    double ScaledX(std::int64_t index) const { return m_mapping.ScaledX(index); }
    std::int64_t FixedX(std::int64_t index) const { return m_mapping.FixedX(index); }
    std::int64_t Find(std::int64_t first, std::int64_t last, std::int64_t target, std::int64_t* fixed = nullptr) const
    {
        return m_find(first, last, target, fixed);
    }
    double IndexPerFixed() const { return m_find.IndexPerFixed(); }
    double Estimate(std::int64_t target) const { return m_find.Estimate(target); }
    void PrefetchAt(std::int64_t) const {}
    // Consecutive points are at most one step of the grid apart: all of
    // them, or (then) those of [first, last].
    bool Dense() const { return m_mapping.DeltaX * double(FixedOne) <= 1; }
    // Lean worked out once for all columns (see TEmitter::Lean).
    static constexpr bool LeanPerColumn = false;
    int GridSteps(std::int64_t, std::int64_t) const { return 1; }
private:
    const TColumnMapping& m_mapping;
    TIndexFinder m_find;
};

// X as the point's arrival time: a group's end is found by a search by
// time (axis_times.h), from the time at which the fixed-point x reaches
// the target.
class TTimeX {
public:
    TTimeX(TAxisTimes& times, const TColumnMapping& mapping, std::int64_t first, std::int64_t last)
        : m_times(times), m_mapping(mapping)
    {
        if (last - first > 1) {
            const double steps = double(FixedX(last - 1) - FixedX(first)) + 1;
            m_indexPerFixed = double(last - first) / steps;
        }
    }

    static constexpr bool Prefetching = true;

    double X(std::int64_t index) const { return SecondsOf(m_times.TimeUs(index)); }
    double DeviceX(std::int64_t index) const { return m_mapping.DeviceOf(X(index)); }
    double ScaledX(std::int64_t index) const { return m_mapping.ScaledOf(X(index)); }
    std::int64_t FixedX(std::int64_t index) const { return m_mapping.FixedOf(X(index)); }
    std::int64_t Find(std::int64_t first, std::int64_t last, std::int64_t target, std::int64_t* fixed = nullptr) const
    {
        const std::int64_t i = m_times.FirstAtOrAfter(first, last, TimeAtFixed(target));
        if (fixed && i < last)
            *fixed = FixedX(i);
        return i;
    }
    double IndexPerFixed() const { return m_indexPerFixed; }
    // Where the point of a fixed-point x likely is: from the inverse of
    // the mapping and the last lookup.
    double Estimate(std::int64_t target) const
    {
        const double x = (double(target) / double(FixedOne) - m_mapping.Offset) / m_mapping.DeltaX + m_mapping.MinX;
        const double us = x * 1e6;
        if (!(std::fabs(us) < 1e17))
            return -1;
        return double(m_times.EstimateIndex(std::int64_t(us)));
    }
    // Asks the memory for what the lookup of the point at index will read.
    void PrefetchAt(std::int64_t index) const { m_times.Prefetch(index); }
    // Points can be far apart in time anywhere: how far, at most, is asked
    // per column, of the longest gaps between them (axis_gaps.h).
    bool Dense() const { return true; }
    static constexpr bool LeanPerColumn = true;
    // At least the steps of the grid between any point of (first, last]
    // and the one before it, with a margin for the rounding of the mapping.
    int GridSteps(std::int64_t first, std::int64_t last) const
    {
        const std::int64_t gap = m_times.Gaps().MaxGapUs(first, last);
        const double steps = double(gap) * 1e-6 * m_mapping.DeltaX * double(FixedOne);
        if (!(steps < 1e6))
            return 1 << 20;
        return std::max(1, int(std::ceil(steps * (1 + 1e-9) + 1e-9)));
    }
private:
    // The first microsecond whose fixed-point x is at least target: from
    // the inverse of the mapping, then settled on the exact one by steps
    // that double, since every operation of the mapping rounds.
    std::int64_t TimeAtFixed(std::int64_t target) const
    {
        constexpr std::int64_t Always = std::numeric_limits<std::int64_t>::min() / 4;
        constexpr std::int64_t Never = std::numeric_limits<std::int64_t>::max() / 4;
        if (!(double(target) > -TColumnMapping::FixedLimit))
            return Always;
        if (double(target) > TColumnMapping::FixedLimit)
            return Never;
        auto reaches = [this, target](std::int64_t us) { return m_mapping.FixedOf(SecondsOf(us)) >= target; };
        const double x = (double(target) / double(FixedOne) - m_mapping.Offset) / m_mapping.DeltaX + m_mapping.MinX;
        double estimate = std::ceil(x * 1e6);
        if (!(estimate > double(Always)))
            estimate = double(Always);
        if (!(estimate < double(Never)))
            estimate = double(Never);
        std::int64_t lo;  // does not reach (or Always - 1)
        std::int64_t hi;  // reaches (or Never)
        const std::int64_t start = std::int64_t(estimate);
        if (reaches(start)) {
            hi = start;
            for (std::int64_t step = 1;; step *= 2) {
                lo = hi - step;
                if (lo <= Always)
                    return Always;
                if (!reaches(lo))
                    break;
                hi = lo;
            }
        } else {
            lo = start;
            for (std::int64_t step = 1;; step *= 2) {
                hi = lo + step;
                if (hi >= Never)
                    return Never;
                if (reaches(hi))
                    break;
                lo = hi;
            }
        }
        while (hi - lo > 1) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            (reaches(mid) ? hi : lo) = mid;
        }
        return hi;
    }

    TAxisTimes& m_times;
    const TColumnMapping& m_mapping;
    double m_indexPerFixed = 1;
};

template <class TX>
class TEmitter {
public:
    TEmitter(const TSampleStore& store, const TColumnMapping& mapping, const TX& x, std::vector<TPlotPoint>& out)
        : m_store(store), m_mapping(mapping), m_x(x), m_lean(Lean()), m_groupScan(GroupScan()),
          m_prefetchGroups(PrefetchGroups()), m_out(out)
    {
    }

    const TX& X() const { return m_x; }

    // When columns hold many points, what a column reads lies far from
    // what the one before read: the values and nodes at its left edge, and
    // the values at the ends of the groups near both edges (CheckGroups).
    // Asked for a few columns ahead, those reads wait for memory together.
    void Prefetch(std::int64_t column, std::int64_t first, std::int64_t last) const
    {
        if (!TX::Prefetching || m_prefetchGroups < 0)
            return;
        const double start = m_x.Estimate(ColumnStart(column));
        if (!(start >= double(first) && start < double(last)))
            return;
        m_store.Prefetch(std::int64_t(start));
        m_x.PrefetchAt(std::int64_t(start));
        const double perGroup = m_x.IndexPerFixed();
        for (int k = 1; k <= m_prefetchGroups; ++k) {
            for (const double at : {start - k * perGroup, start + k * perGroup})
                if (at >= double(first) && at < double(last))
                    m_store.PrefetchValue(std::int64_t(at));
        }
    }

    void Point(double x, double y)
    {
        const TPlotPoint p{x, y};
        if (!m_out.empty() && m_out.back() == p)
            return;
        m_out.push_back(p);
    }
    void Original(std::int64_t index) { Point(m_x.X(index), double(m_store.Value(index))); }

    // The points [first, last) of one column, each joining segment that
    // does not light exactly its own span kept as it is, the rest folded;
    // fixed is FixedX(first).
    void Column(std::int64_t first, std::int64_t last, std::int64_t fixed)
    {
        if (last - first <= KeepAllLimit) {
            for (std::int64_t i = first; i < last; ++i)
                Original(i);
            return;
        }
        m_kept.clear();
        const std::int64_t base = ColumnStart(FixedColumn(fixed));
        int lean = m_lean;
        if constexpr (TX::LeanPerColumn) {
            if (lean > 0)
                lean = LeanFor(m_x.GridSteps(first, last - 1));
        }
        std::int64_t zoneEnd = last;
        std::int64_t zoneStart = last;
        std::int64_t zoneStartFixed = 0;
        if (lean > 0 && 2 * lean < FixedOne) {
            // Only near the column's edges can a joining segment leave it,
            // where the points between are a step of the grid apart at most.
            zoneEnd = m_x.Find(first, last, base + lean);
            zoneStart = m_x.Find(zoneEnd, last, base + FixedOne - lean, &zoneStartFixed);
        }
        CheckGroups(first, zoneEnd, last, fixed);
        if (zoneStart < last) {
            if (zoneStart > zoneEnd && !Foldable(zoneStart - 1))
                m_kept.push_back(zoneStart);
            CheckGroups(zoneStart, last, last, zoneStartFixed);
        }
        std::int64_t stretch = first;
        for (std::int64_t kept : m_kept) {
            Fold(stretch, kept);
            stretch = kept;
        }
        Fold(stretch, last);
    }

private:
    // Steps of the grid per unit of the stored value.
    double StepsPerValue() const { return std::fabs(m_mapping.DeltaY / m_mapping.Values.PerUnit) * double(FixedOne); }

    // How far (in 1/64 pixel) a segment joining two groups can lean past
    // its ends, when every such segment is steep: points a fraction of a
    // pixel apart (one step of the grid at most) with whole-number values
    // at least 3/64 pixel apart. 0 when that is not known: every joining
    // segment is looked at.
    int Lean() const
    {
        if (!m_x.Dense() || !m_store.Integral() || !(StepsPerValue() >= 3))
            return 0;
        return LeanFor(1);
    }

    // The same for segments joining points up to d steps of the grid
    // apart: the minor step per row is at most d / (steps - 1) pixel, and
    // a line reaches at most one row past its ends. 0 when such segments
    // need not be steep.
    int LeanFor(int d) const
    {
        const double steps = StepsPerValue();
        if (!(double(d) < steps - 1))
            return 0;
        return int(std::ceil(double(d) * double(FixedOne) / (steps - 1))) + 2;
    }

    // Looks at the joining segments that start in a group of [from, to),
    // in a column ending at last, and notes where a stretch must end;
    // fixed is FixedX(from).
    void CheckGroups(std::int64_t from, std::int64_t to, std::int64_t last, std::int64_t fixed)
    {
        for (std::int64_t group = from; group < to;) {
            // Groups are mostly a few points each: look at the next ones
            // before searching.
            // Comparing before flooring, when the bound allows it.
            std::int64_t next = group + 1;
            std::int64_t nextFixed = 0;
            const bool unfloored = fixed + 1 < std::int64_t(TColumnMapping::FixedLimit);
            const double bound = double(fixed + 1);
            for (int step = 0;; ++step, ++next) {
                if (next >= last)
                    return;
                if (step == m_groupScan) {
                    next = m_x.Find(next, last, fixed + 1, &nextFixed);
                    if (next >= last)
                        return;
                    break;
                }
                if (unfloored) {
                    const double scaled = m_x.ScaledX(next);
                    if (scaled >= bound) {
                        nextFixed = scaled < bound + 1 ? fixed + 1 : m_x.FixedX(next);
                        break;
                    }
                    continue;
                }
                nextFixed = m_x.FixedX(next);
                if (nextFixed > fixed)
                    break;
            }
            if (!Foldable(next - 1))
                m_kept.push_back(next);
            group = next;
            fixed = nextFixed;
        }
    }

    // True when the segment from point index to the next lights exactly
    // the rows between its ends in its own column.
    bool Foldable(std::int64_t index)
    {
        return Folds(m_x.DeviceX(index), m_mapping.DeviceY(double(m_store.Value(index))), m_x.DeviceX(index + 1),
                     m_mapping.DeviceY(double(m_store.Value(index + 1))));
    }

    // True when a segment within one column lights exactly the rows
    // between its ends there, of what shows in the plot.
    bool Folds(double x1, double y1, double x2, double y2) const
    {
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
        return StrokeFillsSpan(x1, y1, x2, y2);
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
        const double x0 = m_x.X(first);
        const double firstY = double(m_store.Value(first));
        const double lastY = double(m_store.Value(last - 1));
        const double low = double(extremes.Min);
        const double high = double(extremes.Max);
        // Visit the extremes in the order that draws the fewest pixels twice.
        const bool lowFirst = std::fabs(firstY - low) + std::fabs(high - lastY)
            <= std::fabs(firstY - high) + std::fabs(low - lastY);
        Original(first);
        Point(x0, lowFirst ? low : high);
        const double second = lowFirst ? high : low;
        Point(x0, second);
        // Straight from the second extreme to the last point when that
        // line stays in the column between its rows, which the vertical
        // run lights already: one point less for Qt Charts.
        if (!Folds(m_mapping.DeviceOf(x0), m_mapping.DeviceY(second), m_x.DeviceX(last - 1), m_mapping.DeviceY(lastY)))
            Point(x0, lastY);
        Original(last - 1);
    }

    // Points of a group looked at one by one before searching: a few when
    // groups are that small, none when a search is sure to be needed.
    int GroupScan() const { return m_x.IndexPerFixed() <= GroupScanLimit ? GroupScanSteps : 0; }

    // The groups either side of a column's edge whose ends Prefetch asks
    // for: those of the edge zones, when CheckGroups looks only there; -1
    // when columns hold too few points for prefetching to pay.
    int PrefetchGroups() const
    {
        const double pointsPerColumn = m_x.IndexPerFixed() * double(FixedOne);
        if (!(pointsPerColumn >= PrefetchFrom))
            return -1;
        return m_lean > 0 && 2 * m_lean < FixedOne ? m_lean + 1 : 0;
    }

    const TSampleStore& m_store;
    const TColumnMapping& m_mapping;
    const TX& m_x;
    int m_lean;
    int m_groupScan;
    int m_prefetchGroups;
    std::vector<TPlotPoint>& m_out;
    std::vector<std::int64_t> m_kept;  // where stretches of the column begin
};

// The aliased line of QCosmeticStroker with both caps (each drawLine is a
// whole open path of one segment), in the same integer arithmetic.
TStroke Stroke(int x1, int y1, int x2, int y2)
{
    const int dx = std::abs(x2 - x1);
    const int dy = std::abs(y2 - y1);
    TStroke stroke;
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
        const int y = (y1 + 32) >> 6;
        const int ys = (y2 + 32) >> 6;
        const int round = xinc > 0 ? 32 : 0;
        if (y == ys)
            return stroke;
        x += (((y << 6) + round - y1) * xinc) >> 6;
        stroke = {true, y, ys - y, x, xinc};
    } else {
        // Mostly horizontal: one pixel per column.
        if (dx == 0)
            return stroke;
        if (x1 > x2) {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
        const int yinc = FixedDiv(y2 - y1, x2 - x1);
        int y = y1 * 1024;
        x1 -= 32;
        y -= yinc >> 1;
        x2 += 32;
        const int x = (x1 + 32) >> 6;
        const int xs = (x2 + 32) >> 6;
        const int round = yinc > 0 ? 32 : 0;
        if (x == xs)
            return stroke;
        y += (((x << 6) + round - x1) * yinc) >> 6;
        stroke = {false, x, xs - x, y, yinc};
    }
    return stroke;
}

// True when a mostly vertical line keeps to the given column without
// working out its steps: the stroker starts within half a step of x1's row
// (a step, |dx| / |dy| of a pixel per row, rounded down) plus the rounding
// to the first row, and ends within 95/64 of a step of x2 (it draws up to
// (|dy| + 63) / 64 rows), so both ends clear of the column's edges by two
// steps keep every pixel in it. Without the division: the short segments
// that join the points of a column are nearly all this case, and nearly
// all well inside it.
bool SteepWithin(int x1, int y1, int x2, int y2, int column)
{
    // Only where the stroker's own 16.16 arithmetic holds: lines further
    // out are clipped before it, and the model answers as it computes.
    constexpr int Reach = 1 << 21;
    for (int v : {x1, y1, x2, y2})
        if (!(v > -Reach && v < Reach))
            return false;
    const std::int64_t dx = std::abs(std::int64_t(x2) - x1);
    const std::int64_t dy = std::abs(std::int64_t(y2) - y1);
    if (!(dx < dy))
        return false;
    // Margins in 16.16, as the stroker's minor coordinate, less its
    // rounding; the lean, two steps of dx * 65536 / dy, times dy.
    const std::int64_t left = std::int64_t(column) << 16;
    const std::int64_t low = std::int64_t(std::min(x1, x2)) * 1024 - left - 2;
    const std::int64_t high = left + 65536 - std::int64_t(std::max(x1, x2)) * 1024 - 2;
    const std::int64_t lean = dx * 131072;
    return low * dy >= lean && high * dy > lean;
}

}  // namespace

TStroke StrokeOf(double x1, double y1, double x2, double y2)
{
    return Stroke(ToFixed(x1), ToFixed(y1), ToFixed(x2), ToFixed(y2));
}

void StrokePixels(double x1, double y1, double x2, double y2, std::vector<TPixel>& out)
{
    const TStroke stroke = StrokeOf(x1, y1, x2, y2);
    for (int k = 0; k < stroke.Count; ++k)
        out.push_back(stroke.At(k));
}

bool StrokeFillsSpan(double rx1, double ry1, double rx2, double ry2)
{
    const int x1 = ToFixed(rx1);
    const int y1 = ToFixed(ry1);
    const int x2 = ToFixed(rx2);
    const int y2 = ToFixed(ry2);
    const int column = x1 >> FixedShift;
    if (SteepWithin(x1, y1, x2, y2, column))
        return true;
    const int top = std::min(y1, y2) >> FixedShift;
    const int bottom = std::max(y1, y2) >> FixedShift;
    const TStroke stroke = Stroke(x1, y1, x2, y2);
    if (stroke.Count != bottom - top + 1)
        return false;
    // The minor coordinate moves monotonically: its ends bound it.
    const TPixel first = stroke.At(0);
    const TPixel last = stroke.At(stroke.Count - 1);
    if (stroke.Vertical)
        return first.X == column && last.X == column;
    return first.X == column && first.Y >= top && first.Y <= bottom;
}

std::int64_t UsAtLeast(double seconds)
{
    constexpr double Limit = 1e17;  // beyond every time kept, within an int64
    if (!(seconds > -Limit / 1e6))
        return -std::int64_t(Limit);
    if (!(seconds < Limit / 1e6))
        return std::int64_t(Limit);
    // From the product, then settled: it rounds, and SecondsOf divides.
    std::int64_t us = std::int64_t(std::ceil(seconds * 1e6));
    while (SecondsOf(us - 1) >= seconds)
        --us;
    while (SecondsOf(us) < seconds)
        ++us;
    return us;
}

std::int64_t UsAbove(double seconds)
{
    std::int64_t us = UsAtLeast(seconds);
    while (SecondsOf(us) <= seconds && us < std::int64_t(1e17))
        ++us;
    return us;
}

std::int64_t FirstIndexAtFixedX(const TSampleStore&, const TColumnMapping& mapping,
                                std::int64_t first, std::int64_t last, std::int64_t target)
{
    return TIndexFinder(mapping)(first, last, target);
}

std::int64_t FirstIndexAtFixedX(TAxisTimes& times, const TColumnMapping& mapping, std::int64_t first,
                                std::int64_t last, std::int64_t target)
{
    return TTimeX(times, mapping, first, first).Find(first, last, target);
}

namespace {

template <class TX>
void Reduce(const TSampleStore& store, const TColumnMapping& mapping, const TX& x, std::int64_t first,
            std::int64_t last, std::vector<TPlotPoint>& out)
{
    TEmitter<TX> emit(store, mapping, x, out);
    std::int64_t fixed = first < last ? x.FixedX(first) : 0;
    for (std::int64_t begin = first; begin < last;) {
        emit.Prefetch(FixedColumn(fixed) + PrefetchAhead, first, last);
        std::int64_t endFixed = 0;
        const std::int64_t end = x.Find(begin, last, ColumnStart(FixedColumn(fixed) + 1), &endFixed);
        emit.Column(begin, end, fixed);
        begin = end;
        fixed = endFixed;
    }
}

}  // namespace

void ReduceColumns(const TSampleStore& store, const TColumnMapping& mapping,
                   std::int64_t first, std::int64_t last, std::vector<TPlotPoint>& out)
{
    Reduce(store, mapping, TIndexX(mapping), first, last, out);
}

void ReduceColumns(const TSampleStore& store, TAxisTimes& times, const TColumnMapping& mapping,
                   std::int64_t first, std::int64_t last, std::vector<TPlotPoint>& out)
{
    Reduce(store, mapping, TTimeX(times, mapping, first, last), first, last, out);
}
