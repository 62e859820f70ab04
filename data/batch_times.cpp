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
    // The last stretch that begins at or before the frame.
    const auto after = std::upper_bound(m_lines.begin(), m_lines.end(), frame,
                                        [](std::uint64_t f, const TLineSpan& span) { return f < span.FirstFrame; });
    return after == m_lines.begin() ? NoLine : (after - 1)->Line;
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

std::size_t TBatchTimes::BlockNear(std::size_t near, std::uint64_t frame) const
{
    // The block near, or where blocks of the mean length would put it,
    // then by steps that double, then halves: blocks [lo, hi) hold it.
    const std::size_t blocks = m_blocks.Size();
    auto atOrBefore = [&](std::size_t b) { return m_blocks.At(b)->FirstFrame <= frame; };
    if (near < blocks && atOrBefore(near) && (near + 1 == blocks || !atOrBefore(near + 1)))
        return near;
    const double perBlock = blocks > 1 ? double(m_blocks.Back().FirstFrame) / double(blocks - 1) : 1;
    const std::size_t start = std::size_t(std::clamp(double(frame) / std::max(perBlock, 1.0), 0.0, double(blocks - 1)));
    std::size_t lo = 0;
    std::size_t hi = blocks;
    if (atOrBefore(start)) {
        lo = start;
        hi = start + 1;
        for (std::size_t step = 1; hi < blocks && atOrBefore(hi); step *= 2) {
            lo = hi;
            hi = std::min(blocks, lo + step);
        }
    } else {
        hi = start;
        for (std::size_t step = 1; hi > 0; step *= 2) {
            const std::size_t at = hi > step ? hi - step : 0;
            if (atOrBefore(at)) {
                lo = at;
                break;
            }
            hi = at;
        }
    }
    while (hi - lo > 1) {
        const std::size_t mid = (lo + hi) / 2;
        (atOrBefore(mid) ? lo : hi) = mid;
    }
    return lo;
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
    if (batch.Read) {
        batch.Line = LineAt(batch.First);
        if (batch.Line.Known()) {
            batch.UsNumerator = batch.Line.HalfBits * 500000;
            batch.PerBaud = 1.0 / double(batch.Line.Baud);
        }
    }
    return batch;
}

std::size_t TBatchTimes::BlockOfEntry(std::size_t entry, std::size_t hint) const
{
    if (hint < m_blocks.Size() && m_blocks[hint].FirstEntry <= entry && entry < BlockEnd(hint))
        return hint;
    std::size_t lo = 0, hi = m_blocks.Size();
    while (hi - lo > 1) {
        const std::size_t mid = (lo + hi) / 2;
        (m_blocks[mid].FirstEntry <= entry ? lo : hi) = mid;
    }
    return lo;
}

std::int64_t TBatchTimes::EntryFirstTime(std::size_t block, std::size_t entry) const
{
    const TBlock& b = *m_blocks.At(block);
    const TEntry& e = *m_entries.At(entry);
    const std::int64_t time = b.BaseUs + std::int64_t(e.TimeOffsetUs);
    if ((e.Param & TimedFlag) != 0)
        return time;
    return time - LineAt(b.FirstFrame + e.FrameOffset).UsFor(std::int64_t(e.Param));
}

TBatchTimes::TBatch TBatchTimes::BatchAtEntry(std::size_t entry, std::size_t blockHint, std::uint64_t end) const
{
    return BatchAt(BlockOfEntry(entry, blockHint), entry, end);
}

std::uint64_t TBatchTimes::FirstFrameAtOrAfter(const TBatch& near, std::int64_t timeUs, std::uint64_t end,
                                               TBatch& found) const
{
    const std::size_t entries = m_entries.Size();
    // The last batch whose first frame comes before timeUs holds the
    // frame, or it is the next one's first: entries [lo, hi) hold it, lo
    // before timeUs (or none, -1), hi at or after it (or none, entries).
    std::size_t block = near.Block;
    auto before = [&](std::size_t e) {
        block = BlockOfEntry(e, block);
        return EntryFirstTime(block, e) < timeUs;
    };
    std::ptrdiff_t lo;
    std::ptrdiff_t hi;
    std::ptrdiff_t start = std::ptrdiff_t(std::min(near.Entry, entries - 1));
    {
        // Where the block's batches, evenly spread over its time, would
        // put it, when the time is within the block.
        const std::size_t firstEntry = std::size_t(m_blocks[block].FirstEntry);
        const std::size_t lastEntry = std::size_t(BlockEnd(block)) - 1;
        const std::int64_t from = EntryFirstTime(block, firstEntry);
        const std::int64_t to = EntryFirstTime(block, lastEntry);
        if (timeUs > from && timeUs <= to) {
            const double at = double(timeUs - from) / double(to - from) * double(lastEntry - firstEntry);
            start = std::ptrdiff_t(firstEntry) + std::ptrdiff_t(at);
        }
    }
    if (before(std::size_t(start))) {
        lo = start;
        hi = start + 1;
        for (std::ptrdiff_t step = 1; hi < std::ptrdiff_t(entries) && before(std::size_t(hi)); step *= 2) {
            lo = hi;
            hi = lo + step;
        }
        hi = std::min(hi, std::ptrdiff_t(entries));
    } else {
        hi = start;
        lo = start - 1;
        for (std::ptrdiff_t step = 1; lo >= 0 && !before(std::size_t(lo)); step *= 2) {
            hi = lo;
            lo = hi - step;
        }
        lo = std::max<std::ptrdiff_t>(lo, -1);
    }
    while (hi - lo > 1) {
        const std::ptrdiff_t mid = lo + (hi - lo) / 2;
        (before(std::size_t(mid)) ? lo : hi) = mid;
    }
    if (lo < 0) {
        found = BatchAtEntry(0, block, end);
        return 0;
    }
    found = BatchAtEntry(std::size_t(lo), block, end);
    const std::uint64_t frame = FirstAtOrAfter(found, timeUs);
    if (frame >= found.End && frame < end)
        found = Next(found, end);
    return frame;
}

TBatchTimes::TBatch TBatchTimes::BatchOf(std::uint64_t frame, std::uint64_t end) const
{
    const std::size_t block = BlockOfFrame(frame);
    return BatchAt(block, EntryOfFrame(block, frame), end);
}

TBatchTimes::TBatch TBatchTimes::BatchNear(const TBatch& near, std::uint64_t frame, std::uint64_t end) const
{
    const std::size_t block = BlockNear(near.Block, frame);
    const TBlock& b = *m_blocks.At(block);
    const std::uint64_t blockEnd = block + 1 < m_blocks.Size() ? m_blocks[block + 1].FirstFrame : end;
    // From where batches of the near one's size would put it, steps that
    // double, then halves: entries [lo, hi) hold the frame's, lo's first
    // frame at or before it.
    const std::size_t firstEntry = std::size_t(b.FirstEntry);
    const std::size_t lastEntry = std::size_t(BlockEnd(block));
    auto firstFrame = [&](std::size_t e) { return b.FirstFrame + m_entries.At(e)->FrameOffset; };
    // Batches of the block's mean size.
    const double size = double(blockEnd - b.FirstFrame) / double(std::max<std::size_t>(1, lastEntry - firstEntry));
    const double guess = double(firstEntry) + (double(frame) - double(b.FirstFrame)) / std::max(size, 1.0);
    const std::size_t start = std::size_t(std::clamp(guess, double(firstEntry), double(lastEntry - 1)));
    std::size_t lo = start;
    std::size_t hi = start + 1;
    if (firstFrame(start) <= frame) {
        for (std::size_t step = 1; hi < lastEntry && firstFrame(hi) <= frame; step *= 2) {
            lo = hi;
            hi = lo + step;
        }
        hi = std::min(hi, lastEntry);
    } else {
        hi = start;
        lo = hi;
        for (std::size_t step = 1; lo > firstEntry;) {
            lo = hi - firstEntry > step ? hi - step : firstEntry;
            if (firstFrame(lo) <= frame)
                break;
            hi = lo;
            step *= 2;
        }
    }
    while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        (firstFrame(mid) <= frame ? lo : hi) = mid;
    }
    return BatchAt(block, lo, end);
}

void TBatchTimes::Prefetch(std::size_t nearBlock, std::uint64_t frame, std::uint64_t end) const
{
    if (m_blocks.Empty())
        return;
    const std::size_t block = BlockNear(std::min(nearBlock, m_blocks.Size() - 1), frame);
    const TBlock& b = *m_blocks.At(block);
    const std::uint64_t blockEnd = block + 1 < m_blocks.Size() ? m_blocks[block + 1].FirstFrame : end;
    const std::size_t firstEntry = std::size_t(b.FirstEntry);
    const std::size_t lastEntry = std::size_t(BlockEnd(block));
    if (frame < b.FirstFrame || lastEntry <= firstEntry)
        return;
    const double size = double(blockEnd - b.FirstFrame) / double(lastEntry - firstEntry);
    const double guess = double(firstEntry) + (double(frame) - double(b.FirstFrame)) / std::max(size, 1.0);
    const std::size_t entry = std::size_t(std::clamp(guess, double(firstEntry), double(lastEntry - 1)));
    __builtin_prefetch(m_entries.At(entry));
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
    if (batch.Read) {
        if (batch.UsNumerator == 0)
            return batch.TimeUs;
        // floor(bytes x P / Q), by the reciprocal and then exact: a
        // division costs more, and this runs for every point looked up.
        const std::int64_t num = (std::int64_t(batch.Param) - 3 * std::int64_t(j)) * batch.UsNumerator;
        const std::int64_t baud = batch.Line.Baud;
        std::int64_t q = std::int64_t(double(num) * batch.PerBaud);
        std::int64_t r = num - q * baud;
        while (r < 0) {
            --q;
            r += baud;
        }
        while (r >= baud) {
            ++q;
            r -= baud;
        }
        return batch.TimeUs - q;
    }
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
