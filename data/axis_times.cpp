#include "axis_times.h"

#include <algorithm>
#include <cmath>

namespace {

// A frame this near the end of the batch at hand is most likely in the
// next one.
constexpr std::uint64_t NearFrames = 8;

}  // namespace

TAxisTimes::TAxisTimes(const TSession& session, TAxis axis)
    : m_order(session.Log().Order()),
      m_times(session.Log().Times()),
      m_gaps(session.Gaps(axis)),
      m_axis(axis),
      m_frames(session.FrameCount()),
      m_points(session.Count(axis))
{
}

std::int64_t TAxisTimes::FrameTime(std::uint64_t frame)
{
    TPlace* current = &m_places[m_current];
    if (!(current->HaveBatch && frame >= current->Batch.First && frame < current->Batch.End)) {
        int nearest = -1;
        int oldest = 0;
        std::uint64_t distance = 0;
        int holding = -1;
        for (int p = 0; p < Places && holding < 0; ++p) {
            const TPlace& place = m_places[p];
            if (place.Used < m_places[oldest].Used)
                oldest = p;
            if (!place.HaveBatch)
                continue;
            if (frame >= place.Batch.First && frame < place.Batch.End) {
                holding = p;
                break;
            }
            const std::uint64_t d = frame < place.Batch.First ? place.Batch.First - frame : frame - place.Batch.End;
            if (nearest < 0 || d < distance) {
                nearest = p;
                distance = d;
            }
        }
        if (holding >= 0) {
            m_current = holding;
        } else {
            // The place least used of late moves there, from the nearest.
            TPlace& place = m_places[oldest];
            if (nearest < 0) {
                place.Batch = m_times.BatchOf(frame, m_frames);
            } else {
                const TBatchTimes::TBatch& from = m_places[nearest].Batch;
                place.Batch = frame >= from.End && frame < from.End + NearFrames ? m_times.Next(from, m_frames) : from;
                if (frame < place.Batch.First || frame >= place.Batch.End)
                    place.Batch = m_times.BatchNear(place.Batch, frame, m_frames);
            }
            place.HaveBatch = true;
            m_current = oldest;
        }
        current = &m_places[m_current];
    }
    current->Used = ++m_uses;
    return m_times.TimeIn(current->Batch, frame);
}

void TAxisTimes::Prefetch(std::int64_t index) const
{
    if (m_piece.IndexEnd <= m_piece.IndexBegin || index < 0 || index >= m_points)
        return;
    // Its frame as if the stretch at hand went on, and the batch where
    // batches of the block's mean size would put it.
    const std::int64_t frame = std::int64_t(m_piece.FrameBegin) + std::int64_t(m_piece.Stride) * (index - m_piece.IndexBegin);
    if (frame >= 0 && std::uint64_t(frame) < m_frames)
        m_times.Prefetch(m_places[m_current].Batch.Block, std::uint64_t(frame), m_frames);
}

std::int64_t TAxisTimes::TimeUs(std::int64_t index)
{
    if (index == m_lastIndex)
        return m_lastTime;
    if (!m_piece.Holds(index))
        m_piece = m_order.PieceOf(m_axis, index, m_piece.IndexEnd > m_piece.IndexBegin ? m_piece.Page : TAxisOrder::NoHint);
    m_lastTime = FrameTime(m_piece.FrameOf(index));
    m_lastIndex = index;
    return m_lastTime;
}

std::int64_t TAxisTimes::Estimate(std::int64_t timeUs) const
{
    // The points per microsecond where the last lookup was: the line's
    // rate over the frames of a read, the step of timed frames.
    const TPlace& place = m_places[m_current];
    double usPerFrame = 0;
    if (place.Batch.Read && place.Batch.Line.Known())
        usPerFrame = 1.5e6 * double(place.Batch.Line.HalfBits) / double(place.Batch.Line.Baud);
    else if (!place.Batch.Read)
        usPerFrame = double(place.Batch.Param);
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
    if (m_lastIndex >= 0) {
        // Mostly the estimate, or the point after it.
        const std::int64_t i = std::clamp(Estimate(timeUs), first, last - 1);
        if (TimeUs(i) >= timeUs) {
            if (i == first || TimeUs(i - 1) < timeUs)
                return i;
        } else if (i + 1 == last || TimeUs(i + 1) >= timeUs) {
            return i + 1;
        }
    }
    // Else by frames: the first at or after the time, among the batches
    // from the one at hand, then the axis' first point from it.
    TPlace& place = m_places[m_current];
    if (!place.HaveBatch) {
        place.Batch = m_times.BatchOf(0, m_frames);
        place.HaveBatch = true;
    }
    TBatchTimes::TBatch found;
    const std::uint64_t frame = m_times.FirstFrameAtOrAfter(place.Batch, timeUs, m_frames, found);
    const std::int64_t index = std::clamp(m_order.PointsBefore(m_axis, frame), first, last);
    if (index < m_points) {
        // The next estimate starts from it, the batch found at hand.
        if (frame < m_frames) {
            place.Batch = found;
            place.HaveBatch = true;
        }
        TimeUs(index);
    }
    return index;
}
