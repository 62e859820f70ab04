// Welch's spectrum: known sines at several segment lengths (frequency,
// amplitude, Parseval), the segment length a range gets, ranges too short,
// a constant series, updates that slide or are cancelled, and the sample
// rate from the receive times.
#include "range_stats.h"
#include "sample_rate.h"
#include "sample_store.h"
#include "session.h"
#include "spectrum.h"
#include "spectrum_tracker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

const double Pi = std::acos(-1.0);

struct TTone {
    double Frequency;  // cycles per point
    double Amplitude;  // in readings
};

// Readings of sines about 2048, rounded as the device rounds, with noise of
// the given spread.
TSampleStore ToneStore(std::int64_t count, const std::vector<TTone>& tones, double noise = 0, std::uint32_t seed = 3)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> gauss(0, noise > 0 ? noise : 1);
    TSampleStore store;
    for (std::int64_t n = 0; n < count; ++n) {
        double v = 2048;
        for (const TTone& t : tones)
            v += t.Amplitude * std::sin(2 * Pi * t.Frequency * double(n) + 0.3);
        if (noise > 0)
            v += gauss(rng);
        store.Append(float(std::clamp(std::round(v), 0.0, 4095.0)));
    }
    return store;
}

double Variance(const TSampleStore& store, std::int64_t first, std::int64_t last)
{
    return ComputeStats(store, first, last, 0).Variance;
}

TSpectrum Spectrum(const TSampleStore& store, std::int64_t first, std::int64_t last, int length, TSampleRate rate)
{
    return WelchSpectrum(store.Snapshot(), first, last, length, ComputeStats(store, first, last, 0).Mean, rate);
}

struct TSineCase {
    int Length;
    double Frequency;  // Hz at the device's rate, between bins
    double Amplitude;
    std::int64_t Points;
};

class SineSpectrum : public testing::TestWithParam<TSineCase> {};

TEST_P(SineSpectrum, FindsItsFrequencyAmplitudeAndPower)
{
    const TSineCase c = GetParam();
    const TSampleRate rate{320.0 / 3, true};
    const TSampleStore store = ToneStore(c.Points + 100, {{c.Frequency / rate.PerUnit, c.Amplitude}}, 1.0);
    const std::int64_t first = 37, last = 37 + c.Points;
    const TSpectrum s = Spectrum(store, first, last, c.Length, rate);
    ASSERT_EQ(s.SegmentLength, c.Length);
    EXPECT_EQ(s.Segments, (c.Points - c.Length) / (c.Length / 2) + 1);
    ASSERT_EQ(s.Density.size(), std::size_t(c.Length / 2 + 1));
    EXPECT_DOUBLE_EQ(s.BinWidth, rate.PerUnit / c.Length);
    ASSERT_TRUE(s.Peak.Found);
    // Within a few hundredths of a bin, and of the amplitude.
    EXPECT_NEAR(s.Peak.Frequency, c.Frequency, 0.03 * s.BinWidth);
    EXPECT_NEAR(s.Peak.Amplitude, c.Amplitude, 0.02 * c.Amplitude);
    const double variance = Variance(store, first, last);
    EXPECT_NEAR(s.Power(), variance, 0.01 * variance);
}

INSTANTIATE_TEST_SUITE_P(Lengths, SineSpectrum,
                         testing::Values(TSineCase{256, 25.00, 400, 20000}, TSineCase{1024, 13.37, 100, 40000},
                                         TSineCase{4096, 41.1, 1000, 100000},
                                         TSineCase{65536, 7.777, 50, 600000}),
                         [](const testing::TestParamInfo<TSineCase>& info) {
                             return "Segment" + std::to_string(info.param.Length);
                         });

// The interpolation is only as good as the window's lobe is a parabola in
// logarithms: at every offset between two bins it stays within 0.02 bin,
// and the amplitude within 1 %.
TEST(Spectrum, PeakBetweenBinsIsRefinedAtEveryOffset)
{
    const int length = 1024;
    for (double offset = 0; offset <= 1.0; offset += 0.125) {
        SCOPED_TRACE(offset);
        const double frequency = (100 + offset) / length;
        const TSampleStore store = ToneStore(16 * length, {{frequency, 1000}});
        const TSpectrum s = Spectrum(store, 0, store.Count(), length, TSampleRate());
        ASSERT_TRUE(s.Peak.Found);
        EXPECT_NEAR(s.Peak.Frequency * length, 100 + offset, 0.02);
        EXPECT_NEAR(s.Peak.Amplitude, 1000, 10);
    }
}

TEST(Spectrum, FindsTheStrongerOfTwoSinesAndIgnoresTheConstantPart)
{
    const TSampleStore store = ToneStore(50000, {{0.1, 300}, {0.27, 500}});
    const TSpectrum s = Spectrum(store, 0, store.Count(), 2048, TSampleRate());
    ASSERT_TRUE(s.Peak.Found);
    EXPECT_NEAR(s.Peak.Frequency, 0.27, 0.03 / 2048);
    // Without times the frequencies are in cycles per point.
    EXPECT_FALSE(s.Rate.Hertz);
    EXPECT_DOUBLE_EQ(s.BinWidth, 1.0 / 2048);
    // The mean is removed: the constant bin holds only what the segments'
    // own means differ by.
    EXPECT_LT(s.Density[0], 1e-3 * s.Peak.Density);
}

TEST(Spectrum, PowerOfNoiseIsItsVariance)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> reading(0, 4095);
    TSampleStore store;
    for (int i = 0; i < 300000; ++i)
        store.Append(float(reading(rng)));
    for (const int length : {256, 4096}) {
        const TSpectrum s = Spectrum(store, 1000, 299000, length, TSampleRate{100, true});
        const double variance = Variance(store, 1000, 299000);
        EXPECT_NEAR(s.Power(), variance, 0.01 * variance) << length;
    }
}

TEST(Spectrum, SegmentLengthIsAPowerOfTwoNoLongerThanTheRange)
{
    struct TCase {
        int Chosen;
        std::int64_t Points;
        int Length;
    };
    const TCase cases[] = {
        {1024, 1000000, 1024}, {1000, 1000000, 1024}, {100, 1000000, 256},   {1 << 20, 1 << 20, 65536},
        {4096, 3000, 2048},    {256, 100, 64},        {1024, 4, 4},          {1024, 3, 0},
        {1024, 0, 0},          {65536, 65536, 65536}, {65536, 65535, 32768},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(SegmentLengthFor(c.Chosen, c.Points), c.Length) << c.Chosen << " for " << c.Points;
}

TEST(Spectrum, RangesTooShortOrConstantHaveNoPeak)
{
    const TSampleStore store = ToneStore(5000, {{0.1, 100}});
    for (const auto& [first, last] : {std::pair<std::int64_t, std::int64_t>{10, 10}, {10, 11}, {10, 13}}) {
        const TSpectrum s = Spectrum(store, first, last, 1024, TSampleRate());
        EXPECT_TRUE(s.Empty());
        EXPECT_EQ(s.SegmentLength, 0);
        EXPECT_TRUE(s.Density.empty());
        EXPECT_FALSE(s.Peak.Found);
    }
    TSampleStore constant;
    for (int i = 0; i < 5000; ++i)
        constant.Append(1500);
    const TSpectrum s = Spectrum(constant, 0, 5000, 1024, TSampleRate{100, true});
    EXPECT_EQ(s.Segments, 8);
    EXPECT_FALSE(s.Peak.Found);
    EXPECT_EQ(s.Power(), 0);
}

// A range that slides and grows: the tracker adds and drops segments and
// gives what a fresh computation of the same segments gives.
TEST(SpectrumTracker, SlidingRangeMatchesAFreshComputation)
{
    const TSampleStore store = ToneStore(300000, {{0.031, 200}, {0.2, 50}}, 3.0);
    const TValuesSnapshot values = store.Snapshot();
    TSpectrumTracker tracker;
    std::int64_t transforms = 0;
    TWorkControl control;
    control.Progress = [&](std::int64_t done, std::int64_t) { transforms = done; };
    struct TStep {
        std::int64_t First, Last;
        std::int64_t Transforms;  // expected for the update
    };
    const TStep steps[] = {
        {1000, 21000, 38},     // from nothing: 512-point hops, 1024 long
        {1020, 21020, 0},      // moved by less than a hop: the same segments
        {1536, 21600, 2},      // one out, one in
        {1536, 60000, 75},     // grown
        {50000, 90000, 76},    // mostly new: afresh
    };
    for (const TStep& step : steps) {
        TSpectrumRange range{step.First, step.Last, 1024, true};
        transforms = -1;
        EXPECT_EQ(tracker.WorkFor(range), step.Transforms);
        ASSERT_TRUE(tracker.Update(values, range, 2048, control));
        EXPECT_EQ(transforms, step.Transforms);
        TSpectrumTracker fresh;
        ASSERT_TRUE(fresh.Update(values, range, 2048, TWorkControl()));
        ASSERT_EQ(tracker.Held(), fresh.Held());
        const double mean = ComputeStats(store, step.First, step.Last, 0).Mean;
        const TSpectrum got = tracker.Result(mean, TSampleRate());
        const TSpectrum want = fresh.Result(mean, TSampleRate());
        ASSERT_EQ(got.Density.size(), want.Density.size());
        for (std::size_t k = 0; k < got.Density.size(); ++k)
            // Single-precision sums: what a segment taken back leaves.
            ASSERT_NEAR(got.Density[k], want.Density[k], 1e-5 * want.Density[k] + 1e-6 * want.Peak.Density) << k;
    }
}

TEST(SpectrumTracker, CancelledUpdateGoesOnAtTheNext)
{
    const TSampleStore store = ToneStore(200000, {{0.05, 300}}, 2.0);
    const TValuesSnapshot values = store.Snapshot();
    TSpectrumTracker tracker;
    std::atomic<bool> cancel{false};
    TWorkControl control;
    control.Cancel = &cancel;
    int reports = 0;
    control.Progress = [&](std::int64_t, std::int64_t) {
        if (++reports == 3)
            cancel = true;
    };
    const TSpectrumRange range{0, 200000, 1024, false};
    EXPECT_FALSE(tracker.Update(values, range, 2048, control));
    EXPECT_GT(tracker.Held().Count(), 0);
    EXPECT_LT(tracker.Held().Count(), PlanSegments(range).Count());
    cancel = false;
    ASSERT_TRUE(tracker.Update(values, range, 2048, control));
    EXPECT_EQ(tracker.Held(), PlanSegments(range));
    const double mean = ComputeStats(store, 0, 200000, 0).Mean;
    const TSpectrum got = tracker.Result(mean, TSampleRate());
    const TSpectrum want = WelchSpectrum(values, 0, 200000, 1024, mean, TSampleRate());
    ASSERT_EQ(got.Segments, want.Segments);
    for (std::size_t k = 0; k < got.Density.size(); ++k)
        ASSERT_NEAR(got.Density[k], want.Density[k], 1e-6 * want.Peak.Density) << k;
}

// A moving range's grid is fixed: a length whose grid holds no whole
// segment of the range is halved; a range seen once starts at its first
// point.
TEST(SpectrumTracker, SegmentsOfMovingRangesKeepTheirPlaces)
{
    struct TCase {
        TSpectrumRange Range;
        TSegmentPlan Plan;
    };
    const TCase cases[] = {
        {{100, 1124, 1024, false}, {1024, 100, 0, 1}},
        {{100, 1124, 1024, true}, {512, 0, 1, 3}},
        {{512, 2560, 1024, true}, {1024, 0, 1, 4}},
        {{0, 3, 1024, true}, {0, 0, 0, 0}},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(PlanSegments(c.Range), c.Plan) << c.Range.First << ".." << c.Range.Last << " " << c.Range.Moving;
}

// The rate from the receive times of reads 16 ms apart at 320 frames per
// second over three axes; none without times.
TEST(SampleRate, ComesFromTheReceiveTimes)
{
    TSession session;
    std::int64_t frame = 0;
    for (int read = 0; read < 2000; ++read) {
        session.BeginRead(std::int64_t(read) * 16'000'000);
        for (; frame * 1000 < std::int64_t(read + 1) * 16 * 320; ++frame)
            session.AppendReading(TAxis(frame % 3), 2048, true);
    }
    const TSampleRate rate = MeasureSampleRate(session, axY, 100, 9000);
    EXPECT_TRUE(rate.Hertz);
    EXPECT_NEAR(rate.PerUnit, 320.0 / 3, 0.005 * 320 / 3);
    EXPECT_FALSE(MeasureSampleRate(session, axY, 100, 101).Hertz);
    EXPECT_FALSE(MeasureSampleRate(session, axY, 100, 100).Hertz);

    TSession together;
    together.BeginRead(5'000'000);
    for (int i = 0; i < 300; ++i)
        together.AppendReading(axZ, i, true);
    const TSampleRate none = MeasureSampleRate(together, axZ, 0, 300);
    EXPECT_FALSE(none.Hertz);
    EXPECT_EQ(none.PerUnit, 1);
}

}  // namespace
