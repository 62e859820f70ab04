#pragma once
// A simulated accelerometer on a fresh pseudo-terminal, run in-process.
//
// Start() opens a pty pair and writes an endless stream of frames to its
// master on a thread of its own, paced like the real device: 9600 baud 8N1
// is 960 bytes/s, 320 frames/s, with a few frames failing their check,
// delivered as a USB-serial adapter delivers them: what arrived in the last
// 16 ms in one packet (the latency timer of FTDI's chips, by default). The
// serial port then opens SlavePath() like any serial device, so the bytes
// take the real serial path. Stop() ends the stream and closes the pty.
//
// Qt-free.

#include "paced_writer.h"
#include "pty_pair.h"
#include "stream_builder.h"

#include <memory>
#include <string>

class TSimulatedDevice {
public:
    // 9600 baud, 10 bits per byte on the line (start, 8 data, stop).
    static constexpr double LineBytesPerSecond = 9600.0 / 10.0;
    static constexpr double FrameRate = LineBytesPerSecond / 3.0;
    static constexpr double PacketSeconds = 0.016;

    // The stream the device sends: 1 % failing frames, no junk, a seed
    // that differs from run to run.
    static TStreamOptions DefaultStream();

    explicit TSimulatedDevice(const TStreamOptions& stream = DefaultStream(),
                              double bytesPerSecond = LineBytesPerSecond);
    ~TSimulatedDevice();
    TSimulatedDevice(const TSimulatedDevice&) = delete;
    TSimulatedDevice& operator=(const TSimulatedDevice&) = delete;

    // Opens a new pty and starts sending; returns the slave's path. A
    // running device is stopped first. Throws Exception when no pty can be
    // opened.
    std::string Start();
    // Stops sending and closes the pty. Idempotent.
    void Stop();
    // The device at rest with an axis up or down, or moving again
    // (signal_generator.h), from the next frame on, also while it sends.
    void SetPose(TPose pose);

    bool Running() const { return m_pty != nullptr; }
    std::string SlavePath() const { return m_pty ? m_pty->SlavePath() : std::string(); }
    uint64_t BytesWritten() const { return m_writer.BytesWritten(); }

private:
    TStreamOptions m_stream;
    double m_bytesPerSecond;
    std::unique_ptr<TPtyPair> m_pty;
    std::shared_ptr<TStreamBuilder> m_builder;  // shared with the writer's thread
    TPacedWriter m_writer;
};
