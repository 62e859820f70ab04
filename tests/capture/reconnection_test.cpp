// Automatic reconnection on capture alone, on real pseudo-terminals behind
// a symbolic link: the way a restarted device, or accel-sim --link, comes
// back on the same path.
#include "capture_fixture.h"
#include "pty_link.h"
#include "reconnector.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using TState = TCapture::TState;

class ReconnectionTest : public TCaptureFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        link = dir.filePath(QStringLiteral("acelerometro"));
    }

    // A device on a new pty, at the same path as the one before, linked as
    // accel-sim --link links it: the link is re-pointed in one step.
    void DeviceAppears()
    {
        pty = std::make_unique<TPtyPair>(false);
        deviceLink = std::make_unique<TPtyLink>(QFile::encodeName(link).toStdString(), pty->SlavePath());
    }

    // The device goes away: its pty closes, and (as accel-sim does on exit)
    // the link with it.
    void DeviceGoesAway()
    {
        writer.Stop();
        pty->CloseMaster();
        deviceLink.reset();
    }

    // Several of the reconnector's looks.
    static void SeveralLooks() { QTest::qWait(4 * TReconnector::PollMs); }

    QTemporaryDir dir;
    QString link;
    std::unique_ptr<TPtyLink> deviceLink;
};

// The device goes away and comes back on the same path: nothing is
// reported, capture waits, then every point of both halves is there, in
// order, and a frame cut short by the hang-up is dropped.
TEST_F(ReconnectionTest, TheDeviceBackOnTheSamePathContinuesTheSession)
{
    DeviceAppears();
    UsePort(link, true);
    capture.Start();
    ASSERT_EQ(capture.State(), TState::Open);

    TStreamBuilder builder(FaultyStream());
    std::vector<uint8_t> first;
    TExpectedPoints expected;
    builder.Build(1500, first, &expected);
    first.insert(first.end(), {0x79, 0x0B}); // cut short by the hang-up
    Send(first);
    ASSERT_TRUE(WaitForFrames(1500));
    ASSERT_TRUE(WaitForBytesRead(first.size()));

    QSignalSpy states(&capture, &TCapture::stateChanged);
    DeviceGoesAway();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Waiting(); }, 5000));
    EXPECT_FALSE(port.Connected());
    SeveralLooks(); // at a path that is not there
    EXPECT_TRUE(Waiting());
    EXPECT_EQ(capture.LastAttempt(), TReconnector::NotPresent());
    EXPECT_EQ(Frames(), 1500u); // nothing cleared

    DeviceAppears();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.State() == TState::Open; }, 5000));
    ASSERT_EQ(states.count(), 3);
    EXPECT_EQ(states[0][0].value<TState>(), TState::Closed);
    EXPECT_EQ(states[1][0].value<TState>(), TState::Waiting);
    EXPECT_EQ(states[2][0].value<TState>(), TState::Open);

    std::vector<uint8_t> second;
    builder.Build(1500, second, &expected);
    Send(second);
    ASSERT_TRUE(WaitForFrames(3000));
    QTest::qWait(50);
    EXPECT_EQ(Frames(), 3000u);
    for (int axis = 0; axis < AxisCount; ++axis)
        EXPECT_EQ(Values(capture.Session(), TAxis(axis)), expected.PerAxis[axis]) << axis;
    EXPECT_EQ(capture.Receiver().Counters().SkippedBytes, builder.JunkBytes() + 2);
    EXPECT_TRUE(reported.isEmpty()) << Reported().toStdString();
}

TEST_F(ReconnectionTest, WithoutItAHangUpIsReportedOnceAndCaptureStaysClosed)
{
    DeviceAppears();
    UsePort(link, false);
    capture.Start();
    ASSERT_EQ(capture.State(), TState::Open);
    DeviceGoesAway();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reported.isEmpty(); }, 5000));
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].contains("desconectado")) << reported[0].toStdString();
    EXPECT_FALSE(Waiting());

    DeviceAppears();
    SeveralLooks();
    EXPECT_EQ(capture.State(), TState::Closed);
    EXPECT_EQ(reported.size(), 1);
}

// What ends a wait: Stop, and turning reconnection off in the settings.
TEST_F(ReconnectionTest, StopOrReconnectionTurnedOffEndsTheWait)
{
    for (const bool stop : {true, false}) {
        SCOPED_TRACE(stop ? "Stop" : "reconnection off");
        DeviceAppears();
        UsePort(link, true);
        capture.Start();
        ASSERT_EQ(capture.State(), TState::Open);
        DeviceGoesAway();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Waiting(); }, 5000));

        if (stop) {
            capture.Stop();
        } else {
            TSerialSettings settings = capture.Settings();
            settings.Reconnect = false;
            capture.SetSettings(settings);
        }
        EXPECT_EQ(capture.State(), TState::Closed);
        DeviceAppears();
        SeveralLooks();
        EXPECT_EQ(capture.State(), TState::Closed);
        EXPECT_TRUE(reported.isEmpty()) << Reported().toStdString();
    }
}

// Start on a device that is not there yet waits for it instead of failing.
TEST_F(ReconnectionTest, StartWaitsForADeviceNotThereYet)
{
    UsePort(link, true);
    capture.Start();
    EXPECT_TRUE(Waiting());
    EXPECT_EQ(capture.LastAttempt(), TReconnector::NotPresent());
    capture.Start(); // already waiting: nothing
    EXPECT_TRUE(Waiting());
    DeviceAppears();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.State() == TState::Open; }, 5000));
    EXPECT_EQ(port.Device(), QString::fromStdString(pty->SlavePath()));
    EXPECT_TRUE(reported.isEmpty()) << Reported().toStdString();
}

// The simulated device has no path to look for: every look starts it
// afresh, and the first one does.
TEST_F(ReconnectionTest, TheSimulatedDeviceIsStartedAfreshWhenWaitedFor)
{
    UsePort(TDeviceResolver::SimulatedName(), true);
    capture.Start();
    ASSERT_EQ(capture.State(), TState::Open) << Reported().toStdString();
    ASSERT_TRUE(WaitForFrames(10, 5000));
    capture.Stop();
    EXPECT_EQ(capture.State(), TState::Closed);
    EXPECT_TRUE(reported.isEmpty()) << Reported().toStdString();
}

} // namespace
