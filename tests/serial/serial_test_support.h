#pragma once
// Helpers shared by the serial tests: a sink that collects points and
// writing to a pty master.

#include "frame_decoder.h"
#include "frame_encoder.h"

#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <stdexcept>
#include <unistd.h>
#include <utility>
#include <vector>

using TPoint = std::pair<TAxis, double>;

class TCollectingSink : public ISampleSink {
public:
    void Append(TAxis axis, double value) override
    {
        if (BeforeAppend)
            BeforeAppend(points.size());
        points.emplace_back(axis, value);
    }
    // Called with the number of points so far; may throw to act as a
    // failing chart.
    std::function<void(size_t)> BeforeAppend;
    std::vector<TPoint> points;
};

inline void WriteAll(int fd, const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno == EINTR)
            continue;
        ASSERT_GT(w, 0) << "write to the pty master failed";
        done += size_t(w);
    }
}

inline std::vector<uint8_t> ValidFrames(std::initializer_list<std::pair<TAxis, int>> frames)
{
    std::vector<uint8_t> bytes;
    for (const auto& [axis, value] : frames) {
        const TFrameBytes f = EncodeValidFrame(axis, value);
        bytes.insert(bytes.end(), f.begin(), f.end());
    }
    return bytes;
}

