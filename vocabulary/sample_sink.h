#pragma once
// Where decoded readings go: the decoder writes to it, the session is one.
// Here rather than with the decoder so that whatever holds readings (the
// session, a test's collector) need not know how frames are decoded.

#include "sensor_axes.h"

#include <cstdint>

class ISampleSink {
public:
    virtual ~ISampleSink() = default;
    virtual void Append(TAxis axis, double value) = 0;
    // What the decoder calls for each frame: valid is false when the value
    // is the axis' held value standing in for a reading that failed its
    // check. Sinks that do not keep validity get a plain Append.
    virtual void AppendReading(TAxis axis, double value, bool /*valid*/) { Append(axis, value); }
    // The same, with where the frame ended in its read: bytesAfter bytes
    // of the read came after its last byte. Sinks that keep no times get
    // AppendReading.
    virtual void AppendFrame(TAxis axis, double value, bool valid, int /*bytesAfter*/)
    {
        AppendReading(axis, value, valid);
    }
    // The readings that follow, up to the next call, come from bytes taken
    // off the port at timeNs (a monotonic clock, nanoseconds). Sinks that
    // keep no times ignore it.
    virtual void BeginRead(std::int64_t /*timeNs*/) {}
};
