#pragma once
// Where the chart's series lie along X, in positions or in seconds, and
// what they hold there: the newest point, the points within a range of X,
// a range in the other unit, and the left axis' range that fits the
// points in view. Over the stores the series show and the session whose
// axes they may be, which has their times (seconds_x.h). No widgets.

#include "sample_store.h"
#include "session.h"
#include "value_scale.h"
#include "view/chart_view.h"

#include <cstdint>
#include <vector>

class TSeriesRanges {
public:
    // The session the series may be axes of (nullptr: none). It must
    // outlive this or be replaced first.
    void Watch(const TSession* session) { m_session = session; }
    // The next series shows store, which must outlive this.
    void AddSeries(const TSampleStore& store) { m_stores.push_back(&store); }

    // The newest point's X in seconds or in positions (-1: none).
    double Newest(bool seconds) const;
    // The session's axis of series (-1: none).
    int SessionAxis(int series) const;
    // The points [first, end) of series within x, in seconds or positions.
    void PointsIn(int series, TSpan x, bool seconds, std::int64_t& first, std::int64_t& end) const;
    // x, a range in one unit, in the other, from the times of the first
    // series shown that has points, else of any that has (hidden[i]:
    // series i is hidden). As it is when none has.
    TSpan InOtherUnit(TSpan x, bool toSeconds, const std::vector<bool>& hidden) const;
    // The left axis fitting the values, as scale shows them, of the points
    // within x of the series view shows, in view's unit.
    TSpan FitY(const TChartView& view, TSpan x, const TValueScale& scale) const;

private:
    // The left axis before any point arrives: a 12-bit reading of the
    // series shown, as shown.
    TSpan EmptyY(const std::vector<bool>& hidden, const TValueScale& scale) const;

    const TSession* m_session = nullptr;
    std::vector<const TSampleStore*> m_stores;  // per series, in the chart's order
};
