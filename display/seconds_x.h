#pragma once
// X in seconds of a session's points: each point's arrival time, counted
// from the session's start (SecondsOf, column_reduction.h). The points of
// an axis within a range of seconds, and a range of positions in seconds
// and back, for the chart's left axis and its switch between units. No Qt.

#include "session.h"
#include "view/chart_view.h"

#include <cstdint>

// The newest point's X in seconds; -1 when there is none.
double NewestSeconds(const TSession& session);
// The points [first, end) of axis that view shows, in its unit: all of them
// in the whole history.
void PointsOfView(const TSession& session, TAxis axis, const TChartView& view, std::int64_t& first, std::int64_t& end);
// The points [first, end) of axis whose X in seconds lies within x.
void PointsWithinSeconds(const TSession& session, TAxis axis, TSpan x, std::int64_t& first, std::int64_t& end);
// The times of the points at the ends of positions (rounded, within the
// axis' points; it has some).
TSpan SecondsOfPositions(const TSession& session, TAxis axis, TSpan positions);
// The positions of the first and last points of axis within seconds.
TSpan PositionsOfSeconds(const TSession& session, TAxis axis, TSpan seconds);
