#pragma once
// Writing to a pseudo-terminal's master, as the device would.

#include "frame_encoder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <initializer_list>
#include <unistd.h>
#include <utility>
#include <vector>

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
