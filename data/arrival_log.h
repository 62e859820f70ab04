#pragma once
// The order in which frames arrived, across the three axes, and the receive
// time of each.
//
// Order: every frame becomes the next point of its axis, so the session's
// frames are fully described by the sequence of their axes. The device
// sends X, Y, Z, X, ...; the log keeps that sequence as runs in which the
// axis advances by a constant step (1 for X, Y, Z, ...; 0 for a stream of
// one axis), each run with the number of points every axis had when it
// began. A normal stream is one run, whatever its length; a frame out of
// step (a device reset, a frame lost on the line) starts a new one.
//
// Times: the receive time of the read that completed a frame, in
// microseconds from the session's start, kept once per batch of frames from
// the same read: blocks of entries holding 32-bit offsets from the block's
// base, so a batch costs 8 bytes however long the session runs.
//
// Appends are exception-safe: Reserve() allocates what the next Append
// needs and may throw, changing nothing; Append after it does not throw.
// Qt-free.

#include "chunked_array.h"
#include "sensor_axes.h"

#include <cstdint>
#include <vector>

// The point that one frame became.
struct TFramePoint {
    TAxis Axis;
    std::int64_t Index;  // its position in its axis' series
};

class TArrivalLog {
public:
    std::uint64_t Count() const { return m_count; }
    std::int64_t Points(TAxis axis) const { return m_axisCount[axis]; }

    // Makes room for appending a frame of axis; newBatch when it starts a
    // batch with a new time.
    void Reserve(TAxis axis, bool newBatch)
    {
        if (newBatch || !FitsRun(axis) || m_count == 0)
            ReserveSlow(axis, newBatch);
    }
    // The next frame went to axis; when newBatch, it is the first frame of
    // a read received at timeUs.
    void Append(TAxis axis, bool newBatch, std::int64_t timeUs)
    {
        if (m_expected == int(axis) && !newBatch) {
            // Every frame but a few: the run goes on in the same batch.
            m_expected += m_step;
            if (m_expected >= AxisCount)
                m_expected -= AxisCount;
            ++m_axisCount[axis];
            ++m_count;
            return;
        }
        AppendSlow(axis, newBatch, timeUs);
    }

    // The point the frame with arrival number frame (0-based) became.
    TFramePoint Point(std::uint64_t frame) const;
    // The arrival number of the frame that became point index of axis.
    std::uint64_t Frame(TAxis axis, std::int64_t index) const;
    // Receive time of the frame, microseconds from the session's start.
    std::int64_t TimeUs(std::uint64_t frame) const;

    // Walks the frames that the log holds when it is made, in arrival
    // order from a given one, in O(1) per frame. Frames appended later are
    // for another walker.
    class TWalker {
    public:
        TWalker(const TArrivalLog& log, std::uint64_t frame);
        std::uint64_t Frame() const { return m_frame; }
        bool AtEnd() const { return m_frame >= m_end; }
        TFramePoint Point() const { return {TAxis(m_axis), m_index[m_axis]}; }
        std::int64_t TimeUs() const { return m_timeUs; }
        void Next();

    private:
        void EnterRun(std::size_t run);
        void EnterEntry();

        const TArrivalLog* m_log;
        std::uint64_t m_frame;
        std::uint64_t m_end;
        std::size_t m_run = 0;
        std::uint64_t m_runEnd = 0;
        int m_axis = 0;
        int m_step = 0;
        std::int64_t m_index[AxisCount] = {};
        std::size_t m_block = 0;
        std::size_t m_entry = 0;
        std::uint64_t m_entryEnd = 0;  // first frame of the next batch
        std::int64_t m_timeUs = 0;
    };

    // Memory held, in bytes.
    std::size_t HeldBytes() const;

private:
    static constexpr std::uint8_t UnknownStep = 0xFF;

    struct TRun {
        std::uint64_t FirstFrame;
        std::int64_t FirstIndex[AxisCount];  // points per axis before the run
        std::uint8_t FirstAxis;
        std::uint8_t Step;  // 0, 1 or 2; UnknownStep while the run has one frame
    };
    struct TBlock {
        std::uint64_t FirstFrame;
        std::int64_t BaseUs;
        std::uint64_t FirstEntry;
    };
    struct TEntry {
        std::uint32_t FrameOffset;  // from the block's FirstFrame
        std::uint32_t TimeOffsetUs; // from the block's BaseUs
    };
    static constexpr std::uint64_t EntriesPerBlock = 4096;

    void ReserveSlow(TAxis axis, bool newBatch);
    void AppendSlow(TAxis axis, bool newBatch, std::int64_t timeUs);
    // True when a frame of axis continues the current run.
    bool FitsRun(TAxis axis) const { return m_expected == int(axis) || m_expected == AnyAxis; }
    bool FitsBlock(std::int64_t timeUs) const;
    std::size_t RunOfFrame(std::uint64_t frame) const;
    std::size_t EntryOfFrame(std::uint64_t frame) const;
    std::size_t BlockOfFrame(std::uint64_t frame) const;
    // First frame after the batch that entry starts, entry being in block.
    std::uint64_t EntryEnd(std::size_t block, std::size_t entry) const;
    std::uint64_t BlockEnd(std::size_t block) const;

    // The axis the current run expects next; AnyAxis while the run has one
    // frame (the second sets the step), NoRun before the first frame.
    static constexpr int AnyAxis = -1;
    static constexpr int NoRun = -2;

    std::uint64_t m_count = 0;
    std::int64_t m_axisCount[AxisCount] = {};
    int m_expected = NoRun;
    int m_step = -1;  // of the current run, once known
    std::vector<TRun> m_runs;
    TChunkedArray<TBlock, 8> m_blocks;
    TChunkedArray<TEntry, 12> m_entries;
};
