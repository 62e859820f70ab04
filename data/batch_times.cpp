#include "batch_times.h"

#include <limits>

bool TBatchTimes::FitsBlock(std::uint64_t firstFrame, std::int64_t timeUs) const
{
    if (m_blocks.Empty())
        return false;
    const TBlock& block = m_blocks.Back();
    const std::uint64_t entries = m_entries.Size() - block.FirstEntry;
    return entries < EntriesPerBlock && firstFrame - block.FirstFrame <= std::numeric_limits<std::uint32_t>::max()
        && timeUs >= block.BaseUs
        && std::uint64_t(timeUs - block.BaseUs) <= std::numeric_limits<std::uint32_t>::max();
}

void TBatchTimes::Begin(std::uint64_t firstFrame, std::int64_t timeUs)
{
    Reserve();
    if (!FitsBlock(firstFrame, timeUs))
        m_blocks.PushBack({firstFrame, timeUs, m_entries.Size()});
    const TBlock& block = m_blocks.Back();
    m_entries.PushBack({std::uint32_t(firstFrame - block.FirstFrame), std::uint32_t(timeUs - block.BaseUs)});
}

std::uint64_t TBatchTimes::BlockEnd(std::size_t block) const
{
    return block + 1 < m_blocks.Size() ? m_blocks[block + 1].FirstEntry : m_entries.Size();
}

std::uint64_t TBatchTimes::EntryEnd(std::size_t block, std::size_t entry, std::uint64_t end) const
{
    if (entry + 1 < BlockEnd(block))
        return m_blocks[block].FirstFrame + m_entries[entry + 1].FrameOffset;
    // A block's first entry starts at the block's first frame.
    return block + 1 < m_blocks.Size() ? m_blocks[block + 1].FirstFrame : end;
}

std::size_t TBatchTimes::BlockOfFrame(std::uint64_t frame) const
{
    std::size_t lo = 0, hi = m_blocks.Size();
    while (hi - lo > 1) {
        const std::size_t mid = (lo + hi) / 2;
        (m_blocks[mid].FirstFrame <= frame ? lo : hi) = mid;
    }
    return lo;
}

std::size_t TBatchTimes::EntryOfFrame(std::size_t b, std::uint64_t frame) const
{
    const TBlock& block = *m_blocks.At(b);
    std::size_t first = std::size_t(block.FirstEntry);
    std::size_t last = std::size_t(BlockEnd(b));  // entries [first, last)
    while (last - first > 1) {
        const std::size_t mid = (first + last) / 2;
        (block.FirstFrame + m_entries[mid].FrameOffset <= frame ? first : last) = mid;
    }
    return first;
}

std::int64_t TBatchTimes::TimeUs(std::uint64_t frame) const
{
    const std::size_t b = BlockOfFrame(frame);
    return m_blocks[b].BaseUs + std::int64_t(m_entries[EntryOfFrame(b, frame)].TimeOffsetUs);
}

TBatchTimes::TWalker::TWalker(const TBatchTimes& times, std::uint64_t frame, std::uint64_t end)
    : m_times(&times), m_end(end)
{
    if (frame >= end)
        return;
    m_block = times.BlockOfFrame(frame);
    m_entry = times.EntryOfFrame(m_block, frame);
    EnterEntry();
}

void TBatchTimes::TWalker::EnterEntry()
{
    m_timeUs = m_times->m_blocks[m_block].BaseUs + std::int64_t(m_times->m_entries[m_entry].TimeOffsetUs);
    m_entryEnd = m_times->EntryEnd(m_block, m_entry, m_end);
}

void TBatchTimes::TWalker::NextEntry()
{
    ++m_entry;
    if (m_entry >= m_times->BlockEnd(m_block))
        ++m_block;
    EnterEntry();
}
