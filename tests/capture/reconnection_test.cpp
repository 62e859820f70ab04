// Automatic reconnection on capture alone, on real pseudo-terminals behind
// a symbolic link: the way a restarted device, or accel-sim --link, comes
// back on the same path.
#include "capture_fixture.h"
#include "pty_link.h"
#include "exception.h"
#include "reconnector.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <fstream>
#include <functional>

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

    // Whether holds() stays true through several of the reconnector's
    // looks: false as soon as it does not.
    static bool HoldsThroughSeveralLooks(const std::function<bool()>& holds)
    {
        return !QTest::qWaitFor([&] { return !holds(); }, 4 * TReconnector::PollMs);
    }

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
    // At a path that is not there.
    EXPECT_TRUE(HoldsThroughSeveralLooks([&] { return Waiting(); }));
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
    // Every byte read: whatever frames they make are in the session.
    ASSERT_TRUE(WaitForBytesRead(first.size() + second.size()));
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
    EXPECT_TRUE(HoldsThroughSeveralLooks([&] { return capture.State() == TState::Closed; }));
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
        EXPECT_TRUE(HoldsThroughSeveralLooks([&] { return capture.State() == TState::Closed; }));
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

// The path is there again but does not open (udev has not given the
// device its group yet; here a regular file where the link was): capture
// goes on waiting, says why, and opens once a device is there.
TEST_F(ReconnectionTest, APathThatIsThereButDoesNotOpenIsWaitedFor)
{
    DeviceAppears();
    UsePort(link, true);
    capture.Start();
    ASSERT_EQ(capture.State(), TState::Open);
    DeviceGoesAway();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Waiting(); }, 5000));

    std::ofstream(QFile::encodeName(link).toStdString()) << "nada\n";
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.LastAttempt().contains("não uma porta serial"); }, 5000))
        << capture.LastAttempt().toStdString();
    EXPECT_TRUE(HoldsThroughSeveralLooks([&] { return Waiting(); }));

    ASSERT_TRUE(QFile::remove(link));
    DeviceAppears();
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.State() == TState::Open; }, 5000));
    EXPECT_TRUE(reported.isEmpty()) << Reported().toStdString();
}

// The reconnector alone, with an open of the test's making: a path that is
// there but fails to open keeps it waiting, with the latest reason, until
// an open succeeds; it looks every PollMs, never faster, and keeps looking.
TEST(Reconnector, TriesEveryPollIntervalUntilTheOpenSucceeds)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("dispositivo");
    std::ofstream(QFile::encodeName(path).toStdString()) << "";
    constexpr int Failures = 5;
    std::vector<qint64> attempts;
    QElapsedTimer clock;
    TReconnector reconnector([&] { return path; },
                             [&] {
                                 attempts.push_back(clock.elapsed());
                                 if (attempts.size() <= Failures)
                                     throw Exception("recusado " + std::to_string(attempts.size()));
                             });
    QSignalSpy changes(&reconnector, &TReconnector::waitingChanged);
    clock.start();
    reconnector.Start(TReconnector::NotPresent());
    EXPECT_TRUE(reconnector.Waiting());
    EXPECT_TRUE(attempts.empty());  // the first look is a poll interval away

    ASSERT_TRUE(QTest::qWaitFor([&] { return !reconnector.Waiting(); }, 20 * TReconnector::PollMs));
    ASSERT_EQ(attempts.size(), std::size_t(Failures + 1));
    EXPECT_EQ(reconnector.LastAttempt(), QString());  // cleared once open
    ASSERT_EQ(changes.count(), 2);
    EXPECT_TRUE(changes[0][0].toBool());
    EXPECT_FALSE(changes[1][0].toBool());
    // Never faster than the interval (Qt's timers may fire a little early).
    const qint64 least = TReconnector::PollMs * 9 / 10;
    EXPECT_GE(attempts[0], least);
    for (std::size_t i = 1; i < attempts.size(); ++i)
        EXPECT_GE(attempts[i] - attempts[i - 1], least) << i;
    // Nothing after the open.
    EXPECT_FALSE(QTest::qWaitFor([&] { return attempts.size() > Failures + 1; }, 2 * TReconnector::PollMs));
}

TEST(Reconnector, WhileWaitingTheLatestFailureIsTheReason)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("dispositivo");
    int attempts = 0;
    TReconnector reconnector([&] { return path; },
                             [&] {
                                 ++attempts;
                                 throw Exception("recusado " + std::to_string(attempts));
                             });
    reconnector.Start(TReconnector::NotPresent());
    // Not there: no open is tried.
    EXPECT_FALSE(QTest::qWaitFor([&] { return attempts > 0; }, 3 * TReconnector::PollMs));
    EXPECT_EQ(reconnector.LastAttempt(), TReconnector::NotPresent());
    std::ofstream(QFile::encodeName(path).toStdString()) << "";
    ASSERT_TRUE(QTest::qWaitFor([&] { return attempts >= 3; }, 20 * TReconnector::PollMs));
    EXPECT_TRUE(reconnector.Waiting());
    EXPECT_TRUE(reconnector.LastAttempt().startsWith("recusado ")) << reconnector.LastAttempt().toStdString();
    reconnector.Stop();
    const int stoppedAt = attempts;
    EXPECT_FALSE(QTest::qWaitFor([&] { return attempts > stoppedAt; }, 2 * TReconnector::PollMs));
    EXPECT_FALSE(reconnector.Waiting());
}

} // namespace
