#include "axis_times.h"

#include <algorithm>
#include <cmath>

namespace {

// Batches stepped through one by one before a search.
constexpr int NearBatches = 4;

}  // namespace

TAxisTimes::TAxisTimes(const TSession& session, TAxis axis)
    : m_order(session.Log().Order()),
      m_times(session.Log().Times()),
      m_axis(axis),
      m_frames(session.FrameCount()),
      m_points(session.Count(axis))
{
    m_piece.IndexBegin = m_piece.IndexEnd = 0;
}

std::int64_t TAxisTimes::FrameTime(std::uint64_t frame)
{
    if (!m_haveBatch) {
        m_batch = m_times.BatchOf(frame, m_frames);
        m_haveBatch = true;
    }
    for (int step = 0; step < NearBatches && frame >= m_batch.End; ++step)
        m_batch = m_times.Next(m_batch, m_frames);
    for (int step = 0; step < NearBatches && frame < m_batch.First; ++step)
        m_batch = m_times.Previous(m_batch, m_frames);
    if (frame < m_batch.First || frame >= m_batch.End)
        m_batch = m_times.BatchOf(frame, m_frames);
    return m_times.TimeIn(m_batch, frame);
}

std::int64_t TAxisTimes::TimeUs(std::int64_t index)
{
    if (index == m_lastIndex)
        return m_lastTime;
    if (!m_piece.Holds(index))
        m_piece = m_order.PieceOf(m_axis, index, m_piece.IndexEnd > 0 ? m_piece.Page : TAxisOrder::NoHint);
    m_lastTime = FrameTime(m_piece.FrameOf(index));
    m_lastIndex = index;
    return m_lastTime;
}

std::int64_t TAxisTimes::Estimate(std::int64_t timeUs) const
{
    // The points per microsecond where the last lookup was: the line's
    // rate over the frames of a read, the step of timed frames.
    double usPerFrame = 0;
    if (m_batch.Read && m_batch.Line.Known())
        usPerFrame = 1.5e6 * double(m_batch.Line.HalfBits) / double(m_batch.Line.Baud);
    else if (!m_batch.Read)
        usPerFrame = double(m_batch.Param);
    const double usPerPoint = usPerFrame * double(m_piece.Stride);
    const double ahead = double(timeUs - m_lastTime);
    if (!(usPerPoint > 0))
        return m_lastIndex + (ahead > 0 ? 1 : ahead < 0 ? -1 : 0);
    const double points = std::clamp(ahead / usPerPoint, -1e15, 1e15);
    return m_lastIndex + std::int64_t(std::ceil(points));
}

std::int64_t TAxisTimes::FirstAtOrAfter(std::int64_t first, std::int64_t last, std::int64_t timeUs)
{
    last = std::min(last, m_points);
    if (first >= last)
        return last;
    std::int64_t start = m_lastIndex >= 0 ? Estimate(timeUs) : first;
    start = std::clamp(start, first, last - 1);
    // The answer lies in (lo, hi]: lo's time is below timeUs (or lo is
    // before first), hi's is at least timeUs (or hi is last).
    std::int64_t lo;
    std::int64_t hi;
    if (TimeUs(start) >= timeUs) {
        hi = start;
        lo = start - 1;
        for (std::int64_t step = 1;; step *= 2) {
            if (lo < first) {
                lo = first - 1;
                break;
            }
            if (TimeUs(lo) < timeUs)
                break;
            hi = lo;
            lo = hi - step;
        }
    } else {
        lo = start;
        hi = start + 1;
        for (std::int64_t step = 1;; step *= 2) {
            if (hi >= last) {
                hi = last;
                break;
            }
            if (TimeUs(hi) >= timeUs)
                break;
            lo = hi;
            hi = lo + step;
        }
    }
    while (hi - lo > 1) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        (TimeUs(mid) >= timeUs ? hi : lo) = mid;
    }
    return hi;
}
