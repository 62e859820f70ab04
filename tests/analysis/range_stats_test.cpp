// Statistics of a range against a direct computation over every point.
#include "range_stats.h"
#include "session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

// What a plain loop over every point gives, in long double.
TRangeStats Direct(const std::vector<float>& values, const std::vector<bool>& valid, std::int64_t first,
                   std::int64_t last)
{
    TRangeStats s;
    s.First = first;
    s.Last = last;
    s.Count = last - first;
    if (s.Count == 0)
        return s;
    long double sum = 0, squares = 0;
    float lo = values[std::size_t(first)], hi = lo;
    for (std::int64_t i = first; i < last; ++i) {
        const long double v = values[std::size_t(i)];
        sum += v;
        squares += v * v;
        lo = std::min(lo, values[std::size_t(i)]);
        hi = std::max(hi, values[std::size_t(i)]);
        s.Held += !valid[std::size_t(i)];
    }
    const long double mean = sum / s.Count;
    long double deviations = 0;
    for (std::int64_t i = first; i < last; ++i)
        deviations += (values[std::size_t(i)] - mean) * (values[std::size_t(i)] - mean);
    s.Minimum = lo;
    s.Maximum = hi;
    s.PeakToPeak = double(hi) - double(lo);
    s.Mean = double(mean);
    s.Rms = double(std::sqrt(squares / s.Count));
    s.Variance = double(deviations / s.Count);
    s.StdDev = std::sqrt(s.Variance);
    s.HeldShare = double(s.Held) / double(s.Count);
    return s;
}

// tolerance: relative, for the mean, RMS and spread.
void ExpectSame(const TRangeStats& got, const TRangeStats& want, double tolerance)
{
    ASSERT_EQ(got.First, want.First);
    ASSERT_EQ(got.Last, want.Last);
    ASSERT_EQ(got.Count, want.Count);
    ASSERT_EQ(got.Held, want.Held);
    if (want.Count == 0) {
        for (double v : {got.Minimum, got.Maximum, got.Mean, got.Rms, got.StdDev, got.PeakToPeak, got.HeldShare})
            ASSERT_TRUE(std::isnan(v));
        return;
    }
    ASSERT_EQ(got.Minimum, want.Minimum);
    ASSERT_EQ(got.Maximum, want.Maximum);
    ASSERT_EQ(got.PeakToPeak, want.PeakToPeak);
    ASSERT_EQ(got.HeldShare, want.HeldShare);
    const auto close = [tolerance](double a, double b) {
        return std::fabs(a - b) <= tolerance * std::max(std::fabs(b), 1.0);
    };
    ASSERT_PRED2(close, got.Mean, want.Mean);
    ASSERT_PRED2(close, got.Rms, want.Rms);
    ASSERT_PRED2(close, got.Variance, want.Variance);
    ASSERT_PRED2(close, got.StdDev, want.StdDev);
}

// A session of one axis with readings as the device's: 12-bit values and
// some held ones (their bit clear, their value the one before).
struct TAxisData {
    TSession Session;
    std::vector<float> Values;
    std::vector<bool> Valid;

    explicit TAxisData(std::int64_t count, std::uint32_t seed = 1)
    {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> reading(0, 4095);
        std::bernoulli_distribution fails(0.05);
        for (std::int64_t i = 0; i < count; ++i)
            Append(fails(rng) && !Values.empty() ? Values.back() : float(reading(rng)), !fails(rng));
    }
    TAxisData() = default;
    void Append(float value, bool valid)
    {
        Session.AppendReading(axX, value, valid);
        Values.push_back(value);
        Valid.push_back(valid);
    }
    // By default, to a few roundings of a double.
    void Expect(std::int64_t first, std::int64_t last, double tolerance = 8e-16) const
    {
        SCOPED_TRACE(testing::Message() << "[" << first << ", " << last << ")");
        ExpectSame(ComputeStats(Session, axX, first, last), Direct(Values, Valid, first, last), tolerance);
    }
};

constexpr std::int64_t Block = std::int64_t(1) << TSampleStore::SumBlockBits;

// Ranges whose start takes every position within a block, and ranges whose
// end does, the other end at random, for each kind of span: within one
// block of kept sums, across the boundary of two, and over many whole
// blocks (including the open one at the end).
struct TSpan {
    const char* Name;
    std::int64_t MinBlocks;  // blocks between the start's and the end's
    std::int64_t MaxBlocks;
};

class RangeStats : public testing::TestWithParam<TSpan> {
protected:
    static const TAxisData& Data()
    {
        static const TAxisData data(40 * Block + 517);
        return data;
    }
};

TEST_P(RangeStats, MatchesADirectComputationAtEveryPositionInABlock)
{
    const TAxisData& data = Data();
    const std::int64_t count = std::int64_t(data.Values.size());
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::int64_t> span(GetParam().MinBlocks, GetParam().MaxBlocks);
    for (std::int64_t position = 0; position < Block; ++position) {
        const std::int64_t blocks = span(rng);
        std::uniform_int_distribution<std::int64_t> startBlock(0, count / Block - blocks - 1);
        // The start at this position, the end anywhere in its block (not
        // before the start).
        std::uniform_int_distribution<std::int64_t> endOffset(blocks == 0 ? position : 0, Block - 1);
        std::int64_t first = startBlock(rng) * Block + position;
        data.Expect(first, (first / Block + blocks) * Block + endOffset(rng));
        // The end at this position.
        std::uniform_int_distribution<std::int64_t> startOffset(0, blocks == 0 ? position : Block - 1);
        const std::int64_t last = (startBlock(rng) + blocks) * Block + position;
        data.Expect((last / Block - blocks) * Block + startOffset(rng), last);
    }
    data.Expect(0, count);
    data.Expect(count - Block / 2, count);
}

INSTANTIATE_TEST_SUITE_P(Spans, RangeStats,
                         testing::Values(TSpan{"OneBlock", 0, 0}, TSpan{"TwoBlocks", 1, 1},
                                         TSpan{"ManyBlocks", 2, 38}),
                         [](const testing::TestParamInfo<TSpan>& info) { return std::string(info.param.Name); });

TEST(RangeStatsEdges, EmptyRangeAndRangesOutsideTheValuesHaveNoStatistics)
{
    const TAxisData data(3000);
    for (const auto& [first, last] : {std::pair<std::int64_t, std::int64_t>{5, 5}, {9, 4}, {3000, 3100},
                                      {-20, 0}}) {
        const TRangeStats s = ComputeStats(data.Session, axX, first, last);
        EXPECT_EQ(s.Count, 0);
        EXPECT_EQ(s.Held, 0);
        for (double v : {s.Minimum, s.Maximum, s.Mean, s.Rms, s.StdDev, s.PeakToPeak, s.HeldShare})
            EXPECT_TRUE(std::isnan(v));
    }
    // A range reaching past the values is clamped to them.
    const TRangeStats s = ComputeStats(data.Session, axX, 2990, 4000);
    EXPECT_EQ(s.First, 2990);
    EXPECT_EQ(s.Last, 3000);
    EXPECT_EQ(s.Count, 10);
}

TEST(RangeStatsEdges, OnePointIsItsOwnMeanWithoutSpread)
{
    TAxisData data;
    data.Append(100, true);
    data.Append(321, false);
    data.Append(5, true);
    const TRangeStats s = ComputeStats(data.Session, axX, 1, 2);
    EXPECT_EQ(s.Count, 1);
    EXPECT_EQ(s.Minimum, 321);
    EXPECT_EQ(s.Maximum, 321);
    EXPECT_EQ(s.Mean, 321);
    EXPECT_EQ(s.Rms, 321);
    EXPECT_EQ(s.StdDev, 0);
    EXPECT_EQ(s.PeakToPeak, 0);
    EXPECT_EQ(s.Held, 1);
    EXPECT_EQ(s.HeldShare, 1);
}

TEST(RangeStatsEdges, ConstantSeriesHasNoSpreadAtAll)
{
    TAxisData data;
    for (int i = 0; i < 5 * Block + 3; ++i)
        data.Append(2048, true);
    const TRangeStats s = ComputeStats(data.Session, axX, 17, 5 * Block);
    EXPECT_EQ(s.Mean, 2048);
    EXPECT_EQ(s.Rms, 2048);
    EXPECT_EQ(s.Variance, 0);
    EXPECT_EQ(s.StdDev, 0);
    EXPECT_EQ(s.PeakToPeak, 0);
    EXPECT_EQ(s.HeldShare, 0);
}

// Sums of millions of 12-bit squares still give the variance exactly,
// where adding them up in doubles rounds.
TEST(RangeStatsEdges, VarianceOfMillionsOfReadingsIsExact)
{
    TSession session;
    const std::int64_t count = std::int64_t(1) << 21;
    for (std::int64_t i = 0; i < count + 5; ++i)
        session.AppendReading(axY, (i % 2) ? 4095 : 0, i % 3 != 0);
    const TRangeStats s = ComputeStats(session, axY, 0, count);
    EXPECT_EQ(s.Mean, 2047.5);
    EXPECT_EQ(s.Variance, 4095.0 * 4095.0 / 4);
    EXPECT_EQ(s.StdDev, 2047.5);
    EXPECT_EQ(s.Rms, std::sqrt(4095.0 * 4095.0 / 2));
    EXPECT_EQ(s.Held, (count + 2) / 3);
}

// Values the kept sums cannot hold exactly (fractions, large magnitudes)
// are read in full, with the same results.
TEST(RangeStatsEdges, ValuesWithoutExactSumsAreReadInFull)
{
    for (const float odd : {0.25f, 1e6f}) {
        SCOPED_TRACE(odd);
        TAxisData data(5 * Block);
        data.Append(odd, true);
        for (int i = 0; i < 2 * Block; ++i)
            data.Append(float(i % 4096), i % 5 != 0);
        ASSERT_FALSE(data.Session.Values(axX).Summable());
        // Summed in doubles: to the rounding of a few thousand additions.
        data.Expect(0, std::int64_t(data.Values.size()), 1e-12);
        data.Expect(Block + 3, 6 * Block + 1, 1e-12);
        data.Expect(7, 9, 1e-12);
    }
}

}  // namespace
