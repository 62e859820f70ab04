// Benchmark of the column reduction alone, without Qt. Prints one
// "name value" line per figure:
//   reduce_ms_100m   median time to reduce three series of 100M points each
//       to the columns of a plot 1533.6 pixels wide, over random views from
//       about 1,000 points wide to the whole history (the views and plot of
//       chart_bench's zoom_ms_100m)
//   reduce_ms_100m_max   the slowest of those views
//   reduce_ms_100m_two_threads, reduce_ms_100m_two_threads_max   the same
//       with each series cut in 16 bands of columns, as the chart reduces
//       them, and the bands shared between two threads
//   reduced_points_100m   points the reduction keeps, summed over the views
// REDUCTION_BENCH_COUNT=N holds N points per series instead of 100M;
// REDUCTION_BENCH_ROUNDS=N makes N views instead of 25 (for profiling).

#include "plotdata/column_reduction.h"
#include "plotdata/work_sharing.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

// The plot of a 1600x1000 chart, in device pixels.
constexpr double PlotLeft = 44.3125;
constexpr double PlotTop = 33;
constexpr double PlotWidth = 1533.6;
constexpr double PlotHeight = 902;
constexpr std::int64_t EdgeColumns = 3;

// Readings like the device's: a slow swing plus noise, 12-bit integers,
// with now and then a value held for a few samples.
class TSignal {
public:
    explicit TSignal(std::uint32_t seed) : m_state(seed | 1u)
    {
        m_table.resize(1 << 16);
        for (std::size_t i = 0; i < m_table.size(); ++i) {
            const double swing = 600 * std::sin(double(i) * 2 * M_PI / double(m_table.size()) * 3);
            double v = 2048 + swing + double(Next() % 801) - 400.0;
            if (i > 0 && Next() % 50 == 0)
                v = m_table[i - 1];
            m_table[i] = float(std::clamp(std::round(v), 0.0, 4095.0));
        }
    }
    float At(std::size_t i) const { return m_table[i & (m_table.size() - 1)]; }

private:
    std::uint32_t Next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    std::uint32_t m_state;
    std::vector<float> m_table;
};

std::int64_t EnvOr(const char* name, std::int64_t fallback)
{
    const char* text = std::getenv(name);
    return text ? std::max<std::int64_t>(1, std::atoll(text)) : fallback;
}

}  // namespace

int main()
{
    const std::int64_t count = EnvOr("REDUCTION_BENCH_COUNT", 100000000);
    const int rounds = int(EnvOr("REDUCTION_BENCH_ROUNDS", 25));
    std::vector<TSampleStore> stores(3);
    const std::uint32_t seeds[3] = {0x1234567, 0x89ABCDE, 0x5EED5EE};
    for (int s = 0; s < 3; ++s) {
        const TSignal signal(seeds[s]);
        for (std::int64_t i = 0; i < count; ++i)
            stores[std::size_t(s)].Append(signal.At(std::size_t(i)));
    }

    std::mt19937 rng(77);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<double> times;
    std::vector<TPlotPoint> reduced;
    std::int64_t kept = 0;
    struct TJob {
        const TSampleStore* Store;
        std::int64_t First, Last;
    };
    constexpr int Bands = 16;
    std::vector<TJob> jobs;
    std::vector<std::vector<TPlotPoint>> bandPoints;
    std::vector<double> sharedTimes;
    TWorkSharing sharing;
    for (int round = 0; round < rounds; ++round) {
        // As chart_bench's views: log-uniform widths, anywhere.
        const double width = 1000 * std::pow(double(count) / 1000, unit(rng));
        const bool whole = width >= double(count);
        const double minX = whole ? 0 : unit(rng) * (double(count) - width);
        const double maxX = whole ? double(count - 1) : minX + width;
        TMinMax values;
        const std::int64_t from = std::max<std::int64_t>(0, std::int64_t(std::ceil(minX)));
        const std::int64_t to = std::min<std::int64_t>(count, std::int64_t(std::floor(maxX)) + 1);
        for (const TSampleStore& store : stores)
            values.Include(store.MinMax(from, to));
        const double pad = (double(values.Max) - double(values.Min)) * 0.04;
        TColumnMapping mapping;
        mapping.MinX = minX;
        mapping.DeltaX = PlotWidth / (maxX - minX);
        mapping.Offset = PlotLeft;
        mapping.MinY = double(values.Min) - pad;
        mapping.DeltaY = PlotHeight / (double(values.Max) - double(values.Min) + 2 * pad);
        mapping.Height = PlotHeight;
        mapping.OffsetY = PlotTop;
        mapping.SafeLeft = 1;
        mapping.SafeTop = 1;
        mapping.SafeRight = 1600 - 2;
        mapping.SafeBottom = 1000 - 2;
        const std::int64_t columnLeft = std::int64_t(std::floor(PlotLeft)) - EdgeColumns;
        const std::int64_t columnSpan = std::int64_t(std::ceil(PlotWidth)) + 2 * EdgeColumns + 1;

        auto start = std::chrono::steady_clock::now();
        for (const TSampleStore& store : stores) {
            const std::int64_t inside = FirstIndexAtFixedX(store, mapping, 0, count, ColumnStart(columnLeft));
            const std::int64_t insideEnd
                = FirstIndexAtFixedX(store, mapping, inside, count, ColumnStart(columnLeft + columnSpan));
            reduced.clear();
            ReduceColumns(store, mapping, inside > 0 ? inside - 1 : 0, std::min(count, insideEnd + 1), reduced);
            kept += std::int64_t(reduced.size());
        }
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());

        // As the chart: each series in bands of a sixteenth of the columns,
        // all bands shared between two threads.
        start = std::chrono::steady_clock::now();
        jobs.clear();
        for (const TSampleStore& store : stores) {
            const std::int64_t inside = FirstIndexAtFixedX(store, mapping, 0, count, ColumnStart(columnLeft));
            const std::int64_t insideEnd
                = FirstIndexAtFixedX(store, mapping, inside, count, ColumnStart(columnLeft + columnSpan));
            const std::int64_t end = std::min(count, insideEnd + 1);
            std::int64_t bandFirst = inside > 0 ? inside - 1 : 0;
            for (int b = 0; b < Bands; ++b) {
                const std::int64_t nextColumn = columnLeft + columnSpan * (b + 1) / Bands;
                const std::int64_t bandLast
                    = b + 1 == Bands ? end : FirstIndexAtFixedX(store, mapping, bandFirst, end, ColumnStart(nextColumn));
                jobs.push_back({&store, bandFirst, bandLast});
                bandFirst = bandLast;
            }
        }
        bandPoints.resize(jobs.size());
        sharing.Run(jobs.size(), [&](std::size_t j) {
            bandPoints[j].clear();
            ReduceColumns(*jobs[j].Store, mapping, jobs[j].First, jobs[j].Last, bandPoints[j]);
        });
        sharedTimes.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    std::sort(sharedTimes.begin(), sharedTimes.end());
    const char* suffix = count == 100000000 ? "_100m" : "";
    std::printf("reduce_ms%s %.3f\n", suffix, times[times.size() / 2]);
    std::printf("reduce_ms%s_max %.3f\n", suffix, times.back());
    std::printf("reduce_ms%s_two_threads %.3f\n", suffix, sharedTimes[sharedTimes.size() / 2]);
    std::printf("reduce_ms%s_two_threads_max %.3f\n", suffix, sharedTimes.back());
    std::printf("reduced_points%s %lld\n", suffix, static_cast<long long>(kept));
    return 0;
}
