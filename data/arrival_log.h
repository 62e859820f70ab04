#pragma once
// The order in which frames arrived, across the three axes (axis_order.h),
// and the time of each (batch_times.h): one append per frame, lookups both
// ways, and a walker through the frames in arrival order.
//
// Appends are exception-safe: Reserve() allocates what the next Append
// needs and may throw, changing nothing; Append after it does not throw.
// Qt-free.

#include "axis_order.h"
#include "batch_times.h"

#include <algorithm>
#include <cstdint>

class TArrivalLog {
public:
    std::uint64_t Count() const { return m_order.Count(); }
    std::int64_t Points(TAxis axis) const { return m_order.Points(axis); }

    // Makes room for appending a frame of axis; newBatch when it starts a
    // new batch of times.
    void Reserve(TAxis axis, bool newBatch)
    {
        m_order.Reserve(axis);
        if (newBatch)
            m_times.Reserve();
    }
    // The next frame went to axis; its batch of times is begun first
    // (Times()).
    void Append(TAxis axis) { m_order.Append(axis); }
    TBatchTimes& Times() { return m_times; }
    const TBatchTimes& Times() const { return m_times; }
    const TAxisOrder& Order() const { return m_order; }

    // The point the frame with arrival number frame (0-based) became.
    TFramePoint Point(std::uint64_t frame) const { return m_order.Point(frame); }
    // The arrival number of the frame that became point index of axis.
    std::uint64_t Frame(TAxis axis, std::int64_t index) const { return m_order.Frame(axis, index); }
    // Receive time of the frame, microseconds from the session's start.
    std::int64_t TimeUs(std::uint64_t frame) const { return m_times.TimeUs(frame); }
    // Points of axis among the frames before frame (at most Count()).
    std::int64_t PointsBefore(TAxis axis, std::uint64_t frame) const { return m_order.PointsBefore(axis, frame); }

    // Walks the frames that the log holds when it is made, in arrival
    // order from a given one, in O(1) per frame. Frames appended later are
    // for another walker.
    class TWalker {
    public:
        TWalker(const TArrivalLog& log, std::uint64_t frame)
            : m_order(log.m_order, frame, log.Count()), m_times(log.m_times, frame, log.Count())
        {
        }
        std::uint64_t Frame() const { return m_order.Frame(); }
        bool AtEnd() const { return m_order.AtEnd(); }
        TFramePoint Point() const { return m_order.Point(); }
        std::int64_t TimeUs() const { return m_times.TimeUs(); }
        void Next()
        {
            m_order.Next();
            m_times.Next(m_order.Frame());
        }

    private:
        TAxisOrder::TWalker m_order;
        TBatchTimes::TWalker m_times;
    };

    // Memory held, in bytes.
    std::size_t HeldBytes() const { return m_order.HeldBytes() + m_times.HeldBytes(); }

private:
    TAxisOrder m_order;
    TBatchTimes m_times;
};
