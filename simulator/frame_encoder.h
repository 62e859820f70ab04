#pragma once
// Encoding of the accelerometer's 3-byte axis frames, the inverse of the
// decoder: [tag][K:4 | V11..8:4][V7..0], tag 0x78/0x79/0x7A for X/Y/Z.
// A frame is valid when V mod 15 == K, so check nibble 15 never validates.
//
// Qt-free; used by the simulator, the tests and the benchmarks.

#include "frame_decoder.h"

#include <array>
#include <cstdint>

using TFrameBytes = std::array<uint8_t, 3>;

constexpr int MaxReading = 4095;

// The tag byte of an axis (0x78, 0x79, 0x7A).
constexpr uint8_t AxisTag(TAxis axis) { return uint8_t(TagX + int(axis)); }

// The check nibble that makes a value valid: value mod 15.
constexpr int ValidCheck(int value) { return value % 15; }

// A frame with an explicit check nibble. value is clamped to 0..4095 and
// check is taken modulo 16, so any input yields a well-formed frame.
TFrameBytes EncodeFrame(TAxis axis, int value, int check);

// A frame that passes its check.
TFrameBytes EncodeValidFrame(TAxis axis, int value);
