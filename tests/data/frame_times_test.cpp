// The time of every frame: placed back from its read's time by the bytes
// that followed it on the line, never before the read before or the
// port's opening; kept per batch, looked up by frame, in order, per axis,
// and by time; and frames appended with their own times kept exactly.
#include "axis_gaps.h"
#include "axis_times.h"
#include "session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

constexpr TLineTiming Line8N1At9600{20, 9600};

struct TRead {
    std::int64_t TimeUs;
    std::vector<int> After;  // per frame, bytes of the read after it
};

struct TStep {
    enum { Open, Read } Kind;
    std::int64_t TimeUs;
    TLineTiming Line;
    std::vector<int> After;
};

TStep OpenAt(std::int64_t us, TLineTiming line) { return {TStep::Open, us, line, {}}; }
TStep ReadAt(std::int64_t us, std::vector<int> after) { return {TStep::Read, us, {}, std::move(after)}; }

void Play(TSession& session, const std::vector<TStep>& steps)
{
    for (const TStep& step : steps) {
        if (step.Kind == TStep::Open) {
            session.MarkOpening(step.TimeUs * 1000, step.Line);
            continue;
        }
        session.BeginRead(step.TimeUs * 1000);
        for (int after : step.After)
            session.AppendFrame(TAxis(session.FrameCount() % 3), 1, true, after);
    }
}

std::vector<std::int64_t> Times(const TSession& session)
{
    std::vector<std::int64_t> times;
    for (TSession::TReader reader(session, 0); !reader.AtEnd(); reader.Next())
        times.push_back(reader.Record().TimeUs);
    return times;
}

TEST(FrameTimes, EachFrameIsPlacedBackFromItsReadByTheBytesAfterIt)
{
    struct TCase {
        const char* Name;
        std::vector<TStep> Steps;
        std::vector<std::int64_t> Expected;
    };
    const TCase cases[] = {
        // 10 bits a byte at 9600 baud: 1041.7 us a byte, 3125 us a frame.
        {"whole frames, 8N1 at 9600", {OpenAt(0, Line8N1At9600), ReadAt(10000, {6, 3, 0})}, {3750, 6875, 10000}},
        {"two bytes of a frame behind, 115200",
         {OpenAt(0, {20, 115200}), ReadAt(5000, {5, 2})},
         {5000 - 434, 5000 - 173}},
        {"even parity, two stop bits", {OpenAt(0, {24, 9600}), ReadAt(20000, {3, 0})}, {16250, 20000}},
        {"7 bits, odd parity, 1.5 stop bits at 1200",
         {OpenAt(0, {21, 1200}), ReadAt(100000, {6, 3, 0})},
         {47500, 73750, 100000}},
        {"a byte that starts no frame between two",
         {OpenAt(0, Line8N1At9600), ReadAt(10000, {6, 1})},
         {3750, 10000 - 1041}},
        // A read that came late with a full buffer: what it brings came
        // after the read before, which took everything there was.
        {"a late read is not placed before the read before",
         {OpenAt(0, Line8N1At9600), ReadAt(100000, {0}),
          ReadAt(101000, {87, 84, 81, 78, 75, 72, 69, 66, 63, 60, 57, 54, 51, 48, 45, 42, 39, 36, 33, 30, 27, 24, 21,
                          18, 15, 12, 9, 6, 3, 0})},
         {100000, 100000, 100000, 100000, 100000, 100000, 100000, 100000, 100000, 100000, 100000,
          100000, 100000, 100000, 100000, 100000, 100000, 100000, 100000, 100000, 100000, 100000,
          100000, 100000, 100000, 100000, 100000, 100000, 100000, 100000, 101000}},
        {"a read that completed no frame bounds the next",
         {OpenAt(0, Line8N1At9600), ReadAt(10000, {0}), ReadAt(10500, {}), ReadAt(11000, {3, 0})},
         {10000, 10500, 11000}},
        {"nothing before the port opened again",
         {OpenAt(0, Line8N1At9600), ReadAt(10000, {0}), OpenAt(60000, Line8N1At9600), ReadAt(61000, {6, 3, 0})},
         {10000, 60000, 60000, 61000}},
        {"a faster line after the port opened again",
         {OpenAt(0, Line8N1At9600), ReadAt(10000, {3, 0}), OpenAt(60000, {20, 115200}), ReadAt(70000, {3, 0})},
         {6875, 10000, 70000 - 260, 70000}},
        {"a line not known: frames share their read's time",
         {ReadAt(0, {}), ReadAt(10000, {6, 3, 0})},
         {10000, 10000, 10000}},
    };
    for (const TCase& c : cases) {
        TSession session;
        Play(session, c.Steps);
        EXPECT_EQ(Times(session), c.Expected) << c.Name;
        for (std::uint64_t f = 0; f < session.FrameCount(); ++f)
            EXPECT_EQ(session.Record(f).TimeUs, c.Expected[f]) << c.Name << " frame " << f;
    }
}

TEST(FrameTimes, TheOpeningsAreKept)
{
    TSession session;
    Play(session, {OpenAt(5000, Line8N1At9600), ReadAt(10000, {6, 3, 0, 0}), OpenAt(90000, Line8N1At9600),
                   OpenAt(95000, {20, 19200}), ReadAt(99000, {0, 0})});
    const std::vector<TOpening>& openings = session.Openings();
    ASSERT_EQ(openings.size(), 3u);
    EXPECT_EQ(openings[0].Frame, 0u);
    EXPECT_EQ(openings[0].TimeUs, 0);
    EXPECT_EQ(openings[1].Frame, 4u);
    EXPECT_EQ(openings[1].TimeUs, 85000);
    EXPECT_EQ(openings[1].Points[axX], 2);
    EXPECT_EQ(openings[1].Points[axY], 1);
    EXPECT_EQ(openings[1].Points[axZ], 1);
    EXPECT_EQ(openings[2].Frame, 4u);
    EXPECT_EQ(openings[2].TimeUs, 90000);
}

// A stream of reads of every size, with bytes that start no frame, reads
// that come late, frames cut across reads and the port opened again at
// other rates, against the rule applied frame by frame.
struct TRandomStream {
    TSession Session;
    std::vector<std::int64_t> Expected;
    std::uint64_t Reads = 0;
    std::uint64_t StrayBytes = 0;  // runs of bytes that start no frame, between frames

    explicit TRandomStream(unsigned seed, int reads = 4000)
    {
        std::mt19937 rng(seed);
        const TLineTiming lines[] = {Line8N1At9600, {20, 115200}, {24, 1200}, {21, 921600}};
        TLineTiming line = lines[0];
        std::int64_t now = 1000;
        std::int64_t floor = 0;
        std::int64_t lastRead = 0;
        Session.MarkOpening(now * 1000, line);
        floor = 0;
        for (int r = 0; r < reads; ++r) {
            if (rng() % 200 == 0) {
                now += 1 + std::int64_t(rng() % 5'000'000);
                line = lines[rng() % 4];
                Session.MarkOpening(now * 1000, line);
                floor = now - 1000;
            }
            const int frames = int(rng() % 101);
            std::vector<int> after;
            int bytes = int(rng() % 3);  // part of a frame at the end
            for (int k = 0; k < frames; ++k) {
                after.push_back(bytes);
                bytes += 3;
                if (rng() % 20 == 0) {
                    bytes += 1 + int(rng() % 4);  // now and then stray bytes
                    ++StrayBytes;
                }
            }
            std::reverse(after.begin(), after.end());
            // Mostly as the bytes came, sometimes late, sometimes early.
            const std::int64_t lineTime = line.UsFor(bytes);
            now += rng() % 4 == 0 ? std::int64_t(rng() % 100) : lineTime + std::int64_t(rng() % 3000);
            Session.BeginRead(now * 1000);
            const std::int64_t readUs = now - 1000;
            const std::int64_t bound = std::max(lastRead, floor);
            lastRead = readUs;
            for (int a : after) {
                Session.AppendFrame(TAxis(rng() % 7 == 0 ? rng() % 3 : Session.FrameCount() % 3), 1, true, a);
                Expected.push_back(std::max(bound, readUs - line.UsFor(a)));
            }
            ++Reads;
        }
    }
};

TEST(FrameTimes, EveryFrameOfARandomStreamKeepsItsTime)
{
    TRandomStream stream(11);
    const TSession& session = stream.Session;
    ASSERT_EQ(session.FrameCount(), stream.Expected.size());
    EXPECT_EQ(Times(session), stream.Expected);
    for (std::uint64_t f = 0; f < stream.Expected.size(); f += 7)
        ASSERT_EQ(session.Record(f).TimeUs, stream.Expected[f]) << f;
    EXPECT_TRUE(std::is_sorted(stream.Expected.begin(), stream.Expected.end()));
    // A batch per read, and one more where stray bytes cut it or it came
    // late: nothing is kept per frame.
    EXPECT_LE(session.Log().Times().BatchCount(), 2 * stream.Reads + stream.StrayBytes);
}

TEST(FrameTimes, EachAxisIsLookedUpByIndexAndByTime)
{
    // Over many blocks of batches and pages of the order.
    TRandomStream stream(12, 30000);
    const TSession& session = stream.Session;
    ASSERT_GT(session.Log().Times().BatchCount(), 8 * 4096u);
    std::mt19937 rng(3);
    for (int a = 0; a < AxisCount; ++a) {
        const TAxis axis = TAxis(a);
        std::vector<std::int64_t> times;
        for (std::int64_t i = 0; i < session.Count(axis); ++i)
            times.push_back(session.TimeUs(axis, i));
        TAxisTimes lookup(session, axis);
        ASSERT_EQ(lookup.Count(), std::int64_t(times.size()));
        // In order, backwards, and at random.
        for (std::int64_t i = 0; i < lookup.Count(); ++i)
            ASSERT_EQ(lookup.TimeUs(i), times[std::size_t(i)]) << i;
        for (std::int64_t i = lookup.Count(); i-- > 0;)
            ASSERT_EQ(lookup.TimeUs(i), times[std::size_t(i)]) << i;
        for (int k = 0; k < 2000; ++k) {
            const std::int64_t i = std::int64_t(rng() % times.size());
            ASSERT_EQ(lookup.TimeUs(i), times[std::size_t(i)]) << i;
        }
        // By time: near the last answer and far from it, within ranges.
        std::int64_t target = times.front() - 5;
        for (int k = 0; k < 4000; ++k) {
            target = k % 10 == 0 ? times.front() - 5 + std::int64_t(rng() % std::uint64_t(times.back() - times.front() + 10))
                                 : target + std::int64_t(rng() % 4000);
            std::int64_t first = 0;
            std::int64_t last = std::int64_t(times.size());
            if (k % 3 == 0) {
                first = std::int64_t(rng() % times.size());
                last = first + std::int64_t(rng() % (times.size() - std::size_t(first) + 1));
            }
            const std::int64_t expected
                = std::clamp<std::int64_t>(std::lower_bound(times.begin(), times.end(), target) - times.begin(), first, last);
            ASSERT_EQ(lookup.FirstAtOrAfter(first, last, target), expected) << target << " in " << first << ", " << last;
        }
    }
}

TEST(FrameTimes, FramesAppendedWithTheirTimesKeepThemExactly)
{
    // Those of a live stream, as a recording holds them, and times of any
    // spacing that never go back.
    TRandomStream stream(13);
    std::vector<TFrameRecord> records;
    for (TSession::TReader reader(stream.Session, 0); !reader.AtEnd(); reader.Next())
        records.push_back(reader.Record());
    std::mt19937 rng(4);
    std::vector<TFrameRecord> uneven;
    std::int64_t t = 0;
    std::int64_t next[AxisCount] = {};
    for (int k = 0; k < 50000; ++k) {
        const int kind = int(rng() % 6);
        t += kind == 0 ? 0 : kind == 1 ? 1 : kind == 2 ? std::int64_t(rng() % 5'000'000'000ULL) : 3125 + (rng() % 2);
        const TAxis axis = TAxis(rng() % 3);
        uneven.push_back({t, axis, next[axis]++, float(k % 4096), k % 5 != 0});
    }
    for (const std::vector<TFrameRecord>* frames : {&records, &uneven}) {
        TSession session;
        for (const TFrameRecord& frame : *frames)
            session.AppendRecord(frame);
        ASSERT_EQ(session.FrameCount(), frames->size());
        std::uint64_t n = 0;
        for (TSession::TReader reader(session, 0); !reader.AtEnd(); reader.Next(), ++n)
            ASSERT_EQ(reader.Record().TimeUs, (*frames)[n].TimeUs) << n;
        for (std::uint64_t f = 0; f < frames->size(); f += 5)
            ASSERT_EQ(session.Record(f).TimeUs, (*frames)[f].TimeUs) << f;
        for (int a = 0; a < AxisCount; ++a) {
            TAxisTimes lookup(session, TAxis(a));
            for (std::int64_t i = 0; i < lookup.Count(); i += 3)
                ASSERT_EQ(lookup.TimeUs(i), session.TimeUs(TAxis(a), i));
        }
    }
    // The live stream's frames read back take a few batches per read.
    TSession session;
    for (const TFrameRecord& frame : records)
        session.AppendRecord(frame);
    EXPECT_LT(session.Log().Times().BatchCount(), 4 * stream.Reads);
}

TEST(FrameTimes, ATimeGoingBackIsRefused)
{
    TSession session;
    session.AppendRecord({5000, axX, 0, 1, true});
    EXPECT_THROW(session.AppendRecord({4999, axY, 0, 1, true}), std::invalid_argument);
    session.AppendRecord({5000, axY, 0, 1, true});
    EXPECT_EQ(session.FrameCount(), 2u);
}

}  // namespace

namespace {

// The longest gap between neighbours over any range is bounded from above
// by what the gaps keep, within their 9% steps, and a gap across an opening
// does not count.
TEST(AxisGaps, BoundTheLongestGapOfAnyRange)
{
    std::mt19937 rng(21);
    std::vector<std::int64_t> times;
    std::vector<bool> afterStop;
    TAxisGaps gaps;
    std::int64_t t = 0;
    for (int i = 0; i < 40000; ++i) {
        const int kind = int(rng() % 100);
        const bool stop = kind == 0;
        t += stop ? 3'600'000'000 : kind < 3 ? std::int64_t(rng() % 2'000'000) : std::int64_t(rng() % 4000);
        gaps.Append(t, stop);
        times.push_back(t);
        afterStop.push_back(stop);
    }
    for (int k = 0; k < 3000; ++k) {
        const std::int64_t first = std::int64_t(rng() % times.size());
        const std::int64_t last = std::min<std::int64_t>(std::int64_t(times.size()) - 1, first + std::int64_t(rng() % (k % 2 ? 100 : 20000)));
        std::int64_t longest = 0;
        for (std::int64_t p = first + 1; p <= last; ++p) {
            if (!afterStop[std::size_t(p)])
                longest = std::max(longest, times[std::size_t(p)] - times[std::size_t(p - 1)]);
        }
        const std::int64_t bound = gaps.MaxGapUs(first, last);
        ASSERT_GE(bound, longest) << first << " " << last;
    }
    // Over whole blocks, within a step of the codes.
    for (int k = 0; k < 300; ++k) {
        const std::int64_t first = 64 * std::int64_t(1 + rng() % 500) - 1;
        const std::int64_t last = first + 64 * std::int64_t(1 + rng() % 50);
        std::int64_t longest = 0;
        for (std::int64_t p = first + 1; p <= last; ++p) {
            if (!afterStop[std::size_t(p)])
                longest = std::max(longest, times[std::size_t(p)] - times[std::size_t(p - 1)]);
        }
        const std::int64_t bound = gaps.MaxGapUs(first, last);
        ASSERT_GE(bound, longest);
        ASSERT_LE(double(bound), double(longest) * 1.1 + 1) << first << " " << last;
    }
    EXPECT_EQ(gaps.MaxGapUs(5, 5), 0);
    for (std::int64_t gap : {0LL, 1LL, 2LL, 100LL, 3125LL, 1000000LL, 3'000'000'000LL})
        EXPECT_GE(TAxisGaps::Bound(TAxisGaps::Code(gap)), gap) << gap;
    EXPECT_EQ(TAxisGaps::Bound(TAxisGaps::Code(5'000'000'000'000LL)), TAxisGaps::Unbounded);
}

}  // namespace
