#include "batch_times.h"

#include <algorithm>
#include <limits>

namespace {

const TLineTiming NoLine{};

}  // namespace

void TBatchTimes::SetLine(std::uint64_t firstFrame, const TLineTiming& line)
{
    if (!m_lines.empty() && m_lines.back().FirstFrame == firstFrame) {
        m_lines.back().Line = line;
        return;
    }
    if (LineAt(firstFrame) == line)
        return;
    m_lines.push_back({firstFrame, line});
}

const TLineTiming& TBatchTimes::LineAt(std::uint64_t frame) const
{
    // A handful of stretches, one per opening of the port at most.
    for (std::size_t i = m_lines.size(); i > 0; --i) {
        if (m_lines[i - 1].FirstFrame <= frame)
            return m_lines[i - 1].Line;
    }
    return NoLine;
}

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

void TBatchTimes::Begin(std::uint64_t firstFrame, std::int64_t timeUs, std::uint32_t param)
{
    Reserve();
    if (!FitsBlock(firstFrame, timeUs))
        m_blocks.PushBack({firstFrame, timeUs, m_entries.Size()});
    const TBlock& block = m_blocks.Back();
    m_entries.PushBack({std::uint32_t(firstFrame - block.FirstFrame), std::uint32_t(timeUs - block.BaseUs), param});
}

void TBatchTimes::BeginRead(std::uint64_t firstFrame, std::int64_t readUs, std::uint32_t after)
{
    Begin(firstFrame, readUs, std::min(after, MaxAfter));
}

void TBatchTimes::BeginTimed(std::uint64_t firstFrame, std::int64_t timeUs)
{
    Begin(firstFrame, timeUs, TimedFlag);
}

void TBatchTimes::SetStep(std::uint32_t stepUs)
{
    TEntry& entry = m_entries.Back();
    entry.Param = TimedFlag | std::min(stepUs, MaxStep);
}

void TBatchTimes::ReserveLate(std::uint64_t frame)
{
    const std::size_t words = std::size_t(frame >> 6) + 1;
    if (words > m_late.Size())
        m_late.Reserve(words - m_late.Size());
}

void TBatchTimes::SetLate(std::uint64_t frame, bool late)
{
    if (!late)
        return;  // a frame without a bit has it clear
    ReserveLate(frame);
    // Frames come in order: the word holding this one is the last.
    const std::size_t word = std::size_t(frame >> 6);
    while (m_late.Size() <= word)
        m_late.PushBack(0);
    m_late.Back() |= std::uint64_t(1) << (frame & 63);
    m_lateSize = std::max(m_lateSize, frame + 1);
}

std::uint64_t TBatchTimes::LateCount(std::uint64_t first, std::uint64_t end) const
{
    end = std::min(end, m_lateSize);
    if (first >= end)
        return 0;
    std::uint64_t count = 0;
    std::size_t word = std::size_t(first >> 6);
    const std::size_t lastWord = std::size_t((end - 1) >> 6);
    std::uint64_t bits = m_late[word] & (~std::uint64_t(0) << (first & 63));
    for (; word < lastWord; bits = m_late[++word])
        count += std::uint64_t(__builtin_popcountll(bits));
    const unsigned tail = unsigned(end & 63);
    if (tail != 0)
        bits &= (std::uint64_t(1) << tail) - 1;
    return count + std::uint64_t(__builtin_popcountll(bits));
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

TBatchTimes::TBatch TBatchTimes::BatchAt(std::size_t block, std::size_t entry, std::uint64_t end) const
{
    const TBlock& b = *m_blocks.At(block);
    const TEntry& e = *m_entries.At(entry);
    TBatch batch;
    batch.Block = block;
    batch.Entry = entry;
    batch.First = b.FirstFrame + e.FrameOffset;
    batch.End = EntryEnd(block, entry, end);
    batch.TimeUs = b.BaseUs + std::int64_t(e.TimeOffsetUs);
    batch.Read = (e.Param & TimedFlag) == 0;
    batch.Param = e.Param & ~TimedFlag;
    if (batch.Read)
        batch.Line = LineAt(batch.First);
    return batch;
}

TBatchTimes::TBatch TBatchTimes::BatchAtEntry(std::size_t entry, std::size_t blockHint, std::uint64_t end) const
{
    std::size_t block = blockHint;
    if (!(block < m_blocks.Size() && m_blocks[block].FirstEntry <= entry && entry < BlockEnd(block))) {
        std::size_t lo = 0, hi = m_blocks.Size();
        while (hi - lo > 1) {
            const std::size_t mid = (lo + hi) / 2;
            (m_blocks[mid].FirstEntry <= entry ? lo : hi) = mid;
        }
        block = lo;
    }
    return BatchAt(block, entry, end);
}

TBatchTimes::TBatch TBatchTimes::BatchOf(std::uint64_t frame, std::uint64_t end) const
{
    const std::size_t block = BlockOfFrame(frame);
    return BatchAt(block, EntryOfFrame(block, frame), end);
}

TBatchTimes::TBatch TBatchTimes::Next(const TBatch& batch, std::uint64_t end) const
{
    const std::size_t entry = batch.Entry + 1;
    if (entry >= m_entries.Size())
        return batch;
    return BatchAt(entry >= BlockEnd(batch.Block) ? batch.Block + 1 : batch.Block, entry, end);
}

TBatchTimes::TBatch TBatchTimes::Previous(const TBatch& batch, std::uint64_t end) const
{
    if (batch.Entry == 0)
        return batch;
    const std::size_t entry = batch.Entry - 1;
    return BatchAt(entry < m_blocks[batch.Block].FirstEntry ? batch.Block - 1 : batch.Block, entry, end);
}

std::int64_t TBatchTimes::TimeIn(const TBatch& batch, std::uint64_t frame) const
{
    const std::uint64_t j = frame - batch.First;
    if (batch.Read)
        return batch.TimeUs - batch.Line.UsFor(std::int64_t(batch.Param) - 3 * std::int64_t(j));
    std::int64_t t = batch.TimeUs + std::int64_t(j) * std::int64_t(batch.Param);
    if (j > 0 && m_lateSize > batch.First + 1)
        t += std::int64_t(LateCount(batch.First + 1, frame + 1));
    return t;
}

std::uint64_t TBatchTimes::FirstAtOrAfter(const TBatch& batch, std::int64_t timeUs) const
{
    if (batch.TimeUs >= timeUs && !batch.Read)
        return batch.First;
    if (batch.Read) {
        if (batch.TimeUs < timeUs)
            return batch.End;
        // R - floor((A - 3j) P / Q) >= t, with d = R - t >= 0: the first j
        // with (A - 3j) P < (d + 1) Q.
        const TLineTiming& line = batch.Line;
        const std::int64_t d = batch.TimeUs - timeUs;
        const std::int64_t a = std::int64_t(batch.Param);
        if (!line.Known() || d >= line.UsFor(a))
            return batch.First;
        const std::int64_t p = line.HalfBits * 500000;
        const std::int64_t n = a * p - (d + 1) * line.Baud;
        const std::uint64_t j = n < 0 ? 0 : std::uint64_t(n / (3 * p) + 1);
        return std::min(batch.End, batch.First + j);
    }
    // A timed batch past its first frame.
    const std::int64_t step = std::int64_t(batch.Param);
    if (m_lateSize <= batch.First + 1) {
        if (step == 0)
            return batch.End;
        const std::uint64_t j = std::uint64_t((timeUs - batch.TimeUs + step - 1) / step);
        return j >= batch.End - batch.First ? batch.End : batch.First + j;
    }
    std::uint64_t lo = batch.First;  // before the answer
    std::uint64_t hi = batch.End;    // at or after it
    while (hi - lo > 1) {
        const std::uint64_t mid = lo + (hi - lo) / 2;
        (TimeIn(batch, mid) >= timeUs ? hi : lo) = mid;
    }
    return hi;
}

std::int64_t TBatchTimes::TimeUs(std::uint64_t frame) const
{
    // As TimeIn, without the rest of the batch.
    const std::size_t b = BlockOfFrame(frame);
    const TBlock& block = *m_blocks.At(b);
    const TEntry& entry = *m_entries.At(EntryOfFrame(b, frame));
    const std::uint64_t first = block.FirstFrame + entry.FrameOffset;
    const std::int64_t time = block.BaseUs + std::int64_t(entry.TimeOffsetUs);
    const std::int64_t j = std::int64_t(frame - first);
    if ((entry.Param & TimedFlag) == 0)
        return time - LineAt(first).UsFor(std::int64_t(entry.Param) - 3 * j);
    std::int64_t t = time + j * std::int64_t(entry.Param & ~TimedFlag);
    if (j > 0 && m_lateSize > first + 1)
        t += std::int64_t(LateCount(first + 1, frame + 1));
    return t;
}

std::size_t TBatchTimes::HeldBytes() const
{
    return m_blocks.HeldBytes() + m_entries.HeldBytes() + m_lines.capacity() * sizeof(TLineSpan)
        + m_late.HeldBytes();
}

TBatchTimes::TWalker::TWalker(const TBatchTimes& times, std::uint64_t frame, std::uint64_t end)
    : m_times(&times), m_end(end)
{
    if (frame >= end)
        return;
    m_batch = times.BatchOf(frame, end);
    Enter(frame);
}

void TBatchTimes::TWalker::Enter(std::uint64_t frame)
{
    m_timeUs = m_times->TimeIn(m_batch, frame);
    if (!m_batch.Read)
        return;
    m_line = m_batch.Line;
    if (!m_line.Known()) {
        m_quotient = m_remainder = m_stepQuotient = m_stepRemainder = 0;
        m_line.Baud = 1;
        return;
    }
    const std::int64_t p = m_line.HalfBits * 500000;
    const std::int64_t after = std::int64_t(m_batch.Param) - 3 * std::int64_t(frame - m_batch.First);
    m_quotient = after * p / m_line.Baud;
    m_remainder = after * p % m_line.Baud;
    m_stepQuotient = 3 * p / m_line.Baud;
    m_stepRemainder = 3 * p % m_line.Baud;
}
