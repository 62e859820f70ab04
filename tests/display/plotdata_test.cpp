// Sample store, min/max pyramid and column reduction against brute force.

#include "plotdata/column_reduction.h"
#include "plotdata/sample_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

TSampleStore MakeStore(const std::vector<float>& values)
{
    TSampleStore store;
    for (float v : values)
        store.Append(v);
    return store;
}

std::vector<float> RandomReadings(std::mt19937& rng, std::int64_t count)
{
    std::uniform_int_distribution<int> reading(0, 4095);
    std::uniform_int_distribution<int> hold(0, 9);
    std::vector<float> values;
    values.reserve(std::size_t(count));
    for (std::int64_t i = 0; i < count; ++i) {
        // Some stretches repeat the previous value, as a failed check does.
        if (i > 0 && hold(rng) == 0)
            values.push_back(values.back());
        else
            values.push_back(float(reading(rng)));
    }
    return values;
}

TEST(SampleStore, KeepsEveryReadingExactly)
{
    TSampleStore store;
    for (int v = 0; v <= 4095; ++v)
        store.Append(float(v));
    ASSERT_EQ(store.Count(), 4096);
    for (int v = 0; v <= 4095; ++v)
        ASSERT_EQ(store.Value(v), float(v));
}

TEST(SampleStore, EmptyRangeHasNoExtremes)
{
    const TSampleStore store = MakeStore({5, 6, 7});
    EXPECT_TRUE(store.MinMax(1, 1).Empty());
    EXPECT_TRUE(TSampleStore().MinMax(0, 0).Empty());
}

// Ranges chosen at random and around the block, level and chunk
// boundaries (64, 512, 4096 values; chunks of 65536), over a store large
// enough to hold several pyramid levels and chunks.
TEST(SampleStore, PyramidMatchesBruteForce)
{
    std::mt19937 rng(12345);
    const std::int64_t count = 3 * 65536 + 4097;  // ends inside partial nodes
    const std::vector<float> values = RandomReadings(rng, count);
    const TSampleStore store = MakeStore(values);
    ASSERT_GE(store.Levels(), 4);

    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
    std::uniform_int_distribution<std::int64_t> any(0, count);
    for (int i = 0; i < 3000; ++i) {
        std::int64_t a = any(rng), b = any(rng);
        ranges.push_back({std::min(a, b), std::max(a, b)});
    }
    for (std::int64_t edge : {std::int64_t(64), std::int64_t(512), std::int64_t(4096), std::int64_t(32768),
                              std::int64_t(65536), std::int64_t(131072), count - 1}) {
        for (std::int64_t d : {-1, 0, 1}) {
            for (std::int64_t len : {1, 2, 63, 64, 65, 511, 513, 4095, 70000}) {
                const std::int64_t a = std::clamp<std::int64_t>(edge + d, 0, count);
                ranges.push_back({a, std::min(count, a + len)});
                ranges.push_back({std::max<std::int64_t>(0, a - len), a});
            }
        }
    }
    ranges.push_back({0, count});
    for (const auto& [first, last] : ranges) {
        const TMinMax got = store.MinMax(first, last);
        if (first == last) {
            EXPECT_TRUE(got.Empty());
            continue;
        }
        const auto [lo, hi] = std::minmax_element(values.begin() + first, values.begin() + last);
        ASSERT_EQ(got.Min, *lo) << first << ".." << last;
        ASSERT_EQ(got.Max, *hi) << first << ".." << last;
    }
}

// Brute-force M4: each pixel column's first, last, lowest and highest point,
// with the columns found by mapping every index.
struct TColumn {
    std::int64_t First, Last;  // indices, inclusive
    float Min, Max;
};

std::vector<TColumn> BruteForceColumns(const std::vector<float>& values, const TColumnMapping& mapping)
{
    std::vector<TColumn> columns;
    std::int64_t current = -1;
    for (std::int64_t i = 0; i < std::int64_t(values.size()); ++i) {
        const std::int64_t column = mapping.FixedX(i) >> 6;
        const float v = values[std::size_t(i)];
        if (columns.empty() || column != current) {
            columns.push_back({i, i, v, v});
            current = column;
        } else {
            TColumn& c = columns.back();
            c.Last = i;
            c.Min = std::min(c.Min, v);
            c.Max = std::max(c.Max, v);
        }
    }
    return columns;
}

TEST(ColumnReduction, MatchesBruteForceM4)
{
    struct TCase {
        std::int64_t Count;
        double Width;   // pixels over which the points are spread
        double Offset;  // device x of the first point
    };
    const TCase cases[] = {
        {50, 1500, 40.5},        // fewer points than columns: all kept
        {1600, 1533.63, 40.5},   // about one point per column
        {100000, 1533.63, 40.5}, // dense
        {200000, 377.25, 37.75}, // very dense: runs on the columns' left edges
        {150000, 611.0, 12.0},   // integer offset
    };
    std::mt19937 rng(777);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Count);
        const std::vector<float> values = RandomReadings(rng, c.Count);
        const TSampleStore store = MakeStore(values);
        TColumnMapping mapping;
        mapping.MinX = 0;
        mapping.DeltaX = c.Width / double(c.Count - 1);
        mapping.Offset = c.Offset;

        std::vector<TPlotPoint> reduced;
        ReduceColumns(store, mapping, 0, c.Count, reduced);
        const std::vector<TColumn> columns = BruteForceColumns(values, mapping);

        // Group the reduced points by the column of their X.
        std::size_t at = 0;
        for (const TColumn& column : columns) {
            ASSERT_LT(at, reduced.size());
            const std::size_t begin = at;
            const std::int64_t columnIndex = mapping.FixedX(column.First) >> 6;
            while (at < reduced.size() && (mapping.FixedX(std::int64_t(reduced[at].X)) >> 6) == columnIndex)
                ++at;
            ASSERT_GT(at, begin);
            const TPlotPoint& first = reduced[begin];
            const TPlotPoint& last = reduced[at - 1];
            EXPECT_EQ(first.X, double(column.First));
            EXPECT_EQ(first.Y, double(values[std::size_t(column.First)]));
            EXPECT_EQ(last.X, double(column.Last));
            EXPECT_EQ(last.Y, double(values[std::size_t(column.Last)]));
            double lo = first.Y, hi = first.Y;
            for (std::size_t k = begin; k < at; ++k) {
                lo = std::min(lo, reduced[k].Y);
                hi = std::max(hi, reduced[k].Y);
                EXPECT_GE(reduced[k].X, double(column.First));
                EXPECT_LE(reduced[k].X, double(column.Last));
                if (k > begin) {
                    EXPECT_FALSE(reduced[k] == reduced[k - 1]);
                }
            }
            EXPECT_EQ(lo, double(column.Min));
            EXPECT_EQ(hi, double(column.Max));
            // Bounded output per column, whatever the density.
            EXPECT_LE(at - begin, 9u);
            if (column.Last - column.First < 8) {
                EXPECT_EQ(at - begin, std::size_t(column.Last - column.First + 1));
            }
        }
        EXPECT_EQ(at, reduced.size());
    }
}

TEST(ColumnReduction, FirstIndexAtFixedXIsExact)
{
    const TSampleStore store = MakeStore(std::vector<float>(5000, 1.0f));
    TColumnMapping mapping;
    mapping.DeltaX = 0.3137;
    mapping.Offset = 17.25;
    for (std::int64_t target = 0; target < 64 * 1600; target += 37) {
        const std::int64_t i = FirstIndexAtFixedX(store, mapping, 0, 5000, target);
        if (i < 5000) {
            ASSERT_GE(mapping.FixedX(i), target);
        }
        if (i > 0) {
            ASSERT_LT(mapping.FixedX(i - 1), target);
        }
    }
}

}  // namespace
