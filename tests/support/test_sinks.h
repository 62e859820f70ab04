#pragma once
// Stand-ins shared by the tests: a byte buffer in place of the port, and a
// sink that collects what the decoder hands on.

#include "frame_decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

using TBytes = std::vector<uint8_t>;
using TPoint = std::pair<TAxis, double>;
using TPoints = std::vector<TPoint>;

// A byte buffer standing in for the port.
class TBufferSource : public IRxSource {
public:
    explicit TBufferSource(TBytes bytes = {}) : Data(std::move(bytes)) {}
    bool Connected() const override { return IsConnected; }
    int Read(void* buffer, int count) override
    {
        ++Reads;
        const int n = std::min<int>(count, int(Data.size() - Position));
        if (n > 0)
            std::memcpy(buffer, Data.data() + Position, size_t(n));
        Position += size_t(std::max(n, 0));
        return n;
    }
    size_t Waiting() const { return Data.size() - Position; }
    void Push(const TBytes& more) { Data.insert(Data.end(), more.begin(), more.end()); }

    TBytes Data;
    size_t Position = 0;
    bool IsConnected = true;
    int Reads = 0;
};

// Collects the points, their validity, where they ended in their read and
// the read times it is given.
class TCollectingSink : public ISampleSink {
public:
    void Append(TAxis axis, double value) override { AppendReading(axis, value, true); }
    void AppendReading(TAxis axis, double value, bool valid) override
    {
        if (BeforeAppend)
            BeforeAppend(Points.size());
        Points.emplace_back(axis, value);
        Validity.push_back(valid);
    }
    void AppendFrame(TAxis axis, double value, bool valid, int bytesAfter) override
    {
        AppendReading(axis, value, valid);
        BytesAfter.push_back(bytesAfter);
    }
    void BeginRead(std::int64_t timeNs) override { ReadTimes.push_back(timeNs); }

    // Called with the number of points so far; may throw to act as a
    // failing chart.
    std::function<void(size_t)> BeforeAppend;
    TPoints Points;
    std::vector<bool> Validity;
    // Per frame, the bytes of its read that came after it.
    std::vector<int> BytesAfter;
    std::vector<std::int64_t> ReadTimes;
};

// The three bytes of a frame with the given check nibble and value.
inline TBytes Frame(uint8_t tag, int check, int value)
{
    return {tag, uint8_t((check << 4) | ((value >> 8) & 0x0F)), uint8_t(value & 0xFF)};
}

inline TBytes Cat(std::initializer_list<TBytes> parts)
{
    TBytes out;
    for (const TBytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
