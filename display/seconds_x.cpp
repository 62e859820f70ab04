#include "seconds_x.h"

#include "axis_times.h"
#include "plotdata/column_reduction.h"

#include <algorithm>
#include <cmath>

double NewestSeconds(const TSession& session)
{
    if (session.FrameCount() == 0)
        return -1;
    return SecondsOf(session.Log().TimeUs(session.FrameCount() - 1));
}

void PointsWithinSeconds(const TSession& session, TAxis axis, TSpan x, std::int64_t& first, std::int64_t& end)
{
    TAxisTimes times(session, axis);
    first = times.FirstAtOrAfter(0, times.Count(), UsAtLeast(x.Min));
    end = times.FirstAtOrAfter(first, times.Count(), UsAbove(x.Max));
}

TSpan SecondsOfPositions(const TSession& session, TAxis axis, TSpan positions)
{
    const std::int64_t count = session.Count(axis);
    auto at = [&](double position) {
        const std::int64_t i = std::clamp<std::int64_t>(std::int64_t(std::llround(position)), 0, count - 1);
        return SecondsOf(session.TimeUs(axis, i));
    };
    return {at(positions.Min), at(positions.Max)};
}

TSpan PositionsOfSeconds(const TSession& session, TAxis axis, TSpan seconds)
{
    std::int64_t first = 0;
    std::int64_t end = 0;
    PointsWithinSeconds(session, axis, seconds, first, end);
    return {double(first), double(std::max(first, end - 1))};
}

void PointsOfView(const TSession& session, TAxis axis, const TChartView& view, std::int64_t& first, std::int64_t& end)
{
    if (view.Seconds && !view.Whole)
        PointsWithinSeconds(session, axis, {view.MinX, view.MaxX}, first, end);
    else
        PointsInView(view, session.Count(axis), first, end);
}
