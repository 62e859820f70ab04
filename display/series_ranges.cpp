#include "series_ranges.h"

#include "seconds_x.h"

#include <algorithm>

double TSeriesRanges::Newest(bool seconds) const
{
    if (seconds)
        return m_session ? NewestSeconds(*m_session) : -1;
    std::int64_t longest = 0;
    for (const TSampleStore* store : m_stores)
        longest = std::max<std::int64_t>(longest, store->Count());
    return double(longest - 1);
}

int TSeriesRanges::SessionAxis(int series) const
{
    for (int axis = 0; m_session && axis < AxisCount; ++axis) {
        if (&m_session->Values(TAxis(axis)) == m_stores[std::size_t(series)])
            return axis;
    }
    return -1;
}

void TSeriesRanges::PointsIn(int series, TSpan x, bool seconds, std::int64_t& first, std::int64_t& end) const
{
    if (!seconds) {
        PointsWithin(x, first, end);
        end = std::min<std::int64_t>(end, m_stores[std::size_t(series)]->Count());
        return;
    }
    first = end = 0;
    const int axis = SessionAxis(series);
    if (axis >= 0)
        PointsWithinSeconds(*m_session, TAxis(axis), x, first, end);
}

TSpan TSeriesRanges::InOtherUnit(TSpan x, bool toSeconds, const std::vector<bool>& hidden) const
{
    int series = -1;
    for (std::size_t i = 0; i < m_stores.size(); ++i) {
        const bool better = series < 0 || (hidden[std::size_t(series)] && !hidden[i]);
        if (SessionAxis(int(i)) >= 0 && m_stores[i]->Count() > 0 && better)
            series = int(i);
    }
    if (series < 0)
        return x;
    const TAxis axis = TAxis(SessionAxis(series));
    return toSeconds ? SecondsOfPositions(*m_session, axis, x) : PositionsOfSeconds(*m_session, axis, x);
}

TSpan TSeriesRanges::FitY(const TChartView& view, TSpan x, const TValueScale& scale) const
{
    TMinMax values;
    for (std::size_t i = 0; i < m_stores.size(); ++i) {
        if (view.Hidden[i])
            continue;
        std::int64_t from = 0;
        std::int64_t end = 0;
        PointsIn(int(i), x, view.Seconds, from, end);
        if (from < end) {
            const TMinMax counts = m_stores[i]->MinMax(from, end);
            const TValueMap map = scale.Map(int(i));
            values.Include(float(map(counts.Min)));
            values.Include(float(map(counts.Max)));
        }
    }
    return ::FitY(values, scale.Step, EmptyY(view.Hidden, scale));
}

TSpan TSeriesRanges::EmptyY(const std::vector<bool>& hidden, const TValueScale& scale) const
{
    if (scale.Maps.empty())
        return ViewLimits::EmptyY;
    TMinMax all;
    for (std::size_t i = 0; i < m_stores.size(); ++i) {
        if (hidden[i])
            continue;
        const TValueMap map = scale.Map(int(i));
        all.Include(float(map(ViewLimits::EmptyY.Min)));
        all.Include(float(map(ViewLimits::EmptyY.Max)));
    }
    return all.Empty() ? ViewLimits::EmptyY : TSpan{all.Min, all.Max};
}
