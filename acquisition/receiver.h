#pragma once
// The receive path's one owner: the receive state of the stream, the
// decoding of what arrives, and the link's counters.
//
// Capture calls HandleRxChar on every receive notification of the port;
// the receiver takes the waiting bytes, stamps each read with the
// monotonic clock (handed to the sink through BeginRead), decodes them and
// hands every frame to the sink. Whenever the port opens, StreamRestarted()
// drops the start of a frame left over from the previous stream, which
// would otherwise be glued to the first bytes of the new one; the held
// values carry over, as they always have.
//
// Qt-free.

#include "frame_decoder.h"

#include <cstdint>
#include <functional>

// What the link has delivered since the program started.
struct TLinkCounters {
    std::uint64_t Frames[AxisCount] = {};  // frames decoded, per axis
    std::uint64_t FailedChecks = 0;        // frames whose check failed (held values)
    std::uint64_t SkippedBytes = 0;        // bytes that were not part of a frame
    std::uint64_t BytesRead = 0;
    std::uint64_t Reads = 0;               // reads that delivered bytes
    std::int64_t LastReadNs = 0;           // monotonic time of the last of them

    std::uint64_t TotalFrames() const { return Frames[axX] + Frames[axY] + Frames[axZ]; }
};

// Nanoseconds on the monotonic clock.
std::int64_t MonotonicNs();

class TReceiver {
public:
    using TClock = std::function<std::int64_t()>;

    explicit TReceiver(TClock clock = MonotonicNs);
    TReceiver(const TReceiver&) = delete;
    TReceiver& operator=(const TReceiver&) = delete;

    // One receive notification with count bytes waiting in source.
    void HandleRxChar(int count, IRxSource& source, ISampleSink& sink);

    // A new stream begins (the port opened): drops a partial frame.
    void StreamRestarted();

    const TReceiveState& State() const { return m_state; }
    TLinkCounters Counters() const;
    std::int64_t Now() const { return m_clock(); }

private:
    class TTimedSource;
    class TCountingSink;

    TClock m_clock;
    TReceiveState m_state{};
    TLinkCounters m_counters;
};
