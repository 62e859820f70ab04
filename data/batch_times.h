#pragma once
// The time of every frame, in microseconds from the session's start, kept
// per batch of frames rather than per frame.
//
// A frame is complete when its last byte arrives, which is before the read
// that brings it: the bytes after it in the same read took the line's time
// too. So the frames of a read are placed back from the read's time, each
// by the time the line took to carry the bytes that followed it (start,
// data, parity and stop bits at the port's rate), and never before the
// read before it nor the port's opening: what a read brings arrived after
// the read before it took everything. Batches are of two kinds:
//
// - a read batch: contiguous frames of one read. It holds the read's time
//   R and the bytes A that followed its first frame in the read; frame j
//   of the batch comes at R - floor((A - 3j) x (the line's time per
//   byte)). The line's settings are kept per stretch of frames (SetLine),
//   not per batch. Frames that the rule above would place before the read
//   before go in a timed batch at that read's time instead, and a byte
//   that could not start a frame starts a new read batch;
// - a timed batch: the first frame's time T, a step S, and for each frame
//   after the first a bit set when it came S + 1 microseconds after the
//   one before rather than S (one bit per frame, kept only by sessions
//   that use them: recordings read back). Frames of one time, as appended
//   without their place in a read, are a timed batch with step 0.
//
// Blocks of entries hold 32-bit offsets from the block's base, so a batch
// costs 12 bytes however long the session runs; times never go back.
//
// Appends are exception-safe: Reserve() allocates what the next Begin
// needs and may throw, changing nothing. Qt-free.

#include "chunked_array.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// How long a byte takes on the line: HalfBits half bits (start, data,
// parity and stop bits; 1.5 stop bits make whole half bits) at Baud bits
// per second. Unknown: bytes take no time, and the frames of a read share
// its time.
struct TLineTiming {
    std::int64_t HalfBits = 0;
    std::int64_t Baud = 0;

    bool Known() const { return HalfBits > 0 && Baud > 0; }
    // Microseconds that many bytes take, rounded down.
    std::int64_t UsFor(std::int64_t bytes) const { return Known() ? bytes * HalfBits * 500000 / Baud : 0; }
    bool operator==(const TLineTiming& o) const { return HalfBits == o.HalfBits && Baud == o.Baud; }
    bool operator!=(const TLineTiming& o) const { return !(*this == o); }
};

class TBatchTimes {
public:
    // Bytes after a frame are kept below this; a read batch whose first
    // frame had more after it is cut into several.
    static constexpr std::uint32_t MaxAfter = 0x7FFFFFFF;
    // Longest step of a timed batch.
    static constexpr std::uint32_t MaxStep = 0x7FFFFFFF;

    bool Empty() const { return m_blocks.Empty(); }
    std::size_t BatchCount() const { return m_entries.Size(); }

    // Makes room for a new batch.
    void Reserve()
    {
        m_entries.Reserve();
        m_blocks.Reserve();
    }
    // The line's settings for the read batches from frame firstFrame on.
    // Throws std::bad_alloc, changing nothing.
    void SetLine(std::uint64_t firstFrame, const TLineTiming& line);
    const TLineTiming& LineAt(std::uint64_t frame) const;

    // A read batch from frame firstFrame (after the frames of every batch
    // before it): the read came at readUs, with after bytes behind that
    // frame (at most MaxAfter).
    void BeginRead(std::uint64_t firstFrame, std::int64_t readUs, std::uint32_t after);
    // A timed batch from frame firstFrame, its first frame at timeUs, its
    // step 0 until SetStep.
    void BeginTimed(std::uint64_t firstFrame, std::int64_t timeUs);
    // The step of the last batch, a timed batch of one frame so far.
    void SetStep(std::uint32_t stepUs);

    // The bits of timed batches: frame came one microsecond later than
    // the step says. Frames without one have it clear; frames are set in
    // order.
    void ReserveLate(std::uint64_t frame);
    void SetLate(std::uint64_t frame, bool late);

    // Time of a frame of the batches held.
    std::int64_t TimeUs(std::uint64_t frame) const;

    // One batch, found by frame or by time, for lookups that go from
    // batch to batch (axis_times.h).
    struct TBatch {
        std::size_t Block = 0;
        std::size_t Entry = 0;      // over all blocks
        std::uint64_t First = 0;    // its frames [First, End)
        std::uint64_t End = 0;
        bool Read = false;
        std::int64_t TimeUs = 0;    // R of a read batch, T of a timed one
        std::uint32_t Param = 0;    // A of a read batch, S of a timed one
        TLineTiming Line;           // of a read batch
        std::int64_t UsNumerator = 0;  // of a read batch on a line known: P, a byte's time P / Baud
        double PerBaud = 0;
    };
    // The batch holding frame, of the batches that hold frames [0, end).
    TBatch BatchOf(std::uint64_t frame, std::uint64_t end) const;
    // The same, searched from a batch near it.
    TBatch BatchNear(const TBatch& near, std::uint64_t frame, std::uint64_t end) const;
    // A hint that BatchNear will look for frame from a batch of block:
    // asks the memory for the entries it will likely read first.
    void Prefetch(std::size_t block, std::uint64_t frame, std::uint64_t end) const;
    // The batch of entry, which is in block.
    TBatch BatchAt(std::size_t block, std::size_t entry, std::uint64_t end) const;
    // The batch of entry (< BatchCount()), in block blockHint or not.
    TBatch BatchAtEntry(std::size_t entry, std::size_t blockHint, std::uint64_t end) const;
    // The time of its first frame.
    std::int64_t FirstTime(const TBatch& batch) const { return TimeIn(batch, batch.First); }
    // The batch after (before) one; the last (first) one gives itself.
    TBatch Next(const TBatch& batch, std::uint64_t end) const;
    TBatch Previous(const TBatch& batch, std::uint64_t end) const;
    // The time of frame (within the batch).
    std::int64_t TimeIn(const TBatch& batch, std::uint64_t frame) const;
    // The first frame of the batch at or after timeUs; End when none.
    std::uint64_t FirstAtOrAfter(const TBatch& batch, std::int64_t timeUs) const;
    // The first frame of [0, end) at or after timeUs (end when none),
    // searched from the batch near it; found: the batch holding it.
    std::uint64_t FirstFrameAtOrAfter(const TBatch& near, std::int64_t timeUs, std::uint64_t end,
                                      TBatch& found) const;

    // The times of frames [frame, end) in order, end at most the frames
    // the batches hold; O(1) per frame.
    class TWalker {
    public:
        TWalker(const TBatchTimes& times, std::uint64_t frame, std::uint64_t end);
        std::int64_t TimeUs() const { return m_timeUs; }
        // On to the next frame, numbered frame.
        void Next(std::uint64_t frame)
        {
            if (frame >= m_end)
                return;
            if (frame >= m_batch.End) {
                m_batch = m_times->Next(m_batch, m_end);
                Enter(frame);
            } else if (m_batch.Read) {
                // R - floor(A x P / Q) with A three bytes less each time:
                // the quotient and remainder go down by those of 3P / Q.
                m_remainder -= m_stepRemainder;
                m_quotient -= m_stepQuotient;
                if (m_remainder < 0) {
                    m_remainder += m_line.Baud;
                    --m_quotient;
                }
                m_timeUs = m_batch.TimeUs - m_quotient;
            } else if (m_batch.Param != 0 || m_times->m_lateSize > 0) {
                m_timeUs += std::int64_t(m_batch.Param) + (m_times->Late(frame) ? 1 : 0);
            }
        }

    private:
        void Enter(std::uint64_t frame);

        const TBatchTimes* m_times;
        std::uint64_t m_end;
        TBatch m_batch;
        TLineTiming m_line;
        std::int64_t m_timeUs = 0;
        std::int64_t m_quotient = 0;
        std::int64_t m_remainder = 0;
        std::int64_t m_stepQuotient = 0;
        std::int64_t m_stepRemainder = 0;
    };

    // Memory held, in bytes.
    std::size_t HeldBytes() const;

private:
    struct TBlock {
        std::uint64_t FirstFrame;
        std::int64_t BaseUs;
        std::uint64_t FirstEntry;
    };
    struct TEntry {
        std::uint32_t FrameOffset;  // from the block's FirstFrame
        std::uint32_t TimeOffsetUs; // from the block's BaseUs
        std::uint32_t Param;        // TimedFlag | S, or A
    };
    struct TLineSpan {
        std::uint64_t FirstFrame;
        TLineTiming Line;
    };
    static constexpr std::uint64_t EntriesPerBlock = 4096;
    static constexpr std::uint32_t TimedFlag = 0x80000000u;

    void Begin(std::uint64_t firstFrame, std::int64_t timeUs, std::uint32_t param);
    bool FitsBlock(std::uint64_t firstFrame, std::int64_t timeUs) const;
    std::size_t BlockOfFrame(std::uint64_t frame) const;
    // The same, searched from a block near it.
    std::size_t BlockNear(std::size_t near, std::uint64_t frame) const;
    std::size_t EntryOfFrame(std::size_t block, std::uint64_t frame) const;
    std::uint64_t BlockEnd(std::size_t block) const;
    // The block holding entry: hint, or found.
    std::size_t BlockOfEntry(std::size_t entry, std::size_t hint) const;
    // The time of the first frame of entry, in block.
    std::int64_t EntryFirstTime(std::size_t block, std::size_t entry) const;
    // First frame after the batch that entry starts, entry being in block;
    // end for the last batch.
    std::uint64_t EntryEnd(std::size_t block, std::size_t entry, std::uint64_t end) const;
    bool Late(std::uint64_t frame) const
    {
        return frame < m_lateSize && ((m_late[std::size_t(frame >> 6)] >> (frame & 63)) & 1u);
    }
    // Frames with their bit set in [first, end).
    std::uint64_t LateCount(std::uint64_t first, std::uint64_t end) const;

    TChunkedArray<TBlock, 8> m_blocks;
    TChunkedArray<TEntry, 12> m_entries;
    std::vector<TLineSpan> m_lines;
    TChunkedArray<std::uint64_t, 12> m_late;
    std::uint64_t m_lateSize = 0;  // frames with a bit
};
