#include "simulated_device.h"

#include <random>

TStreamOptions TSimulatedDevice::DefaultStream()
{
    TStreamOptions o;
    o.FailureRate = 0.01;
    o.JunkRate = 0.0;
    o.Seed = std::random_device{}();
    o.Signal.FrameRate = FrameRate;
    return o;
}

TSimulatedDevice::TSimulatedDevice(const TStreamOptions& stream, double bytesPerSecond)
    : m_stream(stream), m_bytesPerSecond(bytesPerSecond)
{
}

TSimulatedDevice::~TSimulatedDevice()
{
    Stop();
}

std::string TSimulatedDevice::Start()
{
    Stop();
    // The pty keeps its own slave fd open, so the line always has a reader
    // and bytes sent before the port opens simply wait in it.
    m_pty = std::make_unique<TPtyPair>(true);
    auto builder = std::make_shared<TStreamBuilder>(m_stream);
    m_builder = builder;
    m_writer.Start(
        m_pty->Master(),
        [builder](std::vector<uint8_t>& out) {
            builder->Build(16, out);
            return true;
        },
        m_bytesPerSecond, PacketSeconds);
    return m_pty->SlavePath();
}

void TSimulatedDevice::Stop()
{
    m_writer.Stop();
    m_builder.reset();
    m_pty.reset();
}

void TSimulatedDevice::SetPose(TPose pose)
{
    m_stream.Signal.Pose = pose;
    if (m_builder)
        m_builder->SetPose(pose);
}
