// The analysis of a range: statistics and spectrum.
//   stats_ms_100m   median time of the statistics of one axis over a random
//       range, 20 ranges of series of 100 million points
//   naive_sum_ms_1m   a plain loop computing the same over 1 million points
//   welch_ms_1m   time of the spectrum of 1 million points per axis, 3
//       axes, segment 4,096, read from the session (statistics for the
//       mean and the sample rate included): the best of 15 runs
//   fft_only_ms_1m   the same transforms on ready, contiguous, windowed
//       buffers, the best of 15 runs taken in turns with those
//   fft_one_buffer_ms_1m   as many transforms of one buffer, which stays in
//       the cache (what the transforms cost without reading memory)
//   tone_error_hz   distance of the peak found from a 25.00 Hz sine with
//       noise, sampled at 320 frames per second over 3 axes and received in
//       reads about 16 ms apart (segment 1,024)
//   parseval_error   the spectrum's power against the range's variance,
//       relative, for that range
//   sums_bytes_per_point   memory of the kept sums and counts per point
// ANALYSIS_BENCH_SKIP_100M=1 skips the 100M measurement (about 1.3 GB).
#include "range_stats.h"
#include "sample_rate.h"
#include "session.h"
#include "spectrum.h"
#include "spectrum_tracker.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

double Ms(TClock::time_point from)
{
    return std::chrono::duration<double, std::milli>(TClock::now() - from).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A session of the device's kind: 320 frames per second over X, Y, Z,
// received in reads about 16 ms apart, each axis a value of frame number
// and axis; one frame in 50 fails its check.
template <typename TValue>
void Fill(TSession& session, std::int64_t perAxis, TValue value, std::uint32_t seed = 1)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::int64_t> jitter(-3000, 3000);
    std::int64_t frame = 0;
    const std::int64_t frames = 3 * perAxis;
    for (std::int64_t read = 0; frame < frames; ++read) {
        const std::int64_t readUs = read * 16000 + jitter(rng);
        session.BeginRead(std::max<std::int64_t>(0, readUs) * 1000 + 1);
        // The frames sent before this read was received.
        const std::int64_t sent = std::min(frames, (read * 16000) * 320 / 1'000'000);
        for (; frame < sent; ++frame) {
            const TAxis axis = TAxis(frame % 3);
            session.AppendReading(axis, value(axis, frame / 3, rng), frame % 50 != 7);
        }
    }
}

struct TPlain {
    std::int64_t Count = 0, Held = 0;
    float Min = 0, Max = 0;
    double Sum = 0, Squares = 0;
};

// What a loop over every point gives (min, max, sums, held count).
TPlain PlainStats(const TSession& session, TAxis axis, std::int64_t first, std::int64_t last)
{
    TPlain p;
    const TSampleStore& values = session.Values(axis);
    p.Min = p.Max = values.Value(first);
    for (std::int64_t i = first; i < last; ++i) {
        const float v = values.Value(i);
        p.Min = std::min(p.Min, v);
        p.Max = std::max(p.Max, v);
        p.Sum += v;
        p.Squares += double(v) * v;
        p.Held += !session.Valid(axis, i);
    }
    p.Count = last - first;
    return p;
}

void StatsBench()
{
    std::mt19937 rng(5);
    const auto readings = [](TAxis, std::int64_t, std::mt19937& r) {
        return double(std::uniform_int_distribution<int>(0, 4095)(r));
    };
    {
        TSession small;
        Fill(small, 1'000'000, readings);
        std::vector<double> times;
        volatile double sink = 0;
        for (int i = 0; i < 5; ++i) {
            const auto start = TClock::now();
            const TPlain p = PlainStats(small, axX, 0, 1'000'000);
            const double mean = p.Sum / double(p.Count);
            sink = sink + std::sqrt(p.Squares / double(p.Count) - mean * mean) + p.Max - p.Min + double(p.Held);
            times.push_back(Ms(start));
        }
        std::printf("naive_sum_ms_1m %.3f\n", Median(times));
        std::fflush(stdout);
    }
    if (std::getenv("ANALYSIS_BENCH_SKIP_100M"))
        return;
    const std::int64_t count = 100'000'000;
    TSession session;
    Fill(session, count, readings);
    std::uniform_int_distribution<std::int64_t> any(0, count);
    std::uniform_int_distribution<int> anyAxis(0, 2);
    std::vector<double> times;
    volatile double sink = 0;
    for (int i = 0; i < 20; ++i) {
        std::int64_t a = any(rng), b = any(rng);
        if (a > b)
            std::swap(a, b);
        const TAxis axis = TAxis(anyAxis(rng));
        const auto start = TClock::now();
        const TRangeStats s = ComputeStats(session, axis, a, b);
        times.push_back(Ms(start));
        sink = sink + s.StdDev;
    }
    std::printf("stats_ms_100m %.4f\n", Median(times));
    std::fflush(stdout);
}

void WelchBench()
{
    constexpr int Length = 4096;
    constexpr std::int64_t Points = 1'000'000;
    const double pi = std::acos(-1.0);
    TSession session;
    Fill(session, Points, [pi](TAxis axis, std::int64_t n, std::mt19937& rng) {
        std::normal_distribution<double> noise(0, 4);
        return std::round(2048 + 300 * std::sin(2 * pi * (0.05 + 0.1 * axis) * double(n)) + noise(rng));
    });
    const auto sessionWay = [&] {
        // Statistics for the mean, the rate, a snapshot, the transforms.
        std::int64_t segments = 0;
        for (int a = 0; a < AxisCount; ++a) {
            const TAxis axis = TAxis(a);
            const TRangeStats stats = ComputeStats(session, axis, 0, Points);
            const TSampleRate rate = MeasureSampleRate(session, axis, 0, Points);
            const TSpectrum s = WelchSpectrum(session.Values(axis).Snapshot(), 0, Points, Length, stats.Mean, rate);
            segments += s.Segments;
        }
        return segments;
    };
    const std::int64_t segments = sessionWay();  // plans the transform
    // The same transforms, ready.
    const TRealFft& fft = TRealFft::ForLength(Length);
    std::vector<TFftBuffer<float>> inputs;
    for (std::int64_t i = 0; i < segments; ++i) {
        inputs.emplace_back(std::size_t(Length));
        for (int n = 0; n < Length; ++n)
            inputs.back()[std::size_t(n)] = float(std::sin(0.01 * double(n + i)) * (0.5 - 0.5 * std::cos(2 * pi * n / Length)));
    }
    TFftBuffer<fftwf_complex> out(Length / 2 + 1);
    // In turns, so that both see the same load of the machine; the best of
    // each, as others share the processor.
    std::vector<double> welch, only, hot;
    for (int round = 0; round < 15; ++round) {
        auto begin = TClock::now();
        for (std::int64_t i = 0; i < segments; ++i)
            fft.Execute(inputs[0].Data(), out.Data());
        hot.push_back(Ms(begin));
        auto start = TClock::now();
        sessionWay();
        welch.push_back(Ms(start));
        start = TClock::now();
        for (auto& in : inputs)
            fft.Execute(in.Data(), out.Data());
        only.push_back(Ms(start));
    }
    std::printf("welch_ms_1m %.2f\n", *std::min_element(welch.begin(), welch.end()));
    std::printf("fft_only_ms_1m %.2f\n", *std::min_element(only.begin(), only.end()));
    std::printf("fft_one_buffer_ms_1m %.2f\n", *std::min_element(hot.begin(), hot.end()));
    std::fflush(stdout);
}

void ToneBench()
{
    const double pi = std::acos(-1.0);
    const double rate = 320.0 / 3;
    const std::int64_t points = 120'000;  // about 19 minutes
    TSession session;
    Fill(session, points, [&](TAxis axis, std::int64_t n, std::mt19937& rng) {
        std::normal_distribution<double> noise(0, 20);
        const double tone = axis == axX ? 150 * std::sin(2 * pi * 25.0 * double(n) / rate + 1) : 0;
        return std::clamp(std::round(2048 + tone + noise(rng)), 0.0, 4095.0);
    }, 9);
    const std::int64_t first = 1234, last = points - 777;
    const TRangeStats stats = ComputeStats(session, axX, first, last);
    const TSampleRate measured = MeasureSampleRate(session, axX, first, last);
    const TSpectrum s = WelchSpectrum(session.Values(axX).Snapshot(), first, last, spectrum::DefaultSegmentLength,
                                      stats.Mean, measured);
    std::printf("tone_error_hz %.4f\n", std::fabs(s.Peak.Frequency - 25.0));
    std::printf("parseval_error %.4f\n", std::fabs(s.Power() - stats.Variance) / stats.Variance);
    std::fflush(stdout);
}

}  // namespace

int main()
{
    std::printf("sums_bytes_per_point %.4f\n",
                double(sizeof(TSampleStore::TSums)) / double(1 << TSampleStore::SumBlockBits)
                    + 8.0 / double(1 << TBitArray::GroupBits));
    ToneBench();
    WelchBench();
    StatsBench();
    return 0;
}
