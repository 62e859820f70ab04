// The session: per-axis points with their validity, the arrival order
// across axes, receive times, growth notices, and failed appends.
#include "failing_allocation.h"
#include "session.h"

#include <gtest/gtest.h>

#include <functional>

#include <new>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<TAxis> Axes(const std::string& letters)
{
    std::vector<TAxis> axes;
    for (char c : letters)
        axes.push_back(TAxis(c - 'x'));
    return axes;
}

// Appends the sequence, each frame's value being its arrival number.
void AppendSequence(TSession& session, const std::vector<TAxis>& axes)
{
    for (TAxis axis : axes)
        session.AppendReading(axis, double(session.FrameCount() % 4096), session.FrameCount() % 7 != 3);
}

// Every frame, looked up directly, in both directions, and by walking from
// several places, is the point brute force says it is.
void ExpectOrderMatches(const TSession& session, const std::vector<TAxis>& axes)
{
    ASSERT_EQ(session.FrameCount(), axes.size());
    std::int64_t counts[AxisCount] = {};
    std::vector<TFrameRecord> expected;
    for (std::uint64_t n = 0; n < axes.size(); ++n) {
        const TAxis axis = axes[n];
        expected.push_back({0, axis, counts[axis]++, float(n % 4096), n % 7 != 3});
    }
    for (int a = 0; a < AxisCount; ++a)
        ASSERT_EQ(session.Count(TAxis(a)), counts[a]);
    auto same = [](const TFrameRecord& got, const TFrameRecord& want, std::uint64_t n) {
        ASSERT_EQ(got.Axis, want.Axis) << "frame " << n;
        ASSERT_EQ(got.Index, want.Index) << "frame " << n;
        ASSERT_EQ(got.Value, want.Value) << "frame " << n;
        ASSERT_EQ(got.Valid, want.Valid) << "frame " << n;
    };
    for (std::uint64_t n = 0; n < axes.size(); ++n) {
        same(session.Record(n), expected[n], n);
        ASSERT_EQ(session.Log().Frame(expected[n].Axis, expected[n].Index), n);
    }
    for (std::uint64_t start : {std::uint64_t(0), std::uint64_t(1), std::uint64_t(axes.size() / 2),
                                std::uint64_t(axes.size() - 1)}) {
        std::uint64_t n = start;
        for (TSession::TReader reader(session, start); !reader.AtEnd(); reader.Next(), ++n) {
            ASSERT_EQ(reader.Frame(), n);
            same(reader.Record(), expected[n], n);
        }
        ASSERT_EQ(n, axes.size());
    }
}

TEST(Session, KeepsTheArrivalOrderOfEveryKindOfStream)
{
    std::mt19937 rng(3);
    std::vector<TAxis> random;
    for (int i = 0; i < 2000; ++i)
        random.push_back(TAxis(rng() % 3));
    std::vector<TAxis> cyclicWithSlips;  // the device's order, with lost and repeated frames
    for (int i = 0; i < 3000; ++i) {
        if (i % 397 == 5)
            continue;
        cyclicWithSlips.push_back(TAxis(i % 3));
        if (i % 611 == 9)
            cyclicWithSlips.push_back(TAxis(i % 3));
    }
    struct TCase {
        const char* Name;
        std::vector<TAxis> Sequence;
    };
    const TCase cases[] = {
        {"one frame", Axes("y")},
        {"the device's cycle", Axes("xyzxyzxyzxyzxyzx")},
        {"starting on Z", Axes("zxyzxyzx")},
        {"backwards cycle", Axes("xzyxzyxz")},
        {"one axis only", Axes("yyyyyyyy")},
        {"two axes alternating", Axes("xzxzxzxzx")},
        {"a lost frame, then the cycle", Axes("xyzxzxyzxyz")},
        {"the cycle with slips", cyclicWithSlips},
        {"random", random},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TSession session;
        AppendSequence(session, c.Sequence);
        ExpectOrderMatches(session, c.Sequence);
    }
}

// The arrival log's memory stays small whatever order the axes come in:
// a device that sends two axes, or each twice, or at random, once cost
// a run of 40 bytes at every change of step, five times the memory of
// the points themselves. Reads as from a fast port, 1365 frames each.
TEST(Session, TheArrivalLogStaysSmallWhateverTheOrder)
{
    std::mt19937 rng(11);
    struct TCase {
        const char* Name;
        std::function<TAxis(std::uint64_t)> Axis;
    };
    const TCase cases[] = {
        {"X, Y, Z", [](std::uint64_t n) { return TAxis(n % 3); }},
        {"X and Y only", [](std::uint64_t n) { return TAxis(n % 2); }},
        {"X X Y Y Z Z", [](std::uint64_t n) { return TAxis(n / 2 % 3); }},
        {"random", [&rng](std::uint64_t) { return TAxis(rng() % 3); }},
        {"a lost frame in 50", [](std::uint64_t n) { return TAxis((n + n / 50) % 3); }},
    };
    // The growth over a million frames: what the log holds whatever its
    // length (its first chunks) is left out.
    constexpr std::uint64_t Early = 200'000;
    constexpr std::uint64_t Late = Early + 1'000'000;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TSession session;
        std::size_t early = 0;
        for (std::uint64_t n = 0; n < Late; ++n) {
            if (n == Early)
                early = session.Log().HeldBytes();
            if (n % 1365 == 0)
                session.BeginRead(std::int64_t(n) * 1000);
            session.Append(c.Axis(n), 1);
        }
        // Two bits per frame and what goes with them, at most.
        EXPECT_LT(double(session.Log().HeldBytes() - early) / double(Late - Early), 0.35);
    }
}

TEST(Session, FramesTakeTheTimeOfTheirReadCountedFromTheStart)
{
    TSession session;
    session.MarkStart(5'000'000'000);
    session.MarkStart(9'000'000'000);  // later openings change nothing
    session.BeginRead(5'000'000'000);
    session.Append(axX, 1);
    session.Append(axY, 2);
    session.BeginRead(5'000'000'999);  // under a microsecond later: the same batch
    session.Append(axZ, 3);
    session.BeginRead(5'003'125'700);
    session.BeginRead(5'006'250'000);  // a read that completed no frame leaves no trace
    session.Append(axX, 4);
    session.BeginRead(5'000'000'000 + 7200'000'000'000);  // two hours on: past a 32-bit offset
    session.Append(axY, 5);
    const std::int64_t expected[] = {0, 0, 0, 6250, 7200'000'000};
    for (std::uint64_t n = 0; n < 5; ++n)
        EXPECT_EQ(session.Record(n).TimeUs, expected[n]) << n;
    EXPECT_EQ(session.TimeUs(axY, 1), 7200'000'000);
    std::uint64_t n = 0;
    for (TSession::TReader reader(session, 0); !reader.AtEnd(); reader.Next())
        EXPECT_EQ(reader.Record().TimeUs, expected[n++]);
}

TEST(Session, ManyReadsKeepTheirTimes)
{
    // More batches than a block holds, of varying sizes, on the device's
    // cycle: every frame keeps the time of its own read.
    TSession session;
    std::mt19937 rng(8);
    std::vector<std::int64_t> times;
    std::int64_t now = 1'000'000'000;
    session.MarkStart(now);
    for (int read = 0; read < 10000; ++read) {
        now += 1000 + std::int64_t(rng() % 50'000'000);
        session.BeginRead(now);
        for (unsigned k = rng() % 4; k > 0; --k) {
            session.Append(TAxis(session.FrameCount() % 3), 1);
            times.push_back((now - 1'000'000'000) / 1000);
        }
    }
    ASSERT_EQ(session.FrameCount(), times.size());
    for (std::uint64_t f = 0; f < times.size(); f += 13)
        ASSERT_EQ(session.Record(f).TimeUs, times[f]) << f;
    for (std::uint64_t start : {std::uint64_t(0), std::uint64_t(times.size() / 3)}) {
        std::uint64_t f = start;
        for (TSession::TReader reader(session, start); !reader.AtEnd(); reader.Next(), ++f)
            ASSERT_EQ(reader.Record().TimeUs, times[f]) << f;
    }
}

TEST(Session, ReaderStopsAtWhatWasHeldWhenItWasMade)
{
    TSession session;
    AppendSequence(session, Axes("xyzx"));
    TSession::TReader reader(session, 2);
    AppendSequence(session, Axes("yz"));
    int read = 0;
    for (; !reader.AtEnd(); reader.Next())
        ++read;
    EXPECT_EQ(read, 2);
    EXPECT_TRUE(TSession::TReader(session, session.FrameCount()).AtEnd());
}

TEST(Session, AReadBeforeAnyStartStartsTheSession)
{
    TSession session;
    EXPECT_FALSE(session.Started());
    session.BeginRead(7'000'000);
    session.Append(axX, 1);
    session.BeginRead(9'000'000);
    session.Append(axY, 1);
    EXPECT_TRUE(session.Started());
    EXPECT_EQ(session.StartNs(), 7'000'000);
    EXPECT_EQ(session.Record(0).TimeUs, 0);
    EXPECT_EQ(session.Record(1).TimeUs, 2000);
}

class TCountingListener : public ISessionListener {
public:
    explicit TCountingListener(const TSession& session) : m_session(session) {}
    void SessionGrew() override
    {
        ++Calls;
        FramesSeen = m_session.FrameCount();
    }
    int Calls = 0;
    std::uint64_t FramesSeen = 0;

private:
    const TSession& m_session;
};

TEST(Session, TellsAListenerOnceOfTheNextAppend)
{
    TSession session;
    TCountingListener a(session), b(session);
    session.NotifyOnGrowth(a);
    session.NotifyOnGrowth(a);  // asking twice is asking once
    session.NotifyOnGrowth(b);
    session.CancelNotify(b);
    session.Append(axX, 1);
    session.Append(axY, 2);
    EXPECT_EQ(a.Calls, 1);
    EXPECT_EQ(a.FramesSeen, 1u);  // told after the point is in
    EXPECT_EQ(b.Calls, 0);
    session.NotifyOnGrowth(a);
    session.Append(axZ, 3);
    EXPECT_EQ(a.Calls, 2);
}

// Out of memory at any allocation of an append: the session is as it was,
// then goes on as if nothing had happened.
TEST(Session, FailedAppendLeavesTheSessionAsItWas)
{
    TSession session;
    // Close to the first chunk edge of the validity bits and the values.
    std::vector<TAxis> axes;
    for (int i = 0; i < 3 * 65536 - 1; ++i)
        axes.push_back(TAxis(i % 3));
    AppendSequence(session, axes);
    for (int k = 0; k < 4; ++k) {
        const TAxis axis = TAxis(axes.size() % 3);
        int failures = 0;
        for (long after = 0;; ++after) {
            const std::uint64_t frames = session.FrameCount();
            try {
                TAllocationFailure failure(after);
                session.BeginRead(std::int64_t(k + 1) * 1'000'000);
                session.AppendReading(axis, double(frames % 4096), frames % 7 != 3);
                break;
            } catch (const std::bad_alloc&) {
                ++failures;
                ASSERT_EQ(session.FrameCount(), frames);
                ASSERT_EQ(session.Count(axis), std::int64_t(axes.size() / 3) + (axis < std::int64_t(axes.size() % 3)));
            }
        }
        axes.push_back(axis);
        if (k == 1) {
            EXPECT_GT(failures, 0);  // the edge of the chunks
        }
    }
    AppendSequence(session, Axes("xyzxyzx"));
    for (TAxis axis : Axes("xyzxyzx"))
        axes.push_back(axis);
    ExpectOrderMatches(session, axes);
}

}  // namespace
