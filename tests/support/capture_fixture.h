#pragma once
// Capture on its own, with no window: the port, the capture reading it, the
// messages its reporter was handed, and a pseudo-terminal to play the
// device on.

#include "capture.h"
#include "paced_writer.h"
#include "pty_pair.h"
#include "stream_builder.h"
#include "tcomport.h"

#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

// A stream in which one frame in twenty fails its check and one byte in
// twenty is junk.
inline TStreamOptions FaultyStream(uint32_t seed = 1)
{
    TStreamOptions options;
    options.FailureRate = 0.05;
    options.JunkRate = 0.05;
    options.Seed = seed;
    return options;
}

// The values of an axis of session, from index from on.
inline std::vector<double> Values(const TSession& session, TAxis axis, std::int64_t from = 0)
{
    std::vector<double> out;
    for (std::int64_t i = from; i < session.Count(axis); ++i)
        out.push_back(session.Values(axis).Value(i));
    return out;
}

class TCaptureFixture : public ::testing::Test {
protected:
    TCaptureFixture() : capture(port, [this](const std::string& message) { reported << QString::fromStdString(message); })
    {
    }
    void TearDown() override { writer.Stop(); }

    // Names port in capture's settings, as choosing it in "Config. Serial"
    // would.
    void UsePort(const QString& name, bool reconnect = false)
    {
        TSerialSettings settings = capture.Settings();
        settings.Port = name;
        settings.Reconnect = reconnect;
        capture.SetSettings(settings);
    }
    // A device on a new pseudo-terminal, named in the settings.
    void UseNewPty(bool keepSlaveOpen = false)
    {
        pty = std::make_unique<TPtyPair>(keepSlaveOpen);
        UsePort(QString::fromStdString(pty->SlavePath()), capture.Settings().Reconnect);
    }

    bool Waiting() const { return capture.State() == TCapture::TState::Waiting; }
    std::uint64_t Frames() const { return capture.Session().FrameCount(); }
    bool WaitForFrames(std::uint64_t frames, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return Frames() >= frames; }, timeoutMs);
    }
    bool WaitForBytesRead(std::uint64_t bytes, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return capture.Receiver().Counters().BytesRead >= bytes; }, timeoutMs);
    }
    void Send(std::vector<uint8_t> bytes) { writer.Start(pty->Master(), std::move(bytes), 0); }
    QString Reported() const { return reported.join(QStringLiteral("; ")); }

    TComPort port;
    QStringList reported;
    TCapture capture;
    std::unique_ptr<TPtyPair> pty;
    TPacedWriter writer;
};
