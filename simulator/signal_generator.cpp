#include "signal_generator.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

bool ParsePose(const std::string& text, TPose& pose)
{
    static const std::pair<const char*, TPose> names[] = {
        {"none", TPose::Moving}, {"+x", TPose::XUp}, {"-x", TPose::XDown}, {"+y", TPose::YUp},
        {"-y", TPose::YDown},    {"+z", TPose::ZUp}, {"-z", TPose::ZDown}};
    std::string lower;
    for (char c : text)
        lower += char(std::tolower((unsigned char)c));
    for (const auto& [name, value] : names) {
        if (lower == name) {
            pose = value;
            return true;
        }
    }
    return false;
}

std::string PoseName(TPose pose)
{
    static const char* const names[] = {"none", "+x", "-x", "+y", "-y", "+z", "-z"};
    return names[int(pose)];
}

TSignalGenerator::TSignalGenerator(const TSignalParams& params)
    : m_params(params),
      m_rng(params.Seed),
      m_noise(0.0, params.NoiseSigma > 0 ? params.NoiseSigma : 1.0),
      m_restNoise(0.0, params.Rest.NoiseSigma > 0 ? params.Rest.NoiseSigma : 1.0),
      m_pose(params.Pose)
{
}

double TSignalGenerator::AtRest(TAxis axis, TPose pose)
{
    const int index = int(pose) - 1;  // XUp, XDown, YUp, …
    const TAxis vertical = TAxis(index / 2);
    const double sign = index % 2 == 0 ? 1.0 : -1.0;
    double v = m_params.Rest.Zero[axis];
    if (axis == vertical)
        v += sign * m_params.Rest.CountsPerG[axis];
    if (m_params.Rest.NoiseSigma > 0)
        v += m_restNoise(m_rng);
    return v;
}

int TSignalGenerator::Next(TAxis axis)
{
    constexpr double Pi = 3.14159265358979323846;
    const double rate = m_params.FrameRate > 0 ? m_params.FrameRate : 320.0;
    const double t = double(m_frame++) / rate;
    const TPose pose = m_pose;
    if (pose != TPose::Moving)
        return std::clamp(int(std::lround(AtRest(axis, pose))), 0, 4095);
    const double phase = 2.0 * Pi * double(axis) / double(AxisCount);
    double v = m_params.ZeroLevel;
    if (axis == m_params.GravityAxis)
        v += m_params.Gravity;
    v += m_params.VibrationAmplitude * std::sin(2.0 * Pi * m_params.VibrationHz * t + phase);
    if (m_params.NoiseSigma > 0)
        v += m_noise(m_rng);
    return std::clamp(int(std::lround(v)), 0, 4095);
}
