// Statistics and spectra of counts read in g through a calibration:
// against the same figures worked out on every value in g.
#include "range_stats.h"
#include "spectrum_tracker.h"
#include "value_units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

const double Pi = std::acos(-1.0);

// A sensor at rest with its axis up (about +1 g), a 7 Hz vibration of a
// tenth of a g and noise, in whole counts.
TSampleStore Readings(const TValueMap& part, std::vector<double>& inG)
{
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0, 3);
    TSampleStore store;
    for (int n = 0; n < 20000; ++n) {
        const double g = 1 + 0.1 * std::sin(2 * Pi * 7 * n / 106.67);
        const double counts = std::round(part.Zero + part.PerUnit * g + noise(rng));
        store.Append(float(counts));
        inG.push_back(part(counts));
    }
    return store;
}

TEST(ValueUnits, StatisticsInGAreThoseOfEveryValueInG)
{
    for (const TValueMap part : {TValueMap{2041, 404}, TValueMap{2056, -397}}) {
        SCOPED_TRACE(part.PerUnit);
        std::vector<double> inG;
        const TSampleStore store = Readings(part, inG);
        const std::int64_t first = 1234, last = 17777;
        const TRangeStats counts = ComputeStats(store, first, last, 5);
        const TRangeStats got = InUnit(counts, part);

        long double sum = 0, squares = 0;
        double low = inG[first], high = inG[first];
        for (std::int64_t i = first; i < last; ++i) {
            sum += inG[std::size_t(i)];
            squares += (long double)inG[std::size_t(i)] * inG[std::size_t(i)];
            low = std::min(low, inG[std::size_t(i)]);
            high = std::max(high, inG[std::size_t(i)]);
        }
        const double n = double(last - first);
        const double mean = double(sum / n);
        long double spread = 0;
        for (std::int64_t i = first; i < last; ++i)
            spread += (inG[std::size_t(i)] - mean) * (inG[std::size_t(i)] - mean);
        EXPECT_EQ(got.Count, last - first);
        EXPECT_EQ(got.Held, 5);
        EXPECT_NEAR(got.Minimum, low, 1e-12);
        EXPECT_NEAR(got.Maximum, high, 1e-12);
        EXPECT_NEAR(got.PeakToPeak, high - low, 1e-12);
        EXPECT_NEAR(got.Mean, mean, 1e-12);
        EXPECT_NEAR(got.Mean, 1, 0.002);
        EXPECT_NEAR(got.Rms, double(std::sqrt(squares / n)), 1e-12);
        EXPECT_NEAR(got.Variance, double(spread / n), 1e-12);
        EXPECT_NEAR(got.StdDev, std::sqrt(double(spread / n)), 1e-12);
        // The vibration's RMS about the mean, 0.1 / sqrt(2), and the noise.
        EXPECT_NEAR(got.StdDev, std::hypot(0.1 / std::sqrt(2), 3 / std::fabs(part.PerUnit)), 0.002);
    }
    // Counts stay counts; an empty range stays empty.
    TSampleStore store;
    store.Append(7);
    const TRangeStats counts = ComputeStats(store, 0, 1, 0);
    EXPECT_EQ(InUnit(counts, TValueMap{}).Mean, 7);
    EXPECT_TRUE(std::isnan(InUnit(ComputeStats(store, 1, 1, 0), TValueMap{2048, 400}).Mean));
}

TEST(ValueUnits, SpectrumInGIsInGSquaredPerHertz)
{
    const TValueMap part{2056, -397};
    std::vector<double> inG;
    const TSampleStore store = Readings(part, inG);
    const TSampleRate rate{106.67, true};
    const TRangeStats counts = ComputeStats(store, 0, store.Count(), 0);
    const TSpectrum inCounts = WelchSpectrum(store.Snapshot(), 0, store.Count(), 1024, counts.Mean, rate);
    const TSpectrum got = InUnit(inCounts, part);
    ASSERT_EQ(got.Density.size(), inCounts.Density.size());
    for (std::size_t k = 0; k < got.Density.size(); k += 37)
        EXPECT_FLOAT_EQ(got.Density[k], float(inCounts.Density[k] / (397.0 * 397.0)));
    // Parseval in g: the density summed is the variance in g.
    const double variance = InUnit(counts, part).Variance;
    EXPECT_NEAR(got.Power(), variance, 0.01 * variance);
    ASSERT_TRUE(got.Peak.Found);
    EXPECT_NEAR(got.Peak.Frequency, 7, 0.05);
    EXPECT_NEAR(got.Peak.Amplitude, 0.1, 0.005);
    EXPECT_DOUBLE_EQ(got.Peak.Amplitude, inCounts.Peak.Amplitude / 397);
}

}  // namespace
