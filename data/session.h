#pragma once
// The session: every reading received since the program started, owned in
// one place (capture) and given to whatever shows or saves it (the chart, a
// recording, an export), none of which needs a port.
//
// Per axis, the values (4-byte floats in a store with a min/max pyramid)
// and one validity bit per point: set for a reading as sent, clear for the
// held value that replaced a reading which failed its check. Across axes,
// the arrival log: the order of the frames and the time of each, placed
// back from its read's time by the bytes that followed it on the line
// (arrival_log.h, batch_times.h). Points are never removed. The openings
// of the port are kept too: where the stream stopped and began again.
//
// The session is the decoder's sample sink. A failed append (out of memory)
// leaves it as it was. Whoever shows the data asks to be told of the next
// append (NotifyOnGrowth) and is told once; it asks again when it has
// caught up, so a burst of points costs one notification.
//
// Qt-free.

#include "arrival_log.h"
#include "axis_gaps.h"
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
    std::int64_t TimeUs;  // arrival time, from the session's start
    TAxis Axis;
    std::int64_t Index;   // position in its axis' series
    float Value;
    bool Valid;           // a reading as sent, not a held value
};

// A time the port opened: the frames and each axis' points before it, and
// its time from the session's start.
struct TOpening {
    std::uint64_t Frame;
    std::int64_t Points[AxisCount];
    std::int64_t TimeUs;
};

class TSession final : public ISampleSink {
public:
    TSession() = default;
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    // ISampleSink: a plain Append is a reading as sent. Frames appended
    // without their place in the read (Append, AppendReading) take the
    // read's time.
    void Append(TAxis axis, double value) override { AppendReading(axis, value, true); }
    void AppendReading(TAxis axis, double value, bool valid) override;
    void AppendFrame(TAxis axis, double value, bool valid, int bytesAfter) override;
    void BeginRead(std::int64_t timeNs) override;

    // The session's start, on the monotonic clock of BeginRead: the first
    // time the port opened. Later calls change nothing. A read that comes
    // before any start starts the session itself.
    void MarkStart(std::int64_t timeNs);
    bool Started() const { return m_started; }
    std::int64_t StartNs() const { return m_startNs; }

    // The port opened at timeNs with line: a new stream, whose first bytes
    // came after it. The first opening starts the session. Throws
    // std::bad_alloc, changing nothing.
    void MarkOpening(std::int64_t timeNs, const TLineTiming& line);
    // The line's settings changed while open: from the next read on.
    void SetLine(const TLineTiming& line);
    const std::vector<TOpening>& Openings() const { return m_openings; }

    const TSampleStore& Values(TAxis axis) const { return m_axes[axis].Values; }
    std::int64_t Count(TAxis axis) const { return m_axes[axis].Values.Count(); }
    bool Valid(TAxis axis, std::int64_t index) const { return m_axes[axis].Valid[std::size_t(index)]; }
    // The longest times between neighbouring points of an axis, over
    // ranges of them.
    const TAxisGaps& Gaps(TAxis axis) const { return m_axes[axis].Gaps; }
    // Held values (validity bit clear) of an axis with index in [first, last).
    std::int64_t HeldCount(TAxis axis, std::int64_t first, std::int64_t last) const
    {
        return (last - first) - std::int64_t(m_axes[axis].Valid.CountOnes(std::size_t(first), std::size_t(last)));
    }
    // Arrival time of a point, microseconds from the session's start.
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
    // one must be the next of its axis, and no time may come before the
    // one before it (std::invalid_argument otherwise). Runs of frames
    // evenly spaced in time, give or take a microsecond, are kept as one
    // batch. Throws std::bad_alloc, leaving the session as it was.
    void AppendRecord(const TFrameRecord& frame);
    // Index of the axis' first point: 0 but in a recording read back.
    std::int64_t FirstIndex(TAxis axis) const { return m_firstIndex[axis]; }

private:
    struct TAxisData {
        TSampleStore Values;
        TBitArray Valid;
        TAxisGaps Gaps;
        bool AfterStop = false;  // its next point is the first since the port opened again
    };

    void Notify();
    // How the next frame's time is kept: a new batch or not, and which.
    enum class TBatchKind : std::uint8_t { None, Read, Clamped, Constant, Recorded };
    void AppendAt(TAxis axis, double value, bool valid);
    // Appends the frame's value, validity and time, and its axis to the
    // log, after its batch was begun; reserved before.
    void Push(TAxis axis, float value, bool valid, std::int64_t timeUs);
    // The line's time for after bytes, as floor(after x P / Q) with its
    // remainder, and its step for three bytes less.
    void StartQuotient(std::int64_t after);
    void Reserve(TAxis axis, bool newBatch);

    TAxisData m_axes[AxisCount];
    TArrivalLog m_log;
    bool m_started = false;
    std::int64_t m_startNs = 0;
    std::vector<ISessionListener*> m_waiting;
    std::int64_t m_firstIndex[AxisCount] = {};
    std::vector<TOpening> m_openings;

    // The read being decoded, and what it may not come before: the read
    // before it, or the opening of the port.
    std::int64_t m_readUs = 0;
    std::int64_t m_floorUs = 0;
    std::int64_t m_openUs = 0;
    bool m_haveRead = false;
    bool m_readPending = false;  // its first frame starts a new batch
    TLineTiming m_line;
    // The line's time for the bytes after the next frame of a read batch,
    // kept as a quotient and a remainder, so that a frame costs no
    // division.
    std::int64_t m_quotient = 0;
    std::int64_t m_remainder = 0;
    std::int64_t m_stepQuotient = 0;
    std::int64_t m_stepRemainder = 0;
    // The batch the frames go to now.
    TBatchKind m_batch = TBatchKind::None;
    std::int64_t m_nextAfter = 0;  // Read, Clamped: bytes after the next frame if it follows
    std::int64_t m_batchUs = 0;    // Constant, Clamped: their time
    std::uint64_t m_batchFirst = 0;
    std::int64_t m_stepUs = -1;    // Recorded: -1 until its second frame
    std::int64_t m_lastUs = 0;     // Recorded: the last frame's time
};
