#include "frame_decoder.h"
#include "test_sinks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

using Bytes = TBytes;
using Points = TPoints;
using BufferSource = TBufferSource;
using CollectingSink = TCollectingSink;

// One notification with everything that is waiting.
void Notify(TReceiveState& state, BufferSource& source, ISampleSink& sink)
{
    HandleRxChar(state, int(source.Waiting()), source, sink);
}

Points Decode(const Bytes& bytes)
{
    TReceiveState state{};
    BufferSource source(bytes);
    CollectingSink sink;
    Notify(state, source, sink);
    return sink.Points;
}

} // namespace

// Single frames on a fresh state.
struct FrameCase {
    const char* name;
    Bytes bytes;
    Points expected;
};

class SingleFrame : public ::testing::TestWithParam<FrameCase> {};

TEST_P(SingleFrame, AppendsTheCheckedValue)
{
    EXPECT_EQ(Decode(GetParam().bytes), GetParam().expected);
}

// The sink learns which values are readings as sent and which are held
// values, including a failing frame whose held value equals its reading.
TEST(Decoder, TellsHeldValuesFromReadings)
{
    TReceiveState state{};
    BufferSource source(Cat({Frame(0x78, 8, 2048), Frame(0x78, 0, 2048), Frame(0x79, 1, 16), Frame(0x79, 0, 16)}));
    CollectingSink sink;
    Notify(state, source, sink);
    EXPECT_EQ(sink.Points, (Points{{axX, 2048}, {axX, 2048}, {axY, 16}, {axY, 16}}));
    EXPECT_EQ(sink.Validity, (std::vector<bool>{true, false, true, false}));
}

INSTANTIATE_TEST_SUITE_P(
    Frames, SingleFrame,
    ::testing::Values(
        FrameCase{"XValid2048", {0x78, 0x88, 0x00}, {{axX, 2048}}},
        FrameCase{"YFailsHoldsZero", {0x79, 0x08, 0x00}, {{axY, 0}}},
        FrameCase{"ZValidFullScale", {0x7A, 0x0F, 0xFF}, {{axZ, 4095}}},
        FrameCase{"CheckFifteenNeverValid", {0x7A, 0xF0, 0x0F}, {{axZ, 0}}},
        FrameCase{"ZeroIsValidWithCheckZero", {0x78, 0x00, 0x00}, {{axX, 0}}},
        FrameCase{"NotATagAppendsNothing", {0x41, 0x88, 0x00}, {}},
        FrameCase{"TwoBytesOnlyAppendNothing", {0x78, 0x88}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Decoder, FrameSetsStateAsDocumented)
{
    TReceiveState state{};
    BufferSource source({0x78, 0x88, 0x00});
    CollectingSink sink;
    Notify(state, source, sink);
    EXPECT_EQ(state.AxisValue[axX], 2048);
    EXPECT_EQ(state.AxisLastValue[axX], 2048);
    EXPECT_EQ(state.RxCheck, 8);
    EXPECT_EQ(Bytes(state.RxFrame, state.RxFrame + 3), (Bytes{0x78, 0x88, 0x00}));
    EXPECT_EQ(state.RxPending, 0);
}

TEST(Decoder, FailingFrameRepeatsLastAcceptedValueOfItsAxisOnly)
{
    const Bytes stream = Cat({Frame(0x78, 8, 2048), Frame(0x79, 1, 16), Frame(0x7A, 0, 4095),
                              Frame(0x78, 8, 2048), Frame(0x79, 3, 16), // Y fails: 16 mod 15 = 1
                              Frame(0x78, 0, 1280)});                   // X fails: 1280 mod 15 = 5
    EXPECT_EQ(Decode(stream), (Points{{axX, 2048}, {axY, 16}, {axZ, 4095},
                                      {axX, 2048}, {axY, 16}, {axX, 2048}}));
}

TEST(Decoder, UnknownTagLeavesCheckAndValuesUntouched)
{
    TReceiveState state{};
    BufferSource source(Frame(0x79, 1, 16));
    CollectingSink sink;
    Notify(state, source, sink);
    const TReceiveState before = state;

    source.Push({0x41, 0x88, 0x00});
    Notify(state, source, sink);
    EXPECT_EQ(sink.Points.size(), 1u);
    EXPECT_EQ(state.RxCheck, before.RxCheck);
    EXPECT_EQ(0, std::memcmp(state.AxisValue, before.AxisValue, sizeof state.AxisValue));
    EXPECT_EQ(0, std::memcmp(state.AxisLastValue, before.AxisLastValue, sizeof state.AxisLastValue));
}

TEST(Decoder, ClosedSourceReadsAndAppendsNothing)
{
    TReceiveState state{};
    BufferSource source({0x78, 0x88, 0x00});
    source.IsConnected = false;
    CollectingSink sink;
    Notify(state, source, sink);
    EXPECT_EQ(source.Reads, 0);
    EXPECT_EQ(source.Waiting(), 3u);
    EXPECT_TRUE(sink.Points.empty());
}

TEST(Decoder, NonPositiveCountReadsNothing)
{
    for (int count : {0, -1, -100000}) {
        TReceiveState state{};
        BufferSource source({0x78, 0x88, 0x00});
        CollectingSink sink;
        HandleRxChar(state, count, source, sink);
        EXPECT_EQ(source.Reads, 0) << count;
        EXPECT_TRUE(sink.Points.empty()) << count;
    }
}

// A notification that completes no frame appends nothing: no point repeats
// the last one just because the port split the stream.
TEST(Decoder, ShortNotificationAfterAFrameAppendsNothing)
{
    TReceiveState state{};
    BufferSource source(Frame(0x78, 8, 2048));
    CollectingSink sink;
    Notify(state, source, sink);
    source.Push({0x79, 0x88});
    Notify(state, source, sink);
    EXPECT_EQ(sink.Points, (Points{{axX, 2048}}));
    source.Push({0x00});
    Notify(state, source, sink);
    EXPECT_EQ(sink.Points, (Points{{axX, 2048}, {axY, 2048}}));
}

TEST(Decoder, EveryFrameOfOneReadIsAppendedInOrder)
{
    EXPECT_EQ(Decode({0x78, 0x88, 0x00, 0x79, 0x88, 0x00}), (Points{{axX, 2048}, {axY, 2048}}));

    // The twenty-byte read: a failing frame then more frames, all decoded.
    TReceiveState state{};
    BufferSource source(Frame(0x78, 8, 2048));
    CollectingSink sink;
    Notify(state, source, sink);
    Bytes twenty = Cat({Frame(0x78, 0, 1280), Frame(0x79, 1, 1), Frame(0x7A, 2, 2),
                        Frame(0x78, 3, 3), Frame(0x79, 4, 4), Frame(0x7A, 5, 5)});
    twenty.insert(twenty.end(), {0x78, 0x65});
    ASSERT_EQ(twenty.size(), 20u);
    source.Push(twenty);
    Notify(state, source, sink);
    EXPECT_EQ(source.Waiting(), 0u);
    EXPECT_EQ(sink.Points, (Points{{axX, 2048}, {axX, 2048}, {axY, 1}, {axZ, 2},
                                   {axX, 3}, {axY, 4}, {axZ, 5}}));
    EXPECT_EQ(state.RxPending, 2); // 78 65 waits for its last byte
}

TEST(Decoder, FrameSplitAtEveryPositionIsCompleted)
{
    const Bytes stream = Cat({Frame(0x78, 8, 2048), Frame(0x79, 1, 16), Frame(0x7A, 0, 4095)});
    const Points expected = Decode(stream);
    ASSERT_EQ(expected.size(), 3u);
    for (size_t a = 0; a <= stream.size(); ++a) {
        for (size_t b = a; b <= stream.size(); ++b) {
            TReceiveState state{};
            BufferSource source;
            CollectingSink sink;
            for (auto [from, to] : {std::pair{size_t(0), a}, {a, b}, {b, stream.size()}}) {
                source.Push(Bytes(stream.begin() + long(from), stream.begin() + long(to)));
                Notify(state, source, sink);
            }
            EXPECT_EQ(sink.Points, expected) << "split at " << a << ", " << b;
        }
    }
}

// Each frame says how many bytes of its read came after its last byte:
// what the session places its time by.
TEST(Decoder, EachFrameSaysTheBytesOfItsReadAfterIt)
{
    struct TCase {
        const char* Name;
        std::vector<Bytes> Reads;
        std::vector<int> After;
    };
    const Bytes x = Frame(0x78, 8, 2048);
    const Bytes y = Frame(0x79, 1, 16);
    const TCase cases[] = {
        {"whole frames", {Cat({x, y, x})}, {6, 3, 0}},
        {"a frame begun at the end", {Cat({x, y, {0x7A, 0x00}})}, {5, 2}},
        {"completed by the next read", {Cat({x, {0x79, 0x10}}), Cat({{0x10}, x, {0x7A}})}, {2, 4, 1}},
        {"junk between frames", {Cat({x, {0x00, 0xFF}, y, {0x41}})}, {6, 1}},
        {"nothing after a short read", {{0x78}, {0x88}, {0x00}}, {0}},
    };
    for (const TCase& c : cases) {
        TReceiveState state{};
        CollectingSink sink;
        for (const Bytes& read : c.Reads)
            DecodeBytes(state, read.data(), int(read.size()), sink);
        EXPECT_EQ(sink.BytesAfter, c.After) << c.Name;
    }
}

TEST(Decoder, BytesThatAreNotTagsAreSkippedAtFrameBoundaries)
{
    // Starting inside a frame (its last two bytes), and junk between frames.
    const Bytes stream = Cat({{0x88, 0x00}, Frame(0x78, 8, 2048), {0x00, 0xFF, 0x41},
                              Frame(0x79, 1, 16), {0x7B, 0x77}, Frame(0x7A, 0, 4095), {0x20}});
    EXPECT_EQ(Decode(stream), (Points{{axX, 2048}, {axY, 16}, {axZ, 4095}}));
}

TEST(Decoder, OnlyBytesThatReadDeliveredAreDecoded)
{
    // A port that announces more than it has: the stale parts of the read
    // buffer must not be decoded.
    class ShortSource : public BufferSource {
    public:
        using BufferSource::BufferSource;
        int Read(void* buffer, int count) override {
            std::memset(buffer, 0x78, size_t(count)); // garbage that would decode
            return BufferSource::Read(buffer, count);
        }
    };
    TReceiveState state{};
    ShortSource source({0x79, 0x88, 0x00});
    CollectingSink sink;
    HandleRxChar(state, 300, source, sink);
    EXPECT_EQ(sink.Points, (Points{{axY, 2048}}));
    EXPECT_EQ(state.RxPending, 0);

    // A port that claims to have delivered more than asked for.
    class LyingSource : public BufferSource {
    public:
        using BufferSource::BufferSource;
        int Read(void* buffer, int count) override { BufferSource::Read(buffer, count); return count + 1000; }
    };
    TReceiveState state2{};
    LyingSource liar(Frame(0x7A, 0, 4095));
    CollectingSink sink2;
    HandleRxChar(state2, 3, liar, sink2);
    EXPECT_EQ(sink2.Points, (Points{{axZ, 4095}}));
}

TEST(Decoder, LargeCountIsReadCompletely)
{
    Bytes stream;
    Points expected;
    for (int i = 0; i < 10000; ++i) {
        const int v = i % 4096;
        const Bytes f = Frame(uint8_t(0x78 + i % 3), v % 15, v);
        stream.insert(stream.end(), f.begin(), f.end());
        expected.emplace_back(TAxis(i % 3), v);
    }
    TReceiveState state{};
    BufferSource source(stream);
    CollectingSink sink;
    Notify(state, source, sink);
    EXPECT_EQ(source.Waiting(), 0u);
    EXPECT_EQ(sink.Points, expected);
}

TEST(Decoder, ErrorsFromReadAndAppendPropagateAndLeaveStateConsistent)
{
    class FailingSource : public BufferSource {
    public:
        int Read(void*, int) override { throw std::runtime_error("read failed"); }
    };
    TReceiveState state{};
    FailingSource failing;
    failing.Data = {0x78, 0x88, 0x00};
    CollectingSink sink;
    EXPECT_THROW(HandleRxChar(state, 3, failing, sink), std::runtime_error);

    class FailingSink : public ISampleSink {
    public:
        void Append(TAxis, double) override { throw std::runtime_error("append failed"); }
    };
    FailingSink failingSink;
    BufferSource source(Frame(0x78, 8, 2048));
    EXPECT_THROW(Notify(state, source, failingSink), std::runtime_error);
    EXPECT_EQ(state.AxisLastValue[axX], 2048);
    EXPECT_EQ(state.RxPending, 0);

    // The next failing X frame holds the value that was being appended.
    source.Push(Frame(0x78, 0, 1280));
    Notify(state, source, sink);
    EXPECT_EQ(sink.Points, (Points{{axX, 2048}}));
}

// What is plotted for a stream must not depend on how the port splits it.
TEST(DecoderProperty, SameResultWhateverTheSplit)
{
    std::mt19937 rng(12345);
    Bytes stream;
    Points expected;
    int32_t held[AxisCount] = {0, 0, 0};
    for (int i = 0; i < 20000; ++i) {
        if (rng() % 10 == 0) { // junk that is never a tag
            for (unsigned n = 1 + rng() % 4; n > 0; --n) {
                uint8_t b;
                do { b = uint8_t(rng()); } while (IsAxisTag(b));
                stream.push_back(b);
            }
        }
        const int axis = int(rng() % 3);
        const int value = int(rng() % 4096);
        const bool corrupt = rng() % 20 == 0;
        int check = value % 15;
        if (corrupt)
            check = (check + 1 + int(rng() % 14)) % 16;
        const Bytes f = Frame(uint8_t(0x78 + axis), check, value);
        stream.insert(stream.end(), f.begin(), f.end());
        if (!corrupt)
            held[axis] = value;
        expected.emplace_back(TAxis(axis), held[axis]);
    }

    auto run = [&](auto nextSize) {
        TReceiveState state{};
        BufferSource source;
        CollectingSink sink;
        size_t at = 0;
        while (at < stream.size()) {
            const size_t n = std::min(stream.size() - at, nextSize());
            source.Push(Bytes(stream.begin() + long(at), stream.begin() + long(at + n)));
            at += n;
            Notify(state, source, sink);
        }
        return sink.Points;
    };

    EXPECT_EQ(run([&] { return stream.size(); }), expected);
    EXPECT_EQ(run([] { return size_t(1); }), expected);
    std::mt19937 sizes(7);
    EXPECT_EQ(run([&] { return size_t(1 + sizes() % 50); }), expected);
}
