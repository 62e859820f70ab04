#pragma once
// The arrival times of one axis' points, looked up as a chart drawing them
// over time asks: thousands of times per view, each mostly near one of the
// last few (a pixel column's two edges, in turn). So a lookup starts where
// one of them ended: the stretch of the arrival order that holds the point
// (frames evenly spaced) and the batch of times that holds its frame stay
// at hand, for a few places at once; and a search by time starts from an
// estimate at the line's rate, then goes by batches.
//
// One per user at a time (it keeps where it was); the session must not
// grow while it is used. It sees the points the session held when it was
// made. Qt-free.

#include "session.h"

#include <cstdint>

class TAxisTimes {
public:
    TAxisTimes(const TSession& session, TAxis axis);

    // Points of the axis it sees.
    std::int64_t Count() const { return m_points; }
    // How far apart neighbouring points are, at most (axis_gaps.h).
    const TAxisGaps& Gaps() const { return m_gaps; }
    // Time of point index (< Count()), microseconds from the session's
    // start. Times never go down with the index.
    std::int64_t TimeUs(std::int64_t index);
    // The smallest index in [first, last) whose time is at least timeUs;
    // last when there is none.
    std::int64_t FirstAtOrAfter(std::int64_t first, std::int64_t last, std::int64_t timeUs);
    // Where the point of timeUs likely is, from the last lookup (-1 before
    // any).
    std::int64_t EstimateIndex(std::int64_t timeUs) const { return m_lastIndex >= 0 ? Estimate(timeUs) : -1; }
    // A hint that a lookup of index will come: asks the memory for the
    // batch of times it will likely read, so that lookups far apart wait
    // for memory together.
    void Prefetch(std::int64_t index) const;

private:
    // A batch where a lookup ended.
    struct TPlace {
        TBatchTimes::TBatch Batch;
        bool HaveBatch = false;
        std::uint64_t Used = 0;
    };
    static constexpr int Places = 4;

    // The time of frame, from the place whose batch holds it, or from the
    // nearest.
    std::int64_t FrameTime(std::uint64_t frame);
    // Where the point of timeUs is likely, from the last point looked up.
    std::int64_t Estimate(std::int64_t timeUs) const;

    const TAxisOrder& m_order;
    const TBatchTimes& m_times;
    const TAxisGaps& m_gaps;
    TAxis m_axis;
    std::uint64_t m_frames;
    std::int64_t m_points;
    TAxisPiece m_piece;  // the stretch of the last lookup; empty at first
    TPlace m_places[Places];
    int m_current = 0;  // of the last lookup
    std::uint64_t m_uses = 0;
    std::int64_t m_lastIndex = -1;
    std::int64_t m_lastTime = 0;
};
