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

void TSession::BeginRead(std::int64_t timeNs)
{
    MarkStart(timeNs);
    // Nanoseconds to whole microseconds, never before the start.
    const std::int64_t us = std::max<std::int64_t>(0, (timeNs - m_startNs) / 1000);
    if (us == m_readUs && m_log.Count() > 0)
        return;  // same time as the batch before: it simply goes on
    m_readUs = us;
    m_readPending = true;
}

void TSession::AppendReading(TAxis axis, double value, bool valid)
{
    TAxisData& data = m_axes[axis];
    // Every allocation first, so that a failure leaves the session whole.
    data.Values.Reserve();
    data.Valid.Reserve();
    m_log.Reserve(axis, m_readPending);

    data.Values.Append(float(value));
    data.Valid.PushBack(valid);
    m_log.Append(axis, m_readPending, m_readUs);
    m_readPending = false;
    if (!m_waiting.empty())
        Notify();
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

void TSession::ThrowIndexOutOfSequence()
{
    throw std::invalid_argument("TSession::AppendRecord: index out of sequence");
}

std::size_t TSession::HeldBytes() const
{
    std::size_t bytes = m_log.HeldBytes();
    for (const TAxisData& axis : m_axes)
        bytes += axis.Values.HeldBytes() + axis.Valid.HeldBytes();
    return bytes;
}
