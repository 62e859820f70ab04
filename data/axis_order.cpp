#include "axis_order.h"

#include <algorithm>

namespace {

// Axis of frame k of a run.
int AxisAt(int firstAxis, int step, std::uint64_t k)
{
    return int((std::uint64_t(firstAxis) + (step == 0 ? 0 : k * std::uint64_t(step))) % AxisCount);
}

// Codes are two bits, 0 to 2 the axis: a bit at the low end of each code
// of word that equals axis.
inline std::uint64_t Matches(std::uint64_t word, int axis)
{
    static constexpr std::uint64_t Repeated[AxisCount] = {0, 0x5555555555555555ULL, 0xAAAAAAAAAAAAAAAAULL};
    const std::uint64_t differ = word ^ Repeated[axis];
    return ~(differ | (differ >> 1)) & 0x5555555555555555ULL;
}

// Position of the n-th set bit (0-based) of bits, which has more than n.
inline unsigned NthBit(std::uint64_t bits, std::uint64_t n)
{
    for (; n > 0; --n)
        bits &= bits - 1;
    return unsigned(__builtin_ctzll(bits));
}

}  // namespace

void TAxisOrder::ReserveSlow(TAxis axis)
{
    const std::uint64_t offset = m_count & PageMask;
    if (offset == 0) {
        m_pages.Reserve();
        m_runs.Reserve();
        return;
    }
    const TPage& page = m_pages.Back();
    if (page.Runs == Packed) {
        if (offset % CodesPerWord == 0)
            m_codes.Reserve();
        if (offset % GroupFrames == 0)
            m_groups.Reserve();
        return;
    }
    if (m_expected == int(axis) || m_expected == AnyAxis)
        return;
    if (page.Runs < MaxRuns) {
        m_runs.Reserve();
        return;
    }
    // Over to two bits per frame: the frames so far and this one.
    m_codes.Reserve(std::size_t(offset / CodesPerWord + 1));
    m_groups.Reserve(std::size_t(offset / GroupFrames + 1));
}

void TAxisOrder::AppendSlow(TAxis axis)
{
    ReserveSlow(axis);
    const int a = int(axis);
    const std::uint64_t offset = m_count & PageMask;
    if (offset == 0) {
        TPage page{};
        for (int i = 0; i < AxisCount; ++i)
            page.FirstIndex[i] = m_axisCount[i];
        page.First = m_runs.Size();
        page.Runs = 1;
        m_pages.PushBack(page);
        m_runs.PushBack({0, {0, 0, 0}, std::uint8_t(a), UnknownStep});
        m_expected = AnyAxis;
    } else if (m_pages.Back().Runs == Packed) {
        AppendCode(a, offset);
    } else if (m_expected == AnyAxis) {
        // The run's second frame sets its step.
        TRun& run = m_runs.Back();
        m_step = (a - run.Axis + AxisCount) % AxisCount;
        run.Step = std::uint8_t(m_step);
        m_expected = (a + m_step) % AxisCount;
    } else if (m_pages.Back().Runs < MaxRuns) {
        m_runs.PushBack({std::uint16_t(offset), {InPage(0), InPage(1), InPage(2)}, std::uint8_t(a), UnknownStep});
        ++m_pages.Back().Runs;
        m_expected = AnyAxis;
    } else {
        PackPage(offset);
        AppendCode(a, offset);
    }
    ++m_axisCount[a];
    ++m_count;
}

void TAxisOrder::AppendCode(int axis, std::uint64_t offset)
{
    if (offset % GroupFrames == 0)
        m_groups.PushBack({{InPage(0), InPage(1), InPage(2)}});
    if (offset % CodesPerWord == 0)
        m_codes.PushBack(0);
    m_codes.Back() |= std::uint64_t(axis) << (2 * (offset % CodesPerWord));
}

void TAxisOrder::PackPage(std::uint64_t offset)
{
    TPage& page = m_pages.Back();
    const std::size_t firstRun = std::size_t(page.First);
    const std::size_t endRun = firstRun + page.Runs;
    const std::size_t firstWord = m_codes.Size();
    std::uint16_t before[AxisCount] = {};
    for (std::size_t r = firstRun; r < endRun; ++r) {
        const TRun run = m_runs[r];
        const std::uint64_t end = r + 1 < endRun ? m_runs[r + 1].Offset : offset;
        const int step = run.Step == UnknownStep ? 0 : run.Step;
        int axis = run.Axis;
        for (std::uint64_t k = run.Offset; k < end; ++k) {
            if (k % GroupFrames == 0)
                m_groups.PushBack({{before[0], before[1], before[2]}});
            if (k % CodesPerWord == 0)
                m_codes.PushBack(0);
            m_codes.Back() |= std::uint64_t(axis) << (2 * (k % CodesPerWord));
            ++before[axis];
            axis = (axis + step) % AxisCount;
        }
    }
    m_runs.Truncate(firstRun);
    page.First = firstWord;
    page.Runs = Packed;
    m_expected = NoRun;
}

std::size_t TAxisOrder::RunAt(const TPage& page, std::uint64_t offset) const
{
    std::size_t lo = std::size_t(page.First);
    std::size_t hi = lo + page.Runs;
    while (hi - lo > 1) {
        const std::size_t mid = (lo + hi) / 2;
        (m_runs.At(mid)->Offset <= offset ? lo : hi) = mid;
    }
    return lo;
}

std::int64_t TAxisOrder::BeforeInRun(const TRun& run, int axis, std::uint64_t k)
{
    const int step = run.Step == UnknownStep ? 0 : run.Step;
    if (step == 0)
        return axis == run.Axis ? std::int64_t(k) : 0;
    // The axis comes every third frame, first at offset r.
    std::uint64_t r = 0;
    while (r < AxisCount && AxisAt(run.Axis, step, r) != axis)
        ++r;
    return k > r ? std::int64_t((k - r + 2) / 3) : 0;
}

std::int64_t TAxisOrder::BeforeInCodes(const TPage& page, int axis, std::uint64_t offset) const
{
    const std::size_t group = std::size_t(page.First / WordsPerGroup + offset / GroupFrames);
    std::int64_t before = m_groups.At(group)->Before[axis];
    const std::size_t word = std::size_t(page.First + offset / CodesPerWord);
    for (std::size_t w = group * WordsPerGroup; w < word; ++w)
        before += __builtin_popcountll(Matches(m_codes[w], axis));
    const unsigned inWord = unsigned(offset % CodesPerWord);
    if (inWord > 0)
        before += __builtin_popcountll(Matches(m_codes[word], axis) & ((std::uint64_t(1) << (2 * inWord)) - 1));
    return before;
}

TFramePoint TAxisOrder::Point(std::uint64_t frame) const
{
    const TPage& page = *m_pages.At(std::size_t(frame >> PageBits));
    const std::uint64_t offset = frame & PageMask;
    if (page.Runs == Packed) {
        const std::uint64_t word = m_codes[std::size_t(page.First + offset / CodesPerWord)];
        const int axis = int((word >> (2 * (offset % CodesPerWord))) & 3);
        return {TAxis(axis), page.FirstIndex[axis] + BeforeInCodes(page, axis, offset)};
    }
    const TRun& run = *m_runs.At(RunAt(page, offset));
    const std::uint64_t k = offset - run.Offset;
    const int axis = AxisAt(run.Axis, run.Step == UnknownStep ? 0 : run.Step, k);
    return {TAxis(axis), page.FirstIndex[axis] + run.Before[axis] + BeforeInRun(run, axis, k)};
}

std::size_t TAxisOrder::PageOfPoint(TAxis axis, std::int64_t index, std::size_t hint) const
{
    // The last page in which the axis had reached at most index points
    // holds that point: the hint or the one after it, mostly; else where
    // pages of the axis' mean share would put it, and from there by steps
    // that double, then halves.
    const std::size_t pages = m_pages.Size();
    auto atOrBefore = [&](std::size_t p) { return m_pages.At(p)->FirstIndex[axis] <= index; };
    for (std::size_t p = hint; p < pages && p - hint < 2; ++p) {
        if (atOrBefore(p) && (p + 1 == pages || !atOrBefore(p + 1)))
            return p;
    }
    std::size_t lo = 0;      // at or before
    std::size_t hi = pages;  // after
    if (hint < pages && m_axisCount[axis] > 0) {
        const double perPage = double(m_axisCount[axis]) / double(pages);
        const double guess = double(hint) + double(index - m_pages.At(hint)->FirstIndex[axis]) / perPage;
        const std::size_t start = std::size_t(std::clamp(guess, 0.0, double(pages - 1)));
        if (atOrBefore(start)) {
            lo = start;
            hi = start + 1;
            for (std::size_t step = 1; hi < pages && atOrBefore(hi); step *= 2) {
                lo = hi;
                hi = std::min(pages, lo + step);
            }
        } else {
            hi = start;
            for (std::size_t step = 1;; step *= 2) {
                const std::size_t at = hi > step ? hi - step : 0;
                if (atOrBefore(at)) {
                    lo = at;
                    break;
                }
                hi = at;
                if (at == 0)
                    break;  // page 0 begins at point 0: not reached for index >= 0
            }
        }
    }
    while (hi - lo > 1) {
        const std::size_t mid = (lo + hi) / 2;
        (atOrBefore(mid) ? lo : hi) = mid;
    }
    return lo;
}

std::int64_t TAxisOrder::PointsBefore(TAxis axis, std::uint64_t frame) const
{
    if (frame >= m_count)
        return m_axisCount[axis];
    const TPage& page = *m_pages.At(std::size_t(frame >> PageBits));
    const std::uint64_t offset = frame & PageMask;
    if (page.Runs == Packed)
        return page.FirstIndex[axis] + BeforeInCodes(page, int(axis), offset);
    const TRun& run = *m_runs.At(RunAt(page, offset));
    return page.FirstIndex[axis] + run.Before[axis] + BeforeInRun(run, int(axis), offset - run.Offset);
}

TAxisPiece TAxisOrder::PieceOf(TAxis axis, std::int64_t index, std::size_t pageHint) const
{
    const std::size_t p = PageOfPoint(axis, index, pageHint);
    const TPage& page = *m_pages.At(p);
    const std::uint64_t base = std::uint64_t(p) << PageBits;
    TAxisPiece piece;
    piece.Page = p;
    if (page.Runs == Packed) {
        piece.IndexBegin = index;
        piece.IndexEnd = index + 1;
        piece.FrameBegin = Frame(axis, index);
        return piece;
    }
    const std::int64_t m = index - page.FirstIndex[axis];
    std::size_t first = std::size_t(page.First), last = first + page.Runs;
    while (last - first > 1) {
        const std::size_t mid = (first + last) / 2;
        (m_runs.At(mid)->Before[axis] <= m ? first : last) = mid;
    }
    const TRun& run = *m_runs.At(first);
    const std::uint64_t runEnd = first + 1 < page.First + page.Runs ? m_runs.At(first + 1)->Offset
                                                                     : std::min<std::uint64_t>(m_count - base, PageFrames);
    const int step = run.Step == UnknownStep ? 0 : run.Step;
    std::uint64_t r = 0;
    while (r < AxisCount && AxisAt(run.Axis, step, r) != int(axis))
        ++r;
    piece.IndexBegin = page.FirstIndex[axis] + run.Before[axis];
    piece.IndexEnd = piece.IndexBegin + BeforeInRun(run, int(axis), runEnd - run.Offset);
    piece.FrameBegin = base + run.Offset + r;
    piece.Stride = step == 0 ? 1 : AxisCount;
    return piece;
}

std::uint64_t TAxisOrder::Frame(TAxis axis, std::int64_t index) const
{
    const std::size_t lo = PageOfPoint(axis, index, NoHint);
    const TPage& page = *m_pages.At(lo);
    const std::uint64_t base = std::uint64_t(lo) << PageBits;
    std::int64_t m = index - page.FirstIndex[axis];  // points of axis in the page before it
    if (page.Runs != Packed) {
        std::size_t first = std::size_t(page.First), last = first + page.Runs;
        while (last - first > 1) {
            const std::size_t mid = (first + last) / 2;
            (m_runs.At(mid)->Before[axis] <= m ? first : last) = mid;
        }
        const TRun& run = *m_runs.At(first);
        m -= run.Before[axis];
        const int step = run.Step == UnknownStep ? 0 : run.Step;
        if (step == 0)
            return base + run.Offset + std::uint64_t(m);
        std::uint64_t r = 0;
        while (AxisAt(run.Axis, step, r) != int(axis))
            ++r;
        return base + run.Offset + r + 3 * std::uint64_t(m);
    }
    // The last group of 256 frames in which the axis had reached at most m
    // points, then the word, then the code.
    const std::size_t firstGroup = std::size_t(page.First / WordsPerGroup);
    const std::uint64_t frames = std::min<std::uint64_t>(m_count - base, PageFrames);
    std::size_t group = firstGroup;
    const std::size_t groups = std::size_t((frames + GroupFrames - 1) / GroupFrames);
    while (group + 1 < firstGroup + groups && m_groups.At(group + 1)->Before[axis] <= m)
        ++group;
    m -= m_groups.At(group)->Before[axis];
    // Codes past the last frame read as X; the point is met before them.
    for (std::size_t w = group * WordsPerGroup;; ++w) {
        const std::uint64_t bits = Matches(m_codes[w], int(axis));
        const std::int64_t count = __builtin_popcountll(bits);
        if (m < count)
            return base + (w - std::size_t(page.First)) * CodesPerWord + NthBit(bits, std::uint64_t(m)) / 2;
        m -= count;
    }
}

std::size_t TAxisOrder::HeldBytes() const
{
    return m_pages.HeldBytes() + m_runs.HeldBytes() + m_codes.HeldBytes() + m_groups.HeldBytes();
}

TAxisOrder::TWalker::TWalker(const TAxisOrder& order, std::uint64_t frame, std::uint64_t end)
    : m_order(&order), m_frame(frame), m_end(end)
{
    if (!AtEnd())
        Seek();
}

void TAxisOrder::TWalker::Seek()
{
    const TAxisOrder& o = *m_order;
    const std::size_t pageIndex = std::size_t(m_frame >> PageBits);
    const TPage& page = *o.m_pages.At(pageIndex);
    const std::uint64_t base = std::uint64_t(pageIndex) << PageBits;
    const std::uint64_t offset = m_frame & PageMask;
    m_packed = page.Runs == Packed;
    if (m_packed) {
        for (int a = 0; a < AxisCount; ++a)
            m_index[a] = page.FirstIndex[a] + o.BeforeInCodes(page, a, offset);
        m_wordIndex = std::size_t(page.First + offset / CodesPerWord);
        m_word = o.m_codes[m_wordIndex] >> (2 * (offset % CodesPerWord));
        m_axis = int(m_word & 3);
        return;
    }
    m_run = o.RunAt(page, offset);
    const TRun& run = *o.m_runs.At(m_run);
    const std::uint64_t k = offset - run.Offset;
    m_step = run.Step == UnknownStep ? 0 : run.Step;
    m_runEnd = base + (m_run + 1 < page.First + page.Runs ? o.m_runs.At(m_run + 1)->Offset : PageFrames);
    for (int a = 0; a < AxisCount; ++a)
        m_index[a] = page.FirstIndex[a] + run.Before[a] + BeforeInRun(run, a, k);
    m_axis = AxisAt(run.Axis, m_step, k);
}

void TAxisOrder::TWalker::Next()
{
    ++m_index[m_axis];
    ++m_frame;
    if (AtEnd())
        return;
    if ((m_frame & PageMask) == 0) {
        Seek();
    } else if (m_packed) {
        if (m_frame % CodesPerWord == 0)
            m_word = m_order->m_codes[++m_wordIndex];
        else
            m_word >>= 2;
        m_axis = int(m_word & 3);
    } else if (m_frame >= m_runEnd) {
        // A new run, unless the page has gone over to two bits per frame
        // since: Seek finds either.
        Seek();
    } else {
        m_axis += m_step;
        if (m_axis >= AxisCount)
            m_axis -= AxisCount;
    }
}
