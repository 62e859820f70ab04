// Column reduction against brute force.

#include "plotdata/column_reduction.h"
#include "readings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

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
        const std::int64_t column = FixedColumn(mapping.FixedX(i));
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
        // Readings over a plot 200 pixels tall.
        mapping.DeltaY = 200.0 / 4095;
        mapping.Height = 200;
        mapping.OffsetY = 20;

        std::vector<TPlotPoint> reduced;
        ReduceColumns(store, mapping, 0, c.Count, reduced);
        const std::vector<TColumn> columns = BruteForceColumns(values, mapping);

        // Group the reduced points by the column of their X.
        std::size_t at = 0;
        for (const TColumn& column : columns) {
            ASSERT_LT(at, reduced.size());
            const std::size_t begin = at;
            const std::int64_t columnIndex = FixedColumn(mapping.FixedX(column.First));
            while (at < reduced.size() && FixedColumn(mapping.FixedX(std::int64_t(reduced[at].X))) == columnIndex)
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
            // Bounded output per column, whatever the density: a fold of
            // five points, split only where a short segment is kept.
            EXPECT_LE(at - begin, std::size_t(std::min<std::int64_t>(column.Last - column.First + 1, 5 * FixedOne)));
            if (column.Last - column.First < 8) {
                EXPECT_EQ(at - begin, std::size_t(column.Last - column.First + 1));
            }
        }
        EXPECT_EQ(at, reduced.size());
        // Most columns are a single fold, even for readings that jump
        // over the whole range at every point.
        EXPECT_LE(reduced.size(), 8 * columns.size());
    }
}

TEST(ColumnReduction, FirstIndexAtFixedXIsExact)
{
    const TSampleStore store = MakeStore(std::vector<float>(5000, 1.0f));
    TColumnMapping mapping;
    mapping.DeltaX = 0.3137;
    mapping.Offset = 17.25;
    for (std::int64_t target = 0; target < FixedOne * 1600; target += 37) {
        const std::int64_t i = FirstIndexAtFixedX(store, mapping, 0, 5000, target);
        if (i < 5000) {
            ASSERT_GE(mapping.FixedX(i), target);
        }
        if (i > 0) {
            ASSERT_LT(mapping.FixedX(i - 1), target);
        }
    }
}

// StrokeFillsSpan against the pixels of the stroke itself, for the short
// segments that join the points of a column: steep and shallow, with ends
// on and near the column's edges, where a line leans out of it.
TEST(ColumnReduction, StrokeFillsSpanMatchesTheStrokesPixels)
{
    std::mt19937 rng(4242);
    std::uniform_int_distribution<int> column(2, 1500);
    std::uniform_int_distribution<int> within(0, 63);
    std::uniform_int_distribution<int> edge(0, 5);
    std::uniform_int_distribution<int> rise(-3000, 3000);
    std::uniform_int_distribution<int> row(2 * 64, 900 * 64);
    std::vector<TPixel> pixels;
    int filling = 0;
    for (int k = 0; k < 200000; ++k) {
        // Ends in one column, half of them within a few 1/64 of its edges.
        const int base = column(rng) * 64;
        auto place = [&] { return k % 2 ? base + within(rng) : (edge(rng) < 3 ? base + edge(rng) : base + 63 - edge(rng)); };
        const int x1 = place();
        const int x2 = place();
        const int y1 = row(rng);
        const int y2 = y1 + (k % 3 == 0 ? rise(rng) / 16 : rise(rng));
        const double fx1 = x1 / 64.0, fy1 = y1 / 64.0, fx2 = x2 / 64.0, fy2 = y2 / 64.0;
        pixels.clear();
        StrokePixels(fx1, fy1, fx2, fy2, pixels);
        const int top = std::min(y1, y2) >> 6;
        const int bottom = std::max(y1, y2) >> 6;
        std::vector<TPixel> span;
        for (int y = top; y <= bottom; ++y)
            span.push_back({x1 >> 6, y});
        auto order = [](const TPixel& a, const TPixel& b) { return a.Y != b.Y ? a.Y < b.Y : a.X < b.X; };
        std::sort(pixels.begin(), pixels.end(), order);
        const bool fills = pixels == span;
        filling += fills;
        ASSERT_EQ(StrokeFillsSpan(fx1, fy1, fx2, fy2), fills) << x1 << "," << y1 << " " << x2 << "," << y2;
    }
    // Both answers are common.
    EXPECT_GT(filling, 20000);
    EXPECT_LT(filling, 180000);
}

// Zoomed views put points far off the device on both sides: their place on
// the fixed-point grid must stay ordered, floored, and free of overflow.
TEST(ColumnReduction, FixedXIsFlooredAndOrderedFarOffTheDevice)
{
    struct TCase {
        double MinX, DeltaX, Offset;
        std::int64_t Index;
        std::int64_t Fixed;
    };
    const TCase cases[] = {
        {0, 1, 0, 3, 3 * FixedOne},
        {0, 1, 0.5, 0, 32},
        {10, 1, 0, 9, -FixedOne},            // a pixel left of the plot: column -1
        {10, 0.01, 0, 9, -1},                // a hundredth of a pixel left: still column -1
        {0, 0.015625, 0, 1, 1},
    };
    for (const TCase& c : cases) {
        TColumnMapping m{c.MinX, c.DeltaX, c.Offset};
        EXPECT_EQ(m.FixedX(c.Index), c.Fixed) << c.MinX << " " << c.DeltaX << " " << c.Index;
    }
    EXPECT_EQ(FixedColumn(-1), -1);

    // A view of a few hundred points at the end of a billion: index 0 lies
    // trillions of pixels to the left, and nothing wraps around.
    TColumnMapping zoomed{1e9, 5.0, 40};
    std::int64_t previous = zoomed.FixedX(0);
    for (std::int64_t i : {std::int64_t(1), std::int64_t(1000), std::int64_t(999'999'999), std::int64_t(1'000'000'000),
                           std::int64_t(1'000'000'300), std::int64_t(4'000'000'000'000'000'000)}) {
        const std::int64_t fixed = zoomed.FixedX(i);
        EXPECT_LE(previous, fixed) << i;
        previous = fixed;
    }
    EXPECT_LT(zoomed.FixedX(0), 0);
    EXPECT_EQ(zoomed.FixedX(1'000'000'000), 40 * FixedOne);
}

}  // namespace
