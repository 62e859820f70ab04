#pragma once
// A plausible three-axis accelerometer signal in raw 12-bit counts.
//
// Each axis reads ZeroLevel (0 g at mid-scale) plus, on GravityAxis only,
// Gravity counts (1 g at rest); every axis adds a sinusoidal vibration
// (each axis with its own phase) and Gaussian noise. Results are clamped to
// 0..4095. Time advances by 1/FrameRate per reading, as on the wire where
// each frame carries one reading of one axis.
//
// With a pose, the device lies at rest with one axis pointing up or down,
// as for a six-position calibration: that axis reads its zero plus (up) or
// minus (down) its counts per g, the others their zero, each with a little
// noise and no vibration. Each axis has a zero and a scale of its own
// (TRestModel), near 2048 counts and 400 counts per g, as a real part's
// are, so that a calibration finds them. The pose can change while
// readings are being made (SetPose, from any thread).
//
// Deterministic for a given seed. Qt-free.

#include "sensor_axes.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <random>
#include <string>

// Which axis points up (+) or down (-); Moving: the default signal above.
enum class TPose { Moving, XUp, XDown, YUp, YDown, ZUp, ZDown };

// "+x", "-z", …, and "none" for Moving; false for anything else.
bool ParsePose(const std::string& text, TPose& pose);
std::string PoseName(TPose pose);

// The device at rest, per axis X, Y, Z.
struct TRestModel {
    std::array<double, AxisCount> Zero{2041.0, 2056.0, 2049.0};        // counts at 0 g
    std::array<double, AxisCount> CountsPerG{404.0, 397.0, 409.0};     // counts for 1 g
    double NoiseSigma = 2.0;                                            // counts
};

struct TSignalParams {
    double FrameRate = 320.0;        // readings (frames) per second, all axes together
    TAxis GravityAxis = axZ;
    double ZeroLevel = 2048.0;       // counts at 0 g
    double Gravity = 400.0;          // counts for 1 g
    double VibrationAmplitude = 150.0; // counts
    double VibrationHz = 5.0;
    double NoiseSigma = 8.0;         // counts, standard deviation
    uint32_t Seed = 1;
    TPose Pose = TPose::Moving;
    TRestModel Rest;
};

class TSignalGenerator {
public:
    explicit TSignalGenerator(const TSignalParams& params = {});

    // The next reading for the given axis (0..4095); advances time by one
    // frame.
    int Next(TAxis axis);

    const TSignalParams& Params() const { return m_params; }

    // From the next reading on; safe from another thread.
    void SetPose(TPose pose) { m_pose = pose; }
    TPose Pose() const { return m_pose; }

private:
    // A reading at rest in pose.
    double AtRest(TAxis axis, TPose pose);

    TSignalParams m_params;
    std::mt19937 m_rng;
    std::normal_distribution<double> m_noise;
    std::normal_distribution<double> m_restNoise;
    std::atomic<TPose> m_pose;
    uint64_t m_frame = 0;
};
