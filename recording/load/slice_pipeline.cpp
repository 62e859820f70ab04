#include "slice_pipeline.h"

#include <algorithm>

TSlicePipeline::TSlicePipeline(const TMappedFile& file, std::uint64_t begin, const TSettings& settings,
                               std::function<void()> onHeadReady)
    : m_file(file),
      m_begin(begin),
      m_sliceBytes(std::max<std::uint64_t>(settings.SliceBytes, 1)),
      m_onHeadReady(std::move(onHeadReady)),
      m_slots(std::max(settings.Window, 1u)),
      m_ready(m_slots.size(), 0),
      m_wanted(begin < file.Size() ? (file.Size() - begin + m_sliceBytes - 1) / m_sliceBytes : 0)
{
    const unsigned threads = std::max(settings.Threads, 1u);
    try {
        for (unsigned i = 0; i < threads; ++i)
            m_threads.emplace_back(&TSlicePipeline::Work, this);
    } catch (...) {
        Stop();
        throw;
    }
}

TSlicePipeline::~TSlicePipeline()
{
    Stop();
}

void TSlicePipeline::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads)
        if (thread.joinable())
            thread.join();
}

const TParsedSlice* TSlicePipeline::Head()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::size_t slot = std::size_t(m_head % m_slots.size());
    return m_head < m_wanted && m_ready[slot] ? &m_slots[slot] : nullptr;
}

void TSlicePipeline::PopHead()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ready[std::size_t(m_head % m_slots.size())] = 0;
        ++m_head;
    }
    m_wake.notify_all();
}

bool TSlicePipeline::Exhausted()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_head >= m_wanted;
}

void TSlicePipeline::Work()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_next >= m_wanted || m_next < m_head + m_slots.size(); });
        if (m_stop || m_next >= m_wanted)
            return;
        const std::uint64_t index = m_next++;
        const std::size_t slot = std::size_t(index % m_slots.size());
        lock.unlock();
        Parse(index, m_slots[slot]);
        lock.lock();
        m_ready[slot] = 1;
        if (m_slots[slot].End != TParsedSlice::TEnd::SliceEnd)
            m_wanted = std::min(m_wanted, index + 1);  // nothing after it is read
        if (index == m_head && m_onHeadReady) {
            lock.unlock();
            m_onHeadReady();
            lock.lock();
        }
    }
}

void TSlicePipeline::Parse(std::uint64_t index, TParsedSlice& slice)
{
    const std::uint64_t size = m_file.Size();
    const std::uint64_t begin = m_begin + index * m_sliceBytes;
    const std::uint64_t end = std::min(size, begin + m_sliceBytes);
    try {
        slice.Reset(std::size_t((end - begin) / MinRowBytes + 1));
    } catch (...) {
        slice.Rows = 0;
        slice.Begin = slice.ParsedEnd = begin;
        slice.End = TParsedSlice::TEnd::NoMemory;
        return;
    }
    m_file.Prefetch(begin, end + MaxRowLineBytes);
    const bool whole = m_file.Guarded([&] {
        const std::uint64_t first = index == 0 ? begin : FirstLineStart(m_file.Data(), begin, end);
        ParseRows(m_file.Data(), size, first, end, slice);
    });
    if (!whole) {
        // What was parsed of the slice is not trusted: it ends before it.
        slice.Reset(0);
        slice.Begin = slice.ParsedEnd = begin;
        slice.End = TParsedSlice::TEnd::FileShrank;
    }
    m_file.Drop(begin, end);
}
