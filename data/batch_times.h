#pragma once
// The receive time of the frames: the time of the read that completed a
// frame, in microseconds from the session's start, kept once per batch of
// frames from the same read. Blocks of entries hold 32-bit offsets from
// the block's base, so a batch costs 8 bytes however long the session
// runs. Kept apart from the frames' order: what is known per read grows
// here without touching the order.
//
// Appends are exception-safe: Reserve() allocates what the next Begin
// needs and may throw, changing nothing. Qt-free.

#include "chunked_array.h"

#include <cstddef>
#include <cstdint>

class TBatchTimes {
public:
    bool Empty() const { return m_blocks.Empty(); }

    // Makes room for a new batch.
    void Reserve()
    {
        m_entries.Reserve();
        m_blocks.Reserve();
    }
    // A batch received at timeUs starts at frame firstFrame (after the
    // frames of every batch before it).
    void Begin(std::uint64_t firstFrame, std::int64_t timeUs);

    // Receive time of a frame of the batches held.
    std::int64_t TimeUs(std::uint64_t frame) const;

    // The times of frames [frame, end) in order, end at most the frames
    // the batches hold; O(1) per frame.
    class TWalker {
    public:
        TWalker(const TBatchTimes& times, std::uint64_t frame, std::uint64_t end);
        std::int64_t TimeUs() const { return m_timeUs; }
        // On to the next frame, numbered frame.
        void Next(std::uint64_t frame)
        {
            if (frame >= m_entryEnd && frame < m_end)
                NextEntry();
        }

    private:
        void NextEntry();
        void EnterEntry();

        const TBatchTimes* m_times;
        std::uint64_t m_end;
        std::size_t m_block = 0;
        std::size_t m_entry = 0;
        std::uint64_t m_entryEnd = 0;  // first frame of the next batch
        std::int64_t m_timeUs = 0;
    };

    // Memory held, in bytes.
    std::size_t HeldBytes() const { return m_blocks.HeldBytes() + m_entries.HeldBytes(); }

private:
    struct TBlock {
        std::uint64_t FirstFrame;
        std::int64_t BaseUs;
        std::uint64_t FirstEntry;
    };
    struct TEntry {
        std::uint32_t FrameOffset;   // from the block's FirstFrame
        std::uint32_t TimeOffsetUs;  // from the block's BaseUs
    };
    static constexpr std::uint64_t EntriesPerBlock = 4096;

    bool FitsBlock(std::uint64_t firstFrame, std::int64_t timeUs) const;
    std::size_t BlockOfFrame(std::uint64_t frame) const;
    std::size_t EntryOfFrame(std::size_t block, std::uint64_t frame) const;
    std::uint64_t BlockEnd(std::size_t block) const;
    // First frame after the batch that entry starts, entry being in block;
    // end for the last batch.
    std::uint64_t EntryEnd(std::size_t block, std::size_t entry, std::uint64_t end) const;

    TChunkedArray<TBlock, 8> m_blocks;
    TChunkedArray<TEntry, 12> m_entries;
};
