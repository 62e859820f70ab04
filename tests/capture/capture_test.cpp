// Capture without a window: the real port layer on pseudo-terminals, the
// simulator's bytes, the session they end up in, and what reaches the
// reporter.
#include "capture_fixture.h"
#include "device_resolver.h"
#include "exception.h"
#include "pty_helpers.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <termios.h>

namespace {

using TState = TCapture::TState;

class CaptureTest : public TCaptureFixture {};

TEST_F(CaptureTest, StartsClosedWithTheStartUpSettings)
{
    EXPECT_EQ(capture.State(), TState::Closed);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(Frames(), 0u);
    EXPECT_TRUE(capture.Settings() == TSerialSettings{});
    EXPECT_EQ(capture.Settings().Port, "COM10");
    EXPECT_EQ(capture.Settings().BaudRate, 9600);
}

TEST_F(CaptureTest, FramesBecomePointsAndContinueAfterStopAndStart)
{
    UseNewPty();
    capture.Start();
    ASSERT_EQ(capture.State(), TState::Open);

    TStreamBuilder builder(FaultyStream());
    std::vector<uint8_t> bytes;
    TExpectedPoints expected;
    builder.Build(3000, bytes, &expected);
    Send(bytes);
    ASSERT_TRUE(WaitForFrames(3000));
    for (int axis = 0; axis < AxisCount; ++axis)
        EXPECT_EQ(Values(capture.Session(), TAxis(axis)), expected.PerAxis[axis]) << axis;

    capture.Stop();
    EXPECT_EQ(capture.State(), TState::Closed);
    EXPECT_EQ(Frames(), 3000u); // stopping clears nothing
    const std::int64_t xBefore = capture.Session().Count(axX);

    writer.Stop();
    capture.Start();
    ASSERT_EQ(capture.State(), TState::Open);
    bytes.clear();
    TExpectedPoints more;
    builder.Build(300, bytes, &more);
    Send(bytes);
    ASSERT_TRUE(WaitForFrames(3300));
    EXPECT_EQ(Values(capture.Session(), axX, xBefore), more.PerAxis[axX]);
    EXPECT_TRUE(reported.isEmpty()) << Reported().toStdString();
}

// Start twice opens once, Stop on a closed port does nothing, and each
// change of state is told once.
TEST_F(CaptureTest, StartAndStopChangeTheStateOnce)
{
    UseNewPty();
    QSignalSpy opened(&port, &TComPort::connectedChanged);
    QSignalSpy states(&capture, &TCapture::stateChanged);
    capture.Stop();
    EXPECT_EQ(opened.count(), 0);

    capture.Start();
    capture.Start();
    EXPECT_EQ(capture.State(), TState::Open);
    EXPECT_EQ(opened.count(), 1);
    capture.Stop();
    capture.Stop();
    EXPECT_EQ(capture.State(), TState::Closed);
    EXPECT_EQ(opened.count(), 2);
    ASSERT_EQ(states.count(), 2);
    EXPECT_EQ(states[0][0].value<TState>(), TState::Open);
    EXPECT_EQ(states[1][0].value<TState>(), TState::Closed);
}

// What cannot be opened reaches the caller, not the reporter: the caller
// (a click, the command line) reports it as its own.
TEST_F(CaptureTest, StartOnAMissingPortThrowsAndStaysClosed)
{
    for (const QString& name : {QStringLiteral("/dev/acelerometro-nao-existe"), QStringLiteral("  ")}) {
        SCOPED_TRACE(name.toStdString());
        UsePort(name);
        EXPECT_THROW(capture.Start(), Exception);
        EXPECT_EQ(capture.State(), TState::Closed);
        EXPECT_FALSE(port.Connected());
    }
    EXPECT_TRUE(reported.isEmpty()) << Reported().toStdString();
}

TEST_F(CaptureTest, HangUpClosesThePortWithOneReportAndKeepsThePoints)
{
    UseNewPty();
    capture.Start();
    ASSERT_EQ(capture.State(), TState::Open);
    QSignalSpy failed(&capture, &TCapture::failed);
    Send(BuildStream(600).Bytes);
    ASSERT_TRUE(WaitForFrames(600));
    writer.Stop();

    pty->CloseMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reported.isEmpty(); }, 5000));
    // A flood of errors would show within this.
    EXPECT_FALSE(QTest::qWaitFor([&] { return reported.size() > 1; }, 200)) << Reported().toStdString();
    EXPECT_EQ(capture.State(), TState::Closed);
    ASSERT_EQ(reported.size(), 1) << Reported().toStdString();
    EXPECT_TRUE(reported[0].contains("desconectado")) << reported[0].toStdString();
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed[0][0].toString(), reported[0]);
    EXPECT_EQ(Frames(), 600u);

    // Back once the device is back.
    UseNewPty();
    capture.Start();
    EXPECT_EQ(capture.State(), TState::Open);
    EXPECT_EQ(reported.size(), 1);
}

// A frame cut short by Stop, or by the device going away, must not be
// completed by the first bytes of the next stream; the held values carry
// over. The device sends X=100, Y=200 and the start of a Y frame; after the
// new start it sends X=300, Y=400, Z=500.
TEST_F(CaptureTest, APartialFrameDoesNotJoinTheNextStream)
{
    for (const bool hangUp : {false, true}) {
        SCOPED_TRACE(hangUp ? "hang-up" : "Stop");
        TComPort ownPort;
        TCapture own(ownPort, [this](const std::string& m) { reported << QString::fromStdString(m); });
        reported.clear();
        pty = std::make_unique<TPtyPair>(false);
        TSerialSettings settings;
        settings.Port = QString::fromStdString(pty->SlavePath());
        own.SetSettings(settings);
        own.Start();
        ASSERT_EQ(own.State(), TState::Open);
        std::vector<uint8_t> bytes = ValidFrames({{axX, 100}, {axY, 200}});
        bytes.insert(bytes.end(), {0x79, 0x12});
        WriteAll(pty->Master(), bytes);
        ASSERT_TRUE(QTest::qWaitFor([&] { return own.Receiver().Counters().BytesRead == 8; }));

        if (hangUp) {
            pty->CloseMaster();
            ASSERT_TRUE(QTest::qWaitFor([&] { return own.State() == TState::Closed; }));
            pty = std::make_unique<TPtyPair>(false); // the device back
            settings.Port = QString::fromStdString(pty->SlavePath());
            own.SetSettings(settings);
        } else {
            own.Stop();
        }
        own.Start();
        ASSERT_EQ(own.State(), TState::Open);
        WriteAll(pty->Master(), ValidFrames({{axX, 300}, {axY, 400}, {axZ, 500}}));
        // Every byte read: whatever frames they make are in the session.
        ASSERT_TRUE(QTest::qWaitFor([&] { return own.Receiver().Counters().BytesRead == 8 + 9; }));
        EXPECT_EQ(Values(own.Session(), axX), (std::vector<double>{100, 300}));
        EXPECT_EQ(Values(own.Session(), axY), (std::vector<double>{200, 400}));
        EXPECT_EQ(Values(own.Session(), axZ), (std::vector<double>{500}));
        EXPECT_EQ(own.Receiver().State().AxisLastValue[axY], 400);
        EXPECT_EQ(reported.size(), hangUp ? 1 : 0) << Reported().toStdString();
    }
}

// Frames with known failing checks and junk, and a frame cut short that
// the next opening drops: the counters follow them.
TEST_F(CaptureTest, CountersFollowAStreamWithFailuresAndJunk)
{
    UseNewPty();
    capture.Start();
    TStreamBuilder builder(FaultyStream(11));
    std::vector<uint8_t> bytes;
    builder.Build(12345, bytes);
    bytes.insert(bytes.end(), {0x7A, 0x04}); // a frame cut short
    Send(bytes);
    ASSERT_TRUE(WaitForFrames(12345));
    ASSERT_TRUE(WaitForBytesRead(bytes.size()));
    ASSERT_GT(builder.FailingFrames(), 0u);
    ASSERT_GT(builder.JunkBytes(), 0u);
    const TLinkCounters counters = capture.Receiver().Counters();
    EXPECT_EQ(counters.TotalFrames(), builder.FramesBuilt());
    EXPECT_EQ(counters.FailedChecks, builder.FailingFrames());
    EXPECT_EQ(counters.SkippedBytes, builder.JunkBytes());

    capture.Stop();
    capture.Start();
    EXPECT_EQ(capture.Receiver().Counters().SkippedBytes, builder.JunkBytes() + 2);
}

TEST_F(CaptureTest, TheSimulatedDeviceGivesLiveDataUntilStopped)
{
    UsePort(TDeviceResolver::SimulatedName());
    capture.Start();
    ASSERT_EQ(capture.State(), TState::Open) << Reported().toStdString();
    // The simulated device sends at the real device's pace: 320 frames/s.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return capture.Session().Count(axX) >= 10 && capture.Session().Count(axZ) >= 10; }, 5000));

    capture.Stop();
    EXPECT_EQ(capture.State(), TState::Closed);
    const std::uint64_t stopped = Frames();
    // The simulated device would have sent a few frames within this.
    EXPECT_FALSE(QTest::qWaitFor([&] { return Frames() != stopped; }, 100));
    EXPECT_TRUE(reported.isEmpty()) << Reported().toStdString();
}

// While open, line settings take effect at once on the same device, and
// another device reopens the port there.
TEST_F(CaptureTest, SettingsChosenWhileOpenTakeEffectAtOnce)
{
    UseNewPty(true);
    capture.Start();
    ASSERT_EQ(capture.State(), TState::Open);
    TSerialSettings settings = capture.Settings();
    settings.BaudRate = 57600;
    capture.SetSettings(settings);
    EXPECT_EQ(capture.State(), TState::Open);
    termios t{};
    ASSERT_EQ(tcgetattr(pty->Slave(), &t), 0);
    EXPECT_EQ(cfgetispeed(&t), speed_t(B57600));
    EXPECT_EQ(port.Settings().Port, QString::fromStdString(pty->SlavePath()));

    const std::unique_ptr<TPtyPair> first = std::move(pty);
    UseNewPty();
    EXPECT_EQ(capture.State(), TState::Open);
    EXPECT_EQ(port.Settings().Port, QString::fromStdString(pty->SlavePath()));
    EXPECT_TRUE(pty->HasReader());
    EXPECT_TRUE(reported.isEmpty()) << Reported().toStdString();
}

TEST(DeviceResolver, NamesMapUnderDevUnlessTheyArePaths)
{
    const std::pair<QString, QString> cases[] = {
        {"COM10", "/dev/COM10"},
        {"ttyUSB0", "/dev/ttyUSB0"},
        {"/dev/pts/3", "/dev/pts/3"},
        {"./tty", "./tty"},
        {" COM10 ", "/dev/COM10"},
    };
    TDeviceResolver resolver;
    for (const auto& [name, path] : cases) {
        EXPECT_EQ(TDeviceResolver::DevicePath(name), path) << name.toStdString();
        EXPECT_EQ(resolver.Acquire(name), path) << name.toStdString();
    }
    EXPECT_EQ(resolver.Describe("COM10", "/dev/COM10"), "a porta \"COM10\" (/dev/COM10)");
    EXPECT_EQ(resolver.Describe("/dev/ttyUSB0", "/dev/ttyUSB0"), "a porta /dev/ttyUSB0");
    for (const QString& blank : {QString(), QStringLiteral("   ")}) {
        EXPECT_EQ(TDeviceResolver::DevicePath(blank), "");
        try {
            resolver.Acquire(blank);
            ADD_FAILURE() << "a blank name was taken";
        } catch (const Exception& e) {
            EXPECT_TRUE(QString::fromStdString(e.what()).contains("Nenhuma porta foi escolhida")) << e.what();
        }
    }
    const QString simulated = resolver.Acquire(TDeviceResolver::SimulatedName());
    EXPECT_TRUE(simulated.startsWith("/dev/pts/")) << simulated.toStdString();
    EXPECT_TRUE(resolver.Describe(TDeviceResolver::SimulatedName(), simulated).contains("simulado"));
    resolver.Release();
}

} // namespace
