// The sample store and its min/max pyramid against brute force, and appends
// that fail part way.
#include "failing_allocation.h"
#include "readings.h"
#include "sample_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <random>
#include <vector>

namespace {

void ExpectMatchesValues(const TSampleStore& store, const std::vector<float>& values, std::mt19937& rng)
{
    const std::int64_t count = std::int64_t(values.size());
    ASSERT_EQ(store.Count(), count);
    std::uniform_int_distribution<std::int64_t> any(0, count);
    for (int i = 0; i < 300; ++i) {
        std::int64_t a = any(rng), b = any(rng);
        if (a > b)
            std::swap(a, b);
        if (a == b)
            continue;
        const auto [lo, hi] = std::minmax_element(values.begin() + a, values.begin() + b);
        const TMinMax got = store.MinMax(a, b);
        ASSERT_EQ(got.Min, *lo) << a << ".." << b;
        ASSERT_EQ(got.Max, *hi) << a << ".." << b;
        std::int64_t sum = 0;
        std::uint64_t squares = 0;
        for (std::int64_t i = a; i < b; ++i) {
            sum += std::int64_t(values[std::size_t(i)]);
            squares += std::uint64_t(values[std::size_t(i)]) * std::uint64_t(values[std::size_t(i)]);
        }
        const TSampleStore::TSums sums = store.Sums(a, b);
        ASSERT_EQ(sums.Sum, sum) << a << ".." << b;
        ASSERT_EQ(sums.SumOfSquares, squares) << a << ".." << b;
    }
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

// The reduction trusts whole-number readings to differ by at least 1: one
// fractional value anywhere must end that.
TEST(SampleStore, KnowsWhileEveryValueIsAWholeNumber)
{
    TSampleStore store;
    EXPECT_TRUE(store.Integral());
    for (float v : {0.0f, 4095.0f, -3.0f, 16777216.0f})
        store.Append(v);
    EXPECT_TRUE(store.Integral());
    store.Append(2.5f);
    store.Append(7.0f);
    EXPECT_FALSE(store.Integral());
}

// Exact sums are promised only for whole values small enough that their
// squares add up in 64 bits; one other value anywhere ends the promise.
TEST(SampleStore, KeepsExactSumsOfWholeValuesUpTo65535)
{
    struct TCase {
        const char* Name;
        float Last;
        bool Summable;
    };
    const TCase cases[] = {
        {"a reading", 4095, true},      {"the largest", 65535, true},     {"a negative one", -65535, true},
        {"a fraction", 0.5f, false},    {"too large", 65536, false},      {"too small", -65536, false},
        {"not a number", NAN, false},   {"infinite", INFINITY, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TSampleStore store;
        for (int i = 0; i < 3000; ++i)
            store.Append(float(i % 4096));
        ASSERT_TRUE(store.Summable());
        store.Append(c.Last);
        store.Append(7);
        EXPECT_EQ(store.Summable(), c.Summable);
    }
}

TEST(SampleStore, EmptyRangeHasNoExtremes)
{
    const TSampleStore store = MakeStore({5, 6, 7});
    EXPECT_TRUE(store.MinMax(1, 1).Empty());
    EXPECT_TRUE(TSampleStore().MinMax(0, 0).Empty());
}

// The reduction asks for reads ahead of where it is, near the ends of
// what it reduces; a hint past the last value, where no chunk of values or
// node exists yet, must not touch anything.
TEST(SampleStore, PrefetchBeyondTheValuesIsHarmless)
{
    TSampleStore full;  // exactly one chunk of values
    for (int i = 0; i < 65536; ++i)
        full.Append(float(i % 4096));
    const std::int64_t indexes[] = {-1, 0, 65535, 65536, 65536 + 64, std::int64_t(1) << 40};
    for (const std::int64_t index : indexes) {
        full.Prefetch(index);
        TSampleStore().Prefetch(index);
    }
    EXPECT_EQ(full.MinMax(0, 65536).Max, 4095.0f);
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

// An append that runs out of memory leaves the store as it was: at a new
// chunk of values, at a block that completes nodes on several levels, and at
// a block that needs a new level and a new node chunk. Appends then go on
// and the pyramid stays right.
TEST(SampleStore, FailedAppendLeavesTheStoreAsItWas)
{
    struct TCase {
        const char* Name;
        std::int64_t Before;  // values held when the append fails
    };
    const TCase cases[] = {
        {"new chunk of values", 65536},
        {"block completing three levels", 4096 - 1},
        {"new top level", 32768 - 1},
        {"new chunk of nodes", 64 * 4096 - 1},
        {"new chunk of kept sums", 1025 * 1024 - 1},
    };
    std::mt19937 rng(4);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<float> values = RandomReadings(rng, c.Before);
        TSampleStore store = MakeStore(values);
        const int levels = store.Levels();
        int failures = 0;
        for (long after = 0;; ++after) {
            try {
                TAllocationFailure failure(after);
                store.Append(1234);
                break;
            } catch (const std::bad_alloc&) {
                ++failures;
                ASSERT_EQ(store.Count(), c.Before);
                ASSERT_GE(store.Levels(), levels);
            }
        }
        values.push_back(1234);
        EXPECT_GT(failures, 0) << "the append allocated nothing: the case checks nothing";
        for (const float v : RandomReadings(rng, 70000)) {
            store.Append(v);
            values.push_back(v);
        }
        ExpectMatchesValues(store, values, rng);
    }
}

}  // namespace
