#include "arrival_log.h"

#include <algorithm>
#include <limits>

namespace {

// Position of frame k of a run in the run's cycle of axes.
int AxisAt(int firstAxis, int step, std::uint64_t k)
{
    return int((std::uint64_t(firstAxis) + (step == 0 ? 0 : k * std::uint64_t(step))) % AxisCount);
}

}  // namespace

bool TArrivalLog::FitsBlock(std::int64_t timeUs) const
{
    if (m_blocks.Empty())
        return false;
    const TBlock& block = m_blocks.Back();
    const std::uint64_t entries = m_entries.Size() - block.FirstEntry;
    return entries < EntriesPerBlock && m_count - block.FirstFrame <= std::numeric_limits<std::uint32_t>::max()
        && timeUs >= block.BaseUs
        && std::uint64_t(timeUs - block.BaseUs) <= std::numeric_limits<std::uint32_t>::max();
}

void TArrivalLog::ReserveSlow(TAxis axis, bool newBatch)
{
    if (!FitsRun(axis) && m_runs.size() == m_runs.capacity())
        m_runs.reserve(std::max<std::size_t>(4, m_runs.size() * 2));
    if (newBatch || m_blocks.Empty()) {
        m_entries.Reserve();
        m_blocks.Reserve();
    }
}

void TArrivalLog::AppendSlow(TAxis axis, bool newBatch, std::int64_t timeUs)
{
    ReserveSlow(axis, newBatch);
    int step;
    if (m_expected == int(axis)) {
        step = m_step;  // the common case: the run goes on
    } else if (m_expected == AnyAxis) {
        step = (int(axis) - m_runs.back().FirstAxis + AxisCount) % AxisCount;
        m_runs.back().Step = std::uint8_t(step);
    } else {
        TRun run{};
        run.FirstFrame = m_count;
        for (int a = 0; a < AxisCount; ++a)
            run.FirstIndex[a] = m_axisCount[a];
        run.FirstAxis = std::uint8_t(axis);
        run.Step = UnknownStep;
        m_runs.push_back(run);
        step = -1;
    }
    m_step = step;
    if (step < 0) {
        m_expected = AnyAxis;
    } else {
        m_expected = int(axis) + step;
        if (m_expected >= AxisCount)
            m_expected -= AxisCount;
    }
    if (m_blocks.Empty()) {
        // Frames before any read (appended directly) count from time 0.
        newBatch = true;
        timeUs = std::max<std::int64_t>(timeUs, 0);
    }
    if (newBatch) {
        if (!FitsBlock(timeUs))
            m_blocks.PushBack({m_count, timeUs, m_entries.Size()});
        const TBlock& block = m_blocks.Back();
        m_entries.PushBack({std::uint32_t(m_count - block.FirstFrame), std::uint32_t(timeUs - block.BaseUs)});
    }
    ++m_axisCount[axis];
    ++m_count;
}

std::size_t TArrivalLog::RunOfFrame(std::uint64_t frame) const
{
    const auto it = std::upper_bound(m_runs.begin(), m_runs.end(), frame,
                                     [](std::uint64_t f, const TRun& run) { return f < run.FirstFrame; });
    return std::size_t(it - m_runs.begin()) - 1;
}

TFramePoint TArrivalLog::Point(std::uint64_t frame) const
{
    const TRun& run = m_runs[RunOfFrame(frame)];
    const std::uint64_t k = frame - run.FirstFrame;
    const int step = run.Step == UnknownStep ? 0 : run.Step;
    const int axis = AxisAt(run.FirstAxis, step, k);
    std::int64_t before;  // frames of axis in the run before frame k
    if (step == 0) {
        before = std::int64_t(k);
    } else {
        // The axis comes every third frame, first at offset r.
        int r = 0;
        while (AxisAt(run.FirstAxis, step, std::uint64_t(r)) != axis)
            ++r;
        before = std::int64_t((k - std::uint64_t(r)) / 3);
    }
    return {TAxis(axis), run.FirstIndex[axis] + before};
}

std::uint64_t TArrivalLog::Frame(TAxis axis, std::int64_t index) const
{
    // The last run in which the axis had reached at most index points holds
    // that point.
    const auto it = std::upper_bound(m_runs.begin(), m_runs.end(), index,
                                     [axis](std::int64_t i, const TRun& run) { return i < run.FirstIndex[axis]; });
    const TRun& run = *(it - 1);
    const std::int64_t m = index - run.FirstIndex[axis];
    if (run.Step == UnknownStep || run.Step == 0)
        return run.FirstFrame + std::uint64_t(m);
    int r = 0;
    while (AxisAt(run.FirstAxis, run.Step, std::uint64_t(r)) != axis)
        ++r;
    return run.FirstFrame + std::uint64_t(r) + 3 * std::uint64_t(m);
}

std::uint64_t TArrivalLog::BlockEnd(std::size_t block) const
{
    return block + 1 < m_blocks.Size() ? m_blocks[block + 1].FirstEntry : m_entries.Size();
}

std::uint64_t TArrivalLog::EntryEnd(std::size_t block, std::size_t entry) const
{
    if (entry + 1 < BlockEnd(block))
        return m_blocks[block].FirstFrame + m_entries[entry + 1].FrameOffset;
    // A block's first entry starts at the block's first frame.
    return block + 1 < m_blocks.Size() ? m_blocks[block + 1].FirstFrame : m_count;
}

std::size_t TArrivalLog::BlockOfFrame(std::uint64_t frame) const
{
    std::size_t lo = 0, hi = m_blocks.Size();
    while (hi - lo > 1) {
        const std::size_t mid = (lo + hi) / 2;
        (m_blocks[mid].FirstFrame <= frame ? lo : hi) = mid;
    }
    return lo;
}

std::size_t TArrivalLog::EntryOfFrame(std::uint64_t frame) const
{
    const std::size_t b = BlockOfFrame(frame);
    const TBlock& block = m_blocks[b];
    std::size_t first = std::size_t(block.FirstEntry);
    std::size_t last = std::size_t(BlockEnd(b));  // entries [first, last)
    while (last - first > 1) {
        const std::size_t mid = (first + last) / 2;
        (block.FirstFrame + m_entries[mid].FrameOffset <= frame ? first : last) = mid;
    }
    return first;
}

std::int64_t TArrivalLog::TimeUs(std::uint64_t frame) const
{
    const std::size_t b = BlockOfFrame(frame);
    return m_blocks[b].BaseUs + std::int64_t(m_entries[EntryOfFrame(frame)].TimeOffsetUs);
}

std::size_t TArrivalLog::HeldBytes() const
{
    return m_runs.capacity() * sizeof(TRun) + m_blocks.HeldBytes() + m_entries.HeldBytes();
}

TArrivalLog::TWalker::TWalker(const TArrivalLog& log, std::uint64_t frame)
    : m_log(&log), m_frame(frame), m_end(log.m_count)
{
    if (AtEnd())
        return;
    m_run = log.RunOfFrame(frame);
    EnterRun(m_run);
    // Bring the counts from the run's start to this frame.
    const TRun& run = log.m_runs[m_run];
    const std::uint64_t k = frame - run.FirstFrame;
    for (int a = 0; a < AxisCount; ++a) {
        std::int64_t before = 0;  // frames of axis a in the run before frame k
        if (m_step == 0) {
            before = a == run.FirstAxis ? std::int64_t(k) : 0;
        } else {
            int r = 0;
            while (r < AxisCount && AxisAt(run.FirstAxis, m_step, std::uint64_t(r)) != a)
                ++r;
            before = k > std::uint64_t(r) ? std::int64_t((k - std::uint64_t(r) + 2) / 3) : 0;
        }
        m_index[a] = run.FirstIndex[a] + before;
    }
    m_axis = AxisAt(run.FirstAxis, m_step, k);
    m_block = log.BlockOfFrame(frame);
    m_entry = log.EntryOfFrame(frame);
    EnterEntry();
}

void TArrivalLog::TWalker::EnterRun(std::size_t run)
{
    const TRun& r = m_log->m_runs[run];
    m_runEnd = run + 1 < m_log->m_runs.size() ? m_log->m_runs[run + 1].FirstFrame : m_end;
    m_step = r.Step == UnknownStep ? 0 : r.Step;
    m_axis = r.FirstAxis;
    for (int a = 0; a < AxisCount; ++a)
        m_index[a] = r.FirstIndex[a];
}

void TArrivalLog::TWalker::EnterEntry()
{
    m_timeUs = m_log->m_blocks[m_block].BaseUs + std::int64_t(m_log->m_entries[m_entry].TimeOffsetUs);
    m_entryEnd = m_log->EntryEnd(m_block, m_entry);
}

void TArrivalLog::TWalker::Next()
{
    ++m_frame;
    if (AtEnd())
        return;
    if (m_frame >= m_runEnd) {
        EnterRun(++m_run);
    } else {
        ++m_index[m_axis];
        m_axis = (m_axis + m_step) % AxisCount;
    }
    if (m_frame >= m_entryEnd) {
        ++m_entry;
        if (m_entry >= m_log->BlockEnd(m_block))
            ++m_block;
        EnterEntry();
    }
}
