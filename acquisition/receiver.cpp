#include "receiver.h"

#include <chrono>

std::int64_t MonotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The port as the decoder reads it, stamping and counting every read.
class TReceiver::TTimedSource : public IRxSource {
public:
    TTimedSource(TReceiver& receiver, IRxSource& source, ISampleSink& sink)
        : m_receiver(receiver), m_source(source), m_sink(sink)
    {
    }
    bool Connected() const override { return m_source.Connected(); }
    int Read(void* buffer, int count) override
    {
        const int got = m_source.Read(buffer, count);
        if (got > 0) {
            // The decoder uses no more than it asked for, whatever the
            // source claims.
            const int used = got < count ? got : count;
            TLinkCounters& c = m_receiver.m_counters;
            c.BytesRead += std::uint64_t(used);
            ++c.Reads;
            c.LastReadNs = m_receiver.m_clock();
            m_sink.BeginRead(c.LastReadNs);
        }
        return got;
    }

private:
    TReceiver& m_receiver;
    IRxSource& m_source;
    ISampleSink& m_sink;
};

// The sink as the decoder sees it, counting every frame.
class TReceiver::TCountingSink : public ISampleSink {
public:
    TCountingSink(TLinkCounters& counters, ISampleSink& sink) : m_counters(counters), m_sink(sink) {}
    void Append(TAxis axis, double value) override { AppendReading(axis, value, true); }
    void AppendReading(TAxis axis, double value, bool valid) override
    {
        Count(axis, valid);
        m_sink.AppendReading(axis, value, valid);
    }
    void AppendFrame(TAxis axis, double value, bool valid, int bytesAfter) override
    {
        Count(axis, valid);
        m_sink.AppendFrame(axis, value, valid, bytesAfter);
    }

private:
    void Count(TAxis axis, bool valid)
    {
        ++m_counters.Frames[axis];
        if (!valid)
            ++m_counters.FailedChecks;
    }

    TLinkCounters& m_counters;
    ISampleSink& m_sink;
};

TReceiver::TReceiver(TClock clock) : m_clock(std::move(clock)) {}

void TReceiver::HandleRxChar(int count, IRxSource& source, ISampleSink& sink)
{
    TTimedSource timed(*this, source, sink);
    TCountingSink counting(m_counters, sink);
    ::HandleRxChar(m_state, count, timed, counting);
}

void TReceiver::StreamRestarted()
{
    // The bytes dropped here were read but never decoded: they count as
    // skipped (see Counters).
    m_state.RxPending = 0;
}

TLinkCounters TReceiver::Counters() const
{
    TLinkCounters c = m_counters;
    // Every byte read is part of a decoded frame, waits in the partial
    // frame, or was skipped.
    c.SkippedBytes = c.BytesRead - 3 * c.TotalFrames() - m_state.RxPending;
    return c;
}
