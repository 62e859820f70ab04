#include "session.h"

#include <algorithm>
#include <stdexcept>

void TSession::MarkStart(std::int64_t timeNs)
{
    if (m_started)
        return;
    m_started = true;
    m_startNs = timeNs;
}

void TSession::MarkOpening(std::int64_t timeNs, const TLineTiming& line)
{
    MarkStart(timeNs);
    const std::int64_t us = std::max<std::int64_t>(0, (timeNs - m_startNs) / 1000);
    TOpening opening{m_log.Count(), {}, us};
    for (int a = 0; a < AxisCount; ++a)
        opening.Points[a] = Count(TAxis(a));
    m_openings.reserve(m_openings.size() + 1);
    m_log.Times().SetLine(m_log.Count(), line);
    m_openings.push_back(opening);  // cannot throw: reserved
    m_line = line;
    m_openUs = us;
    m_readPending = true;
    for (TAxisData& axis : m_axes)
        axis.AfterStop = axis.Values.Count() > 0;
}

void TSession::SetLine(const TLineTiming& line)
{
    m_log.Times().SetLine(m_log.Count(), line);
    m_line = line;
    m_readPending = true;
}

void TSession::BeginRead(std::int64_t timeNs)
{
    MarkStart(timeNs);
    // Nanoseconds to whole microseconds, never before the start.
    const std::int64_t us = std::max<std::int64_t>(0, (timeNs - m_startNs) / 1000);
    // What this read brings came after the read before took everything,
    // and after the port opened.
    m_floorUs = std::max(m_haveRead ? m_readUs : 0, m_openUs);
    m_readUs = std::max(us, m_floorUs);
    m_haveRead = true;
    m_readPending = true;
}

void TSession::Reserve(TAxis axis, bool newBatch)
{
    TAxisData& data = m_axes[axis];
    // Every allocation first, so that a failure leaves the session whole.
    data.Values.Reserve();
    data.Valid.Reserve();
    data.Gaps.Reserve();
    m_log.Reserve(axis, newBatch);
}

void TSession::Push(TAxis axis, float value, bool valid, std::int64_t timeUs)
{
    TAxisData& data = m_axes[axis];
    data.Values.Append(value);
    data.Valid.PushBack(valid);
    data.Gaps.Append(timeUs, data.AfterStop);
    data.AfterStop = false;
    m_log.Append(axis);
    m_readPending = false;
    if (!m_waiting.empty())
        Notify();
}

void TSession::AppendReading(TAxis axis, double value, bool valid)
{
    AppendAt(axis, value, valid);
}

void TSession::AppendAt(TAxis axis, double value, bool valid)
{
    // At the read's time, with the frames before it that had it.
    const bool newBatch = !(m_batch == TBatchKind::Constant && m_batchUs == m_readUs);
    Reserve(axis, newBatch);
    if (newBatch) {
        m_log.Times().BeginTimed(m_log.Count(), m_readUs);
        m_batch = TBatchKind::Constant;
        m_batchUs = m_readUs;
    }
    Push(axis, float(value), valid, m_readUs);
}

void TSession::StartQuotient(std::int64_t after)
{
    const std::int64_t p = m_line.HalfBits * 500000;
    m_quotient = after * p / m_line.Baud;
    m_remainder = after * p % m_line.Baud;
    m_stepQuotient = 3 * p / m_line.Baud;
    m_stepRemainder = 3 * p % m_line.Baud;
}

void TSession::AppendFrame(TAxis axis, double value, bool valid, int bytesAfter)
{
    const std::int64_t after = bytesAfter;
    if (after == m_nextAfter && !m_readPending && m_batch == TBatchKind::Read) {
        // Every frame of a read but the first: three bytes on.
        Reserve(axis, false);
        m_nextAfter = after - 3;
        m_remainder -= m_stepRemainder;
        m_quotient -= m_stepQuotient;
        if (m_remainder < 0) {
            m_remainder += m_line.Baud;
            --m_quotient;
        }
        Push(axis, float(value), valid, m_readUs - m_quotient);
        return;
    }
    if (!m_line.Known() || after < 0 || after > std::int64_t(TBatchTimes::MaxAfter)) {
        AppendAt(axis, value, valid);
        return;
    }
    // Back from the read's time by the bytes after it, but not before the
    // read before: those frames wait at that read's time.
    const std::int64_t raw = m_readUs - m_line.UsFor(after);
    const bool clamped = raw < m_floorUs;
    const bool follows = !m_readPending && after == m_nextAfter;
    const TBatchKind kind = clamped ? TBatchKind::Clamped : TBatchKind::Read;
    const bool newBatch = !(follows && kind == m_batch);
    Reserve(axis, newBatch);
    if (newBatch) {
        if (clamped) {
            m_log.Times().BeginTimed(m_log.Count(), m_floorUs);
            m_batchUs = m_floorUs;
        } else {
            m_log.Times().BeginRead(m_log.Count(), m_readUs, std::uint32_t(after));
            StartQuotient(after);
        }
        m_batch = kind;
    }
    m_nextAfter = after - 3;
    Push(axis, float(value), valid, clamped ? m_floorUs : raw);
}

void TSession::Notify()
{
    // A listener may ask again from inside its callback: take the list first.
    std::vector<ISessionListener*> waiting;
    waiting.swap(m_waiting);
    for (ISessionListener* listener : waiting)
        listener->SessionGrew();
}

void TSession::NotifyOnGrowth(ISessionListener& listener)
{
    if (std::find(m_waiting.begin(), m_waiting.end(), &listener) == m_waiting.end())
        m_waiting.push_back(&listener);
}

void TSession::CancelNotify(ISessionListener& listener)
{
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), &listener), m_waiting.end());
}

TFrameRecord TSession::Record(std::uint64_t frame) const
{
    const TFramePoint p = m_log.Point(frame);
    return {m_log.TimeUs(frame), p.Axis, m_firstIndex[p.Axis] + p.Index, Values(p.Axis).Value(p.Index),
            Valid(p.Axis, p.Index)};
}

TFrameRecord TSession::TReader::Record() const
{
    const TFramePoint p = m_walker.Point();
    return {m_walker.TimeUs(), p.Axis, m_session->m_firstIndex[p.Axis] + p.Index,
            m_session->Values(p.Axis).Value(p.Index), m_session->Valid(p.Axis, p.Index)};
}

namespace {

[[noreturn]] __attribute__((noinline, cold)) void ThrowIndexOutOfSequence()
{
    throw std::invalid_argument("TSession::AppendRecord: index out of sequence");
}

[[noreturn]] __attribute__((noinline, cold)) void ThrowTimeGoesBack()
{
    throw std::invalid_argument("TSession::AppendRecord: time goes back");
}

}  // namespace

void TSession::AppendRecord(const TFrameRecord& frame)
{
    TAxisData& data = m_axes[frame.Axis];
    const std::int64_t count = data.Values.Count();
    if (count > 0 && frame.Index != m_firstIndex[frame.Axis] + count)
        ThrowIndexOutOfSequence();
    const std::uint64_t frames = m_log.Count();
    if (frames > 0 && frame.TimeUs < m_lastUs)
        ThrowTimeGoesBack();
    // The batch goes on while the frames keep its step, or a microsecond
    // more (the step of the line's time per frame, rounded); its second
    // frame sets the step. Batches are kept short enough for the
    // microseconds more to be counted quickly.
    constexpr std::uint64_t MaxRecordedBatch = 1024;
    const std::int64_t delta = frame.TimeUs - m_lastUs;
    const bool recorded = m_batch == TBatchKind::Recorded && frames - m_batchFirst < MaxRecordedBatch;
    bool setStep = false;
    bool late = false;
    bool newBatch = true;
    if (recorded && m_stepUs < 0 && delta <= std::int64_t(TBatchTimes::MaxStep)) {
        setStep = true;
        newBatch = false;
    } else if (recorded && m_stepUs >= 0 && (delta == m_stepUs || delta == m_stepUs + 1)) {
        late = delta != m_stepUs;
        newBatch = false;
    }
    Reserve(frame.Axis, newBatch);
    if (late)
        m_log.Times().ReserveLate(frames);

    if (count == 0)
        m_firstIndex[frame.Axis] = frame.Index;
    if (newBatch) {
        m_log.Times().BeginTimed(frames, frame.TimeUs);
        m_batch = TBatchKind::Recorded;
        m_batchFirst = frames;
        m_stepUs = -1;
    } else if (setStep) {
        m_log.Times().SetStep(std::uint32_t(delta));
        m_stepUs = delta;
    } else if (late) {
        m_log.Times().SetLate(frames, true);
    }
    m_lastUs = frame.TimeUs;
    Push(frame.Axis, frame.Value, frame.Valid, frame.TimeUs);
}

std::size_t TSession::HeldBytes() const
{
    std::size_t bytes = m_log.HeldBytes() + m_openings.capacity() * sizeof(TOpening);
    for (const TAxisData& axis : m_axes)
        bytes += axis.Values.HeldBytes() + axis.Valid.HeldBytes() + axis.Gaps.HeldBytes();
    return bytes;
}
