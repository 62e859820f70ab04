// The receiver: its own receive state, the link's counters, read times, and
// a new stream that does not inherit the old one's partial frame.
#include "receiver.h"
#include "stream_builder.h"
#include "test_sinks.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// A clock that moves on by a millisecond at every reading.
struct TStepClock {
    std::int64_t Now = 1'000'000'000;
    std::int64_t operator()() { return Now += 1'000'000; }
};

TEST(Receiver, CountsFramesFailuresAndSkippedBytesOfAKnownStream)
{
    TStreamOptions options;
    options.FailureRate = 0.1;
    options.JunkRate = 0.2;
    options.Seed = 99;
    TStreamBuilder builder(options);
    TBytes bytes;
    TExpectedPoints expected;
    builder.Build(3000, bytes, &expected);

    TReceiver receiver(TStepClock{});
    TBufferSource source;
    TCollectingSink sink;
    // In pieces of random size, as a port delivers them.
    std::mt19937 rng(5);
    for (size_t at = 0; at < bytes.size();) {
        const size_t n = std::min<size_t>(bytes.size() - at, 1 + rng() % 40);
        source.Push(TBytes(bytes.begin() + long(at), bytes.begin() + long(at + n)));
        at += n;
        receiver.HandleRxChar(int(source.Waiting()), source, sink);
    }

    const TLinkCounters c = receiver.Counters();
    ASSERT_EQ(sink.Points.size(), expected.Size());
    for (int axis = 0; axis < AxisCount; ++axis)
        EXPECT_EQ(c.Frames[axis], expected.PerAxis[axis].size()) << axis;
    EXPECT_EQ(c.FailedChecks, builder.FailingFrames());
    EXPECT_GT(builder.JunkBytes(), 0u);
    EXPECT_EQ(c.SkippedBytes, builder.JunkBytes());
    EXPECT_EQ(c.BytesRead, bytes.size());
    EXPECT_EQ(c.Reads, sink.ReadTimes.size());
    EXPECT_EQ(c.LastReadNs, sink.ReadTimes.back());
    EXPECT_EQ(std::count(sink.Validity.begin(), sink.Validity.end(), false), long(builder.FailingFrames()));
}

TEST(Receiver, StampsEveryReadBeforeItsFramesAndNotEmptyOnes)
{
    TReceiver receiver(TStepClock{});
    TBufferSource source(Cat({Frame(0x78, 8, 2048), Frame(0x79, 8, 2048)}));
    // A count of 3 reads one frame.
    std::vector<size_t> pointsAtRead;
    struct TRecordingSink : TCollectingSink {
        std::vector<size_t>* At;
        void BeginRead(std::int64_t t) override
        {
            At->push_back(Points.size());
            TCollectingSink::BeginRead(t);
        }
    } recording;
    recording.At = &pointsAtRead;
    receiver.HandleRxChar(3, source, recording);
    receiver.HandleRxChar(3, source, recording);
    receiver.HandleRxChar(3, source, recording);  // nothing left: no read time
    EXPECT_EQ(pointsAtRead, (std::vector<size_t>{0, 1}));
    ASSERT_EQ(recording.ReadTimes.size(), 2u);
    EXPECT_LT(recording.ReadTimes[0], recording.ReadTimes[1]);
    EXPECT_EQ(receiver.Counters().Reads, 2u);
}

// The device sent X=100, Y=200 and the first two bytes of a Y frame, then
// went away; after the port opens again it sends X=300, Y=400, Z=500. The
// leftover bytes must not be glued to the new stream; the held values stay.
TEST(Receiver, NewStreamDropsThePartialFrameAndKeepsHeldValues)
{
    TReceiver receiver;
    TBufferSource source(Cat({Frame(0x78, 100 % 15, 100), Frame(0x79, 200 % 15, 200), {0x79, 0x12}}));
    TCollectingSink sink;
    receiver.HandleRxChar(int(source.Waiting()), source, sink);
    EXPECT_EQ(receiver.State().RxPending, 2);

    receiver.StreamRestarted();
    source.Push(Cat({Frame(0x78, 300 % 15, 300), Frame(0x79, 400 % 15, 400), Frame(0x7A, 500 % 15, 500),
                     Frame(0x78, 0, 1280)}));  // fails: holds 300
    receiver.HandleRxChar(int(source.Waiting()), source, sink);
    EXPECT_EQ(sink.Points, (TPoints{{axX, 100}, {axY, 200}, {axX, 300}, {axY, 400}, {axZ, 500}, {axX, 300}}));
    EXPECT_EQ(receiver.Counters().SkippedBytes, 2u);  // the dropped bytes were read, never decoded

    // Held values carry over a restart.
    receiver.StreamRestarted();
    source.Push(Frame(0x7A, 0, 1280));
    receiver.HandleRxChar(int(source.Waiting()), source, sink);
    EXPECT_EQ(sink.Points.back(), TPoint(axZ, 500));
}

TEST(Receiver, TwoReceiversShareNothing)
{
    TReceiver a, b;
    TBufferSource sourceA(Frame(0x78, 8, 2048));
    TBufferSource sourceB(Frame(0x78, 0, 1280));  // fails: nothing held yet here
    TCollectingSink sinkA, sinkB;
    a.HandleRxChar(3, sourceA, sinkA);
    b.HandleRxChar(3, sourceB, sinkB);
    EXPECT_EQ(sinkB.Points, (TPoints{{axX, 0}}));
    EXPECT_EQ(a.Counters().Frames[axX], 1u);
    EXPECT_EQ(b.Counters().FailedChecks, 1u);
    EXPECT_EQ(a.Counters().FailedChecks, 0u);
}

} // namespace
