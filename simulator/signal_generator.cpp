#include "signal_generator.h"

#include <algorithm>
#include <cmath>

TSignalGenerator::TSignalGenerator(const TSignalParams& params)
    : m_params(params), m_rng(params.Seed), m_noise(0.0, params.NoiseSigma > 0 ? params.NoiseSigma : 1.0)
{
}

int TSignalGenerator::Next(TAxis axis)
{
    constexpr double Pi = 3.14159265358979323846;
    const double rate = m_params.FrameRate > 0 ? m_params.FrameRate : 320.0;
    const double t = double(m_frame++) / rate;
    const double phase = 2.0 * Pi * double(axis) / double(AxisCount);
    double v = m_params.ZeroLevel;
    if (axis == m_params.GravityAxis)
        v += m_params.Gravity;
    v += m_params.VibrationAmplitude * std::sin(2.0 * Pi * m_params.VibrationHz * t + phase);
    if (m_params.NoiseSigma > 0)
        v += m_noise(m_rng);
    return std::clamp(int(std::lround(v)), 0, 4095);
}
