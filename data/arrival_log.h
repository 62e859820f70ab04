#pragma once
// The order in which frames arrived, across the three axes (axis_order.h),
// and the receive time of each (batch_times.h): one append per frame,
// lookups both ways, and a walker through the frames in arrival order.
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
    // batch with a new time.
    void Reserve(TAxis axis, bool newBatch)
    {
        m_order.Reserve(axis);
        if (newBatch || m_times.Empty())
            m_times.Reserve();
    }
    // The next frame went to axis; when newBatch, it is the first frame of
    // a read received at timeUs.
    void Append(TAxis axis, bool newBatch, std::int64_t timeUs)
    {
        if (newBatch || m_times.Empty()) {
            // Frames before any read (appended directly) count from time 0.
            m_times.Begin(m_order.Count(), m_times.Empty() ? std::max<std::int64_t>(timeUs, 0) : timeUs);
        }
        m_order.Append(axis);
    }

    // The point the frame with arrival number frame (0-based) became.
    TFramePoint Point(std::uint64_t frame) const { return m_order.Point(frame); }
    // The arrival number of the frame that became point index of axis.
    std::uint64_t Frame(TAxis axis, std::int64_t index) const { return m_order.Frame(axis, index); }
    // Receive time of the frame, microseconds from the session's start.
    std::int64_t TimeUs(std::uint64_t frame) const { return m_times.TimeUs(frame); }

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
