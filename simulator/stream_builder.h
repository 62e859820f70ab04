#pragma once
// Builds the byte stream the accelerometer would send, together with the
// values the program must plot from it.
//
// Frames go X, Y, Z, X, ... Each frame carries the next reading of the
// signal generator. With probability FailureRate a frame carries a wrong
// check nibble (never value mod 15); the decoder then holds the axis' last
// accepted value, so the expected point is that held value (0 before the
// axis' first valid frame). With probability JunkRate a burst of 1 to 3 junk
// bytes is put in front of a frame; junk bytes are never tags (0x78..0x7A),
// so a decoder that skips non-tag bytes between frames drops them.
//
// The builder keeps its held values across calls: the expected values of
// successive calls continue each other, as for one decoder state that
// starts zeroed and sees all the bytes in order.
//
// Deterministic for a given seed. Qt-free.

#include "sensor_axes.h"
#include "signal_generator.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

struct TStreamOptions {
    double FailureRate = 0.0;   // 0..1, share of frames that fail their check
    double JunkRate = 0.0;      // 0..1, share of frames preceded by junk bytes
    uint32_t Seed = 1;          // drives failures, junk and the signal's noise
    TSignalParams Signal{};     // Signal.Seed is replaced by Seed
};

// One point the program should plot, in stream order.
struct TExpectedPoint {
    TAxis Axis;
    double Value;
    bool Valid = true;  // false: the held value of a frame that failed its check
};

// What a stream should become on the chart.
struct TExpectedPoints {
    std::vector<TExpectedPoint> InOrder;           // every point, in stream order
    std::array<std::vector<double>, AxisCount> PerAxis; // the same split by axis

    void Add(TAxis axis, double value, bool valid = true);
    size_t Size() const { return InOrder.size(); }
    void Clear();
};

class TStreamBuilder {
public:
    explicit TStreamBuilder(const TStreamOptions& options = {});

    // Appends `frames` frames (with their junk) to bytes, and, when
    // expected is given, the points they must produce to *expected.
    void Build(size_t frames, std::vector<uint8_t>& bytes, TExpectedPoints* expected = nullptr);

    // The signal's pose from the next frame on (signal_generator.h); safe
    // from another thread than the one building.
    void SetPose(TPose pose) { m_signal.SetPose(pose); }

    // Counts over all calls so far.
    uint64_t FramesBuilt() const { return m_frames; }
    uint64_t FailingFrames() const { return m_failing; }
    uint64_t JunkBytes() const { return m_junk; }

private:
    TStreamOptions m_options;
    TSignalGenerator m_signal;
    std::mt19937 m_rng;
    std::array<int32_t, AxisCount> m_held{};
    int m_nextAxis = 0;
    uint64_t m_frames = 0;
    uint64_t m_failing = 0;
    uint64_t m_junk = 0;
};

// Convenience: a whole stream of `frames` frames at once.
struct TBuiltStream {
    std::vector<uint8_t> Bytes;
    TExpectedPoints Expected;
};
TBuiltStream BuildStream(size_t frames, const TStreamOptions& options = {});
