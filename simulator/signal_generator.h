#pragma once
// A plausible three-axis accelerometer signal in raw 12-bit counts.
//
// Each axis reads ZeroLevel (0 g at mid-scale) plus, on GravityAxis only,
// Gravity counts (1 g at rest); every axis adds a sinusoidal vibration
// (each axis with its own phase) and Gaussian noise. Results are clamped to
// 0..4095. Time advances by 1/FrameRate per reading, as on the wire where
// each frame carries one reading of one axis.
//
// Deterministic for a given seed. Qt-free.

#include "sensor_axes.h"

#include <cstdint>
#include <random>

struct TSignalParams {
    double FrameRate = 320.0;        // readings (frames) per second, all axes together
    TAxis GravityAxis = axZ;
    double ZeroLevel = 2048.0;       // counts at 0 g
    double Gravity = 400.0;          // counts for 1 g
    double VibrationAmplitude = 150.0; // counts
    double VibrationHz = 5.0;
    double NoiseSigma = 8.0;         // counts, standard deviation
    uint32_t Seed = 1;
};

class TSignalGenerator {
public:
    explicit TSignalGenerator(const TSignalParams& params = {});

    // The next reading for the given axis (0..4095); advances time by one
    // frame.
    int Next(TAxis axis);

    const TSignalParams& Params() const { return m_params; }

private:
    TSignalParams m_params;
    std::mt19937 m_rng;
    std::normal_distribution<double> m_noise;
    uint64_t m_frame = 0;
};
