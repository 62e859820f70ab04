#pragma once
// The session: every reading received since the program started, owned in
// one place (capture) and given to whatever shows or saves it (the chart, a
// recording, an export), none of which needs a port.
//
// Per axis, the values (4-byte floats in a store with a min/max pyramid)
// and one validity bit per point: set for a reading as sent, clear for the
// held value that replaced a reading which failed its check. Across axes,
// the arrival log: the order of the frames and the receive time of each
// read (arrival_log.h). Points are never removed.
//
// The session is the decoder's sample sink. A failed append (out of memory)
// leaves it as it was. Whoever shows the data asks to be told of the next
// append (NotifyOnGrowth) and is told once; it asks again when it has
// caught up, so a burst of points costs one notification.
//
// Qt-free.

#include "arrival_log.h"
#include "sample_sink.h"
#include "sample_store.h"

#include <cstdint>
#include <vector>

class ISessionListener {
public:
    // Points were appended; called once per NotifyOnGrowth, right after the
    // first of them.
    virtual void SessionGrew() = 0;

protected:
    ~ISessionListener() = default;
};

// One frame as the session holds it.
struct TFrameRecord {
    std::int64_t TimeUs;  // receive time, from the session's start
    TAxis Axis;
    std::int64_t Index;   // position in its axis' series
    float Value;
    bool Valid;           // a reading as sent, not a held value
};

class TSession final : public ISampleSink {
public:
    TSession() = default;
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    // ISampleSink: a plain Append is a reading as sent.
    void Append(TAxis axis, double value) override { AppendReading(axis, value, true); }
    void AppendReading(TAxis axis, double value, bool valid) override;
    void BeginRead(std::int64_t timeNs) override;

    // The session's start, on the monotonic clock of BeginRead: the first
    // time the port opened. Later calls change nothing. A read that comes
    // before any start starts the session itself.
    void MarkStart(std::int64_t timeNs);
    bool Started() const { return m_started; }
    std::int64_t StartNs() const { return m_startNs; }

    const TSampleStore& Values(TAxis axis) const { return m_axes[axis].Values; }
    std::int64_t Count(TAxis axis) const { return m_axes[axis].Values.Count(); }
    bool Valid(TAxis axis, std::int64_t index) const { return m_axes[axis].Valid[std::size_t(index)]; }
    // Held values (validity bit clear) of an axis with index in [first, last).
    std::int64_t HeldCount(TAxis axis, std::int64_t first, std::int64_t last) const
    {
        return (last - first) - std::int64_t(m_axes[axis].Valid.CountOnes(std::size_t(first), std::size_t(last)));
    }
    // Receive time of a point, microseconds from the session's start.
    std::int64_t TimeUs(TAxis axis, std::int64_t index) const { return m_log.TimeUs(m_log.Frame(axis, index)); }

    // Frames in arrival order.
    std::uint64_t FrameCount() const { return m_log.Count(); }
    TFrameRecord Record(std::uint64_t frame) const;
    const TArrivalLog& Log() const { return m_log; }

    // Reads frames in arrival order from a given one up to those held when
    // it was made.
    class TReader {
    public:
        TReader(const TSession& session, std::uint64_t frame) : m_session(&session), m_walker(session.m_log, frame) {}
        bool AtEnd() const { return m_walker.AtEnd(); }
        std::uint64_t Frame() const { return m_walker.Frame(); }
        TFrameRecord Record() const;
        void Next() { m_walker.Next(); }

    private:
        const TSession* m_session;
        TArrivalLog::TWalker m_walker;
    };

    // Memory held by the points, their validity, the pyramids and the
    // arrival log, in bytes.
    std::size_t HeldBytes() const;

    // Tells listener of the next append, once.
    void NotifyOnGrowth(ISessionListener& listener);
    void CancelNotify(ISessionListener& listener);

    // --- Frames as a recording holds them (a recording read back) ---
    // Appends a frame with the time and index it had, so that Record gives
    // it back as it was. An axis' first frame sets its first index (a
    // recording started later begins where its series stood); each later
    // one must be the next of its axis (std::invalid_argument otherwise).
    // Frames of equal time in a row arrived together, as in one read. Throws
    // std::bad_alloc, leaving the session as it was.
    // Inline: reading a recording back appends tens of millions of them.
    void AppendRecord(const TFrameRecord& frame)
    {
        TAxisData& data = m_axes[frame.Axis];
        const std::int64_t count = data.Values.Count();
        if (count > 0 && frame.Index != m_firstIndex[frame.Axis] + count)
            ThrowIndexOutOfSequence();
        // A new batch wherever the time changes: the frames of one time are
        // written as one, however they were read.
        const bool newBatch = m_readPending || m_log.Count() == 0 || frame.TimeUs != m_readUs;
        data.Values.Reserve();
        data.Valid.Reserve();
        m_log.Reserve(frame.Axis, newBatch);

        if (count == 0)
            m_firstIndex[frame.Axis] = frame.Index;
        data.Values.Append(frame.Value);
        data.Valid.PushBack(frame.Valid);
        m_log.Append(frame.Axis, newBatch, frame.TimeUs);
        m_readUs = frame.TimeUs;
        m_readPending = false;
        if (!m_waiting.empty())
            Notify();
    }
    // Index of the axis' first point: 0 but in a recording read back.
    std::int64_t FirstIndex(TAxis axis) const { return m_firstIndex[axis]; }

private:
    struct TAxisData {
        TSampleStore Values;
        TBitArray Valid;
    };

    void Notify();
    [[noreturn]] __attribute__((noinline, cold)) static void ThrowIndexOutOfSequence();

    TAxisData m_axes[AxisCount];
    TArrivalLog m_log;
    bool m_started = false;
    std::int64_t m_startNs = 0;
    std::int64_t m_readUs = 0;      // time of the read being decoded
    bool m_readPending = false;     // its first frame starts a new batch
    std::vector<ISessionListener*> m_waiting;
    std::int64_t m_firstIndex[AxisCount] = {};
};
