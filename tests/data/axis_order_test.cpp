// The arrival order over streams of every shape, long enough to fill many
// pages in both of their forms, checked against a plain list of axes: a
// frame's point, a point's frame, and walks from many places, also while
// frames keep coming; and an append that fails (out of memory) at any of
// its allocations, the change of a page's form among them.
#include "axis_order.h"
#include "failing_allocation.h"

#include <gtest/gtest.h>

#include <new>
#include <random>
#include <string>
#include <vector>

namespace {

using TAxes = std::vector<TAxis>;

TAxes Repeat(const std::string& pattern, std::size_t frames)
{
    TAxes axes;
    for (std::size_t i = 0; axes.size() < frames; ++i)
        axes.push_back(TAxis(pattern[i % pattern.size()] - 'x'));
    return axes;
}

TAxes Random(std::size_t frames, std::uint32_t seed)
{
    std::mt19937 random(seed);
    TAxes axes;
    while (axes.size() < frames)
        axes.push_back(TAxis(random() % 3));
    return axes;
}

// The device's cycle with a frame lost now and then, and now and then one
// twice (a reset).
TAxes CycleWithSlips(std::size_t frames, unsigned every, std::uint32_t seed)
{
    std::mt19937 random(seed);
    TAxes axes;
    for (int axis = 0; axes.size() < frames; axis = (axis + 1) % 3) {
        if (random() % every == 0)
            continue;
        axes.push_back(TAxis(axis));
        if (random() % every == 0)
            axes.push_back(TAxis(axis));
    }
    axes.resize(frames);
    return axes;
}

// Long stretches of one kind, then of another: pages of runs and of two
// bits per frame side by side.
TAxes Mixed(std::size_t frames)
{
    TAxes axes;
    for (int part = 0; axes.size() < frames; ++part) {
        const TAxes piece = part % 3 == 0 ? Repeat("xyz", 10000) : part % 3 == 1 ? Random(7000, part) : Repeat("xxyyzz", 5000);
        axes.insert(axes.end(), piece.begin(), piece.end());
    }
    axes.resize(frames);
    return axes;
}

struct TStream {
    const char* Name;
    TAxes Axes;
};

std::vector<TStream> Streams()
{
    constexpr std::size_t n = 60000;  // about 15 pages
    return {
        {"X, Y, Z", Repeat("xyz", n)},
        {"starting on Z", Repeat("zxy", n)},
        {"Z, Y, X", Repeat("zyx", n)},
        {"X and Y only", Repeat("xy", n)},
        {"Y only", Repeat("y", n)},
        {"X X Y Y Z Z", Repeat("xxyyzz", n)},
        {"X Y Y Z Z Z", Repeat("xyyzzz", n)},
        {"random", Random(n, 1)},
        {"a lost frame now and then", CycleWithSlips(n, 997, 2)},
        {"a lost frame often", CycleWithSlips(n, 40, 3)},
        {"stretches of each", Mixed(n)},
        {"one frame", Repeat("y", 1)},
        {"a page and one", Random(4097, 4)},
    };
}

// The points of a list of axes, as they plainly are.
struct TModel {
    explicit TModel(const TAxes& axes)
    {
        std::int64_t counts[AxisCount] = {};
        for (std::size_t f = 0; f < axes.size(); ++f) {
            const TAxis axis = axes[f];
            Points.push_back({axis, counts[axis]++});
            FrameOf[axis].push_back(f);
        }
    }
    std::vector<TFramePoint> Points;
    std::vector<std::uint64_t> FrameOf[AxisCount];
};

void Append(TAxisOrder& order, const TAxes& axes, std::size_t from, std::size_t to)
{
    for (std::size_t f = from; f < to; ++f) {
        order.Reserve(axes[f]);
        order.Append(axes[f]);
    }
}

// Every lookup of order, which holds the first `held` frames of axes.
void ExpectMatches(const TAxisOrder& order, const TModel& model, std::size_t held)
{
    ASSERT_EQ(order.Count(), held);
    for (std::size_t f = 0; f < held; ++f) {
        const TFramePoint p = order.Point(f);
        ASSERT_EQ(p.Axis, model.Points[f].Axis) << "frame " << f;
        ASSERT_EQ(p.Index, model.Points[f].Index) << "frame " << f;
        ASSERT_EQ(order.Frame(p.Axis, p.Index), f) << "frame " << f;
    }
    for (int a = 0; a < AxisCount; ++a) {
        std::int64_t points = 0;
        for (std::size_t f = 0; f < held; ++f)
            points += model.Points[f].Axis == a ? 1 : 0;
        ASSERT_EQ(order.Points(TAxis(a)), points);
    }
    std::vector<std::uint64_t> starts = {0, 1, 4095, 4096, 4097, 5000, held / 2, held - 1};
    for (std::uint64_t start : starts) {
        if (start >= held)
            continue;
        std::uint64_t f = start;
        for (TAxisOrder::TWalker walker(order, start, held); !walker.AtEnd(); walker.Next(), ++f) {
            ASSERT_EQ(walker.Frame(), f);
            ASSERT_EQ(walker.Point().Axis, model.Points[f].Axis) << "walk from " << start << ", frame " << f;
            ASSERT_EQ(walker.Point().Index, model.Points[f].Index) << "walk from " << start << ", frame " << f;
        }
        ASSERT_EQ(f, held);
    }
}

TEST(AxisOrder, EveryLookupMatchesThePlainList)
{
    for (const TStream& s : Streams()) {
        SCOPED_TRACE(s.Name);
        TAxisOrder order;
        Append(order, s.Axes, 0, s.Axes.size());
        ExpectMatches(order, TModel(s.Axes), s.Axes.size());
    }
}

// Lookups while a page fills, in every state it passes through: looked at
// after every few frames of a page that goes over to two bits per frame
// part way.
TEST(AxisOrder, APageBeingFilledIsLookedUpAtEveryStep)
{
    TAxes axes = Repeat("xyz", 5000);
    const TAxes random = Random(4000, 9);
    axes.insert(axes.end(), random.begin(), random.end());
    const TModel model(axes);
    TAxisOrder order;
    for (std::size_t held = 0; held < axes.size();) {
        const std::size_t next = std::min(axes.size(), held + 1 + held % 97);
        Append(order, axes, held, next);
        held = next;
        ExpectMatches(order, model, held);
    }
}

// A walker made before its page went over to two bits per frame goes on
// through it as it is now.
TEST(AxisOrder, AWalkerGoesOnWhileFramesArrive)
{
    for (const TStream& s : Streams()) {
        if (s.Axes.size() < 20000)
            continue;
        SCOPED_TRACE(s.Name);
        const TModel model(s.Axes);
        TAxisOrder order;
        Append(order, s.Axes, 0, 4096 + 100);
        TAxisOrder::TWalker walker(order, 4096 + 10, 4096 + 100);
        std::uint64_t f = 4096 + 10;
        for (std::size_t held = 4096 + 100; held < 20000; held += 333) {
            Append(order, s.Axes, held, held + 333);
            if (!walker.AtEnd()) {
                ASSERT_EQ(walker.Point().Axis, model.Points[f].Axis) << f;
                ASSERT_EQ(walker.Point().Index, model.Points[f].Index) << f;
                walker.Next();
                ++f;
            }
        }
        for (; !walker.AtEnd(); walker.Next(), ++f) {
            ASSERT_EQ(walker.Point().Axis, model.Points[f].Axis) << f;
            ASSERT_EQ(walker.Point().Index, model.Points[f].Index) << f;
        }
        EXPECT_EQ(f, 4096u + 100);
    }
}

// Out of memory at any allocation of an append, also the one that moves a
// page to two bits per frame: the order is as it was, then goes on.
TEST(AxisOrder, AFailedAppendLeavesTheOrderAsItWas)
{
    // 64 runs of two frames in the first page; the 65th run moves it.
    TAxes axes = Repeat("xxyyzz", 128);
    const TAxes more = Repeat("xxyyzz", 4096 * 2);
    axes.insert(axes.end(), more.begin(), more.end());
    TAxisOrder order;
    int failures = 0;
    for (std::size_t f = 0; f < axes.size(); ++f) {
        for (long after = 0;; ++after) {
            try {
                TAllocationFailure failure(after);
                order.Reserve(axes[f]);
                order.Append(axes[f]);
                break;
            } catch (const std::bad_alloc&) {
                ++failures;
                ASSERT_EQ(order.Count(), f);
            }
        }
    }
    EXPECT_GT(failures, 0);
    ExpectMatches(order, TModel(axes), axes.size());
}

}  // namespace
