// The view's rules, without a widget: what each gesture asks for, the
// limits every view is settled within, the sliding of a following view and
// the ranges of the axes.
#include "view/chart_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace {

TChartView Range(double minX, double maxX, bool following = false)
{
    TChartView view;
    view.Whole = false;
    view.Following = following;
    view.MinX = minX;
    view.MaxX = maxX;
    return view;
}

TChartView WithY(TChartView view, double minY, double maxY)
{
    view.ZoomedY = true;
    view.MinY = minY;
    view.MaxY = maxY;
    return view;
}

TChartView Whole()
{
    return TChartView{};
}

std::string Describe(const TChartView& v)
{
    std::string text = v.Whole ? "whole" : "[" + std::to_string(v.MinX) + ", " + std::to_string(v.MaxX) + "]";
    if (v.Following)
        text += " following";
    if (v.ZoomedY)
        text += " y [" + std::to_string(v.MinY) + ", " + std::to_string(v.MaxY) + "]";
    return text;
}

void ExpectView(const TChartView& actual, const TChartView& expected)
{
    EXPECT_EQ(actual.Whole, expected.Whole) << Describe(actual);
    EXPECT_EQ(actual.Following, expected.Following) << Describe(actual);
    EXPECT_NEAR(actual.MinX, expected.MinX, 1e-9) << Describe(actual);
    EXPECT_NEAR(actual.MaxX, expected.MaxX, 1e-9) << Describe(actual);
    EXPECT_EQ(actual.ZoomedY, expected.ZoomedY) << Describe(actual);
    if (expected.ZoomedY) {
        EXPECT_NEAR(actual.MinY, expected.MinY, 1e-9) << Describe(actual);
        EXPECT_NEAR(actual.MaxY, expected.MaxY, 1e-9) << Describe(actual);
    }
    EXPECT_EQ(actual.Hidden, expected.Hidden);
}

}  // namespace

TEST(ViewAxes, WholeHistoryGrowsInStepsOfRoundNumbers)
{
    struct TCase {
        std::int64_t Newest;
        double End;
    };
    const TCase cases[] = {{-1, 200}, {0, 200},     {199, 200},   {201, 250},        {999, 1000},
                           {1001, 1200}, {2999, 3000}, {12345, 15000}, {81000, 100000}, {150000001, 200000000}};
    for (const TCase& c : cases)
        EXPECT_EQ(WholeEndX(c.Newest), c.End) << c.Newest;
    EXPECT_EQ(ShownX(Whole(), 2999), (TSpan{0, 3000}));
    EXPECT_EQ(ShownX(Range(5, 50), 2999), (TSpan{5, 50}));
}

TEST(ViewAxes, TicksAreRoundAndNearTheCountAskedFor)
{
    struct TCase {
        double Span;
        int Parts;
        double Interval;
    };
    const TCase cases[] = {{1000, 8, 100}, {3000, 4, 1000}, {5, 8, 1}, {0, 8, 1}, {4095, 8, 500}, {1e12, 4, 2e11}};
    for (const TCase& c : cases)
        EXPECT_EQ(TickInterval(c.Span, c.Parts), c.Interval) << c.Span << "/" << c.Parts;
}

// Values in a unit (g): ticks may be finer than 1, as fine as the values'
// step, and their labels get the decimals they need.
TEST(ViewAxes, TicksOfValuesInAUnitHaveTheirDecimals)
{
    struct TCase {
        double Span;
        int Parts;
        double Least;
        double Interval;
        int Decimals;
    };
    const TCase cases[] = {
        {4095, 8, 1, 500, 0},       {2.08, 8, 0.0025, 0.2, 1}, {0.1, 8, 0.0025, 0.01, 2},
        {0.01, 8, 0.0025, 0.002, 3}, {0, 8, 0.0025, 0.002, 3},  {0.5, 4, 0.0025, 0.1, 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Span);
        const double interval = TickInterval(c.Span, c.Parts, c.Least);
        EXPECT_NEAR(interval, c.Interval, c.Interval * 1e-12);
        EXPECT_EQ(TickDecimals(interval), c.Decimals);
    }
    EXPECT_EQ(TickDecimals(1), 0);
    EXPECT_EQ(TickDecimals(0.1 * 3 / 3), 1);
    EXPECT_EQ(TickDecimals(5e-4), 4);
}

// In a unit, a flat line gets a step of the values either side, no point
// the range the caller gives, and a zoomed left axis is no narrower than
// a step.
TEST(ViewAxes, LeftAxisOfValuesInAUnit)
{
    TMinMax flat;
    flat.Include(1.0f);
    EXPECT_EQ(FitY(flat, 0.25), (TSpan{0.75, 1.25}));
    EXPECT_EQ(FitY(TMinMax{}, 0.25, TSpan{-5, 5}), (TSpan{-5, 5}));
    TChartView narrow = WithY(Range(0, 50), 1, 1.0001);
    narrow.UnitY = 0.0025;
    const TChartView settled = Settle(narrow, 2999);
    EXPECT_NEAR(settled.MaxY - settled.MinY, 0.0025, 1e-12);
    EXPECT_NEAR(settled.MinY + settled.MaxY, 2.0001, 1e-12);
}

// The points a view shows of a series: all in the whole history, those
// within the bottom axis otherwise, never past the series' ends.
TEST(ViewAxes, PointsInViewOfASeries)
{
    struct TCase {
        const char* Name;
        TChartView View;
        std::int64_t Count;
        std::int64_t First;
        std::int64_t Last;
    };
    const TCase cases[] = {
        {"whole", Whole(), 3000, 0, 3000},
        {"inside", Range(99.5, 200.25), 3000, 100, 201},
        {"past the end", Range(2900, 3100), 3000, 2900, 3000},
        {"before the start", Range(-50, 10), 3000, 0, 11},
        {"a shorter series", Range(2000, 2500), 1000, 1000, 1000},
        {"none", Range(10, 20), 0, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::int64_t first = -1, last = -1;
        PointsInView(c.View, c.Count, first, last);
        EXPECT_EQ(first, c.First);
        EXPECT_EQ(last, c.Last);
    }
}

// The left axis fits the points in view with a margin of 4 % (1 for a flat
// line), and shows a reading's whole range before any point.
TEST(ViewAxes, LeftAxisFitsTheValuesWithAMargin)
{
    EXPECT_EQ(FitY(TMinMax{}), (TSpan{0, 4095}));
    TMinMax flat;
    flat.Include(5.0f);
    EXPECT_EQ(FitY(flat), (TSpan{4, 6}));
    TMinMax spread;
    spread.Include(1000.0f);
    spread.Include(2000.0f);
    EXPECT_EQ(FitY(spread), (TSpan{960, 2040}));

    std::int64_t first = 0, end = 0;
    PointsWithin({99.5, 200.25}, first, end);
    EXPECT_EQ(first, 100);
    EXPECT_EQ(end, 201);
    PointsWithin({-3, 10}, first, end);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(end, 11);
}

// A following view slides by whole steps of 8 pixels once the newest
// point passes its right edge; any other view stays.
TEST(ViewFollowing, SlidesInStepsOfEightPixels)
{
    struct TCase {
        const char* Name;
        TChartView View;
        std::int64_t Newest;
        double PlotWidth;
        TChartView Expected;
    };
    const TCase cases[] = {
        // 1000 points over 800 pixels: a step is 10 points.
        {"one step", Range(0, 1000, true), 1005, 800, Range(10, 1010, true)},
        {"exactly a step", Range(0, 1000, true), 1010, 800, Range(10, 1010, true)},
        {"several steps", Range(0, 1000, true), 1035, 800, Range(40, 1040, true)},
        {"not yet past", Range(0, 1000, true), 1000, 800, Range(0, 1000, true)},
        {"filling the empty part", Range(500, 1500, true), 1200, 800, Range(500, 1500, true)},
        {"frozen", Range(0, 999), 5000, 800, Range(0, 999)},
        {"whole", Whole(), 5000, 800, Whole()},
        {"no plot yet", Range(0, 100, true), 101, 0, Range(800, 900, true)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ExpectView(Slide(c.View, c.Newest, c.PlotWidth), c.Expected);
    }
}

// Every view a gesture asks for is settled within the limits.
TEST(ViewLimits, SettleKeepsViewsWithinTheHistoryAndTheLimits)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct TCase {
        const char* Name;
        TChartView View;
        std::int64_t Newest;
        TChartView Expected;
    };
    const TCase cases[] = {
        {"inside", Range(100, 300), 2999, Range(100, 300)},
        {"narrower than ten points, about its middle", Range(100, 104), 2999, Range(97, 107)},
        {"reversed", Range(104, 100), 2999, Range(97, 107)},
        {"before the first point", Range(-50, 50), 2999, Range(0, 100)},
        {"past the whole history's axis", Range(2950, 3100), 2999, Range(2850, 3000, true)},
        {"reaching the newest point follows", Range(2000, 2999), 2999, Range(2000, 2999, true)},
        {"short of it does not", Range(2000, 2998.5), 2999, Range(2000, 2998.5)},
        {"covering everything is the whole history", Range(-10, 5000), 2999, Whole()},
        {"as wide as the whole axis", Range(0, 3000), 2999, Whole()},
        {"no points yet", Range(0, 50), -1, Range(0, 50, true)},
        {"left axis within the limit", WithY(Range(0, 50), -1e13, 2e13), 2999,
         WithY(Range(0, 50), -1e12, 1e12)},
        {"left axis of NaN", WithY(Range(0, 50), nan, nan), 2999, WithY(Range(0, 50), -1e12, 1e12)},
        {"left axis narrower than 1", WithY(Range(0, 50), 10, 10.5), 2999, WithY(Range(0, 50), 9.75, 10.75)},
        {"left axis past the top", WithY(Range(0, 50), 2e12, 3e12), 2999,
         WithY(Range(0, 50), 1e12 - 1, 1e12)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TChartView settled = Settle(c.View, c.Newest);
        ExpectView(settled, c.Expected);
        ExpectView(Settle(settled, c.Newest), settled);
    }
}

// What each gesture asks for, from a history of 3000 points (0 to 2999)
// shown on an axis from 0 to 3000.
TEST(ViewGestures, EachAsksForTheViewItMeans)
{
    constexpr std::int64_t Newest = 2999;
    const TShown whole{{0, 3000}, {100, 500}};
    const TShown zoomed{{1000, 2000}, {100, 500}};
    const TShown following{{1999, 2999}, {100, 500}};
    const TSpan x{1200, 1300};
    const TSpan y{150, 250};
    struct TCase {
        const char* Name;
        std::function<TChartView()> Gesture;
        TChartView Expected;
    };
    const TCase cases[] = {
        {"Home from a zoom", [&] { return ShowAll(WithY(Range(1000, 2000), 1, 9), Newest); }, Whole()},
        {"End from the whole history: the last thousand points",
         [&] { return FollowNewest(Whole(), whole, Newest); }, Range(1999, 2999, true)},
        {"End keeps a zoom's width", [&] { return FollowNewest(Range(1000, 2000), zoomed, Newest); },
         Range(1999, 2999, true)},
        {"End with fewer points than its width is the whole history",
         [&] { return FollowNewest(Whole(), {{0, 400}, {0, 1}}, 399); }, Whole()},
        {"+ about the centre", [&] { return ZoomX(Range(1000, 2000), zoomed, Newest, 0.5); }, Range(1250, 1750)},
        {"+ about the right edge while following",
         [&] { return ZoomX(Range(1999, 2999, true), following, Newest, 0.5); }, Range(2499, 2999, true)},
        {"- past everything is the whole history",
         [&] { return ZoomX(Range(1000, 2000), zoomed, Newest, 4); }, Whole()},
        {"wheel about the cursor", [&] { return ZoomXAbout(Whole(), whole, Newest, 0.5, 600); }, Range(300, 1800)},
        {"Ctrl+wheel about the cursor", [&] { return ZoomYAbout(Range(1000, 2000), zoomed, Newest, 0.5, 200); },
         WithY(Range(1000, 2000), 150, 350)},
        {"arrow left", [&] { return PanX(Range(1000, 2000), zoomed, Newest, -0.1); }, Range(900, 1900)},
        {"arrow right onto the newest point follows",
         [&] { return PanX(Range(1899, 2899), {{1899, 2899}, {0, 1}}, Newest, 0.1); }, Range(1999, 2999, true)},
        {"PgDn stops at the end", [&] { return PanX(Range(1000, 2000), zoomed, Newest, 5); }, Range(2000, 3000, true)},
        {"arrows in the whole history", [&] { return PanX(Whole(), whole, Newest, 0.1); }, Whole()},
        {"arrow up zooms the left axis", [&] { return PanY(Whole(), whole, Newest, 0.1); }, WithY(Whole(), 140, 540)},
        {"fit the left axis", [&] { return FitLeftAxis(WithY(Range(1000, 2000), 1, 9), Newest); }, Range(1000, 2000)},
        {"right-drag moves X against the hand",
         [&] { return Drag(Range(1000, 2000), Newest, 0.25, 0.5); }, Range(750, 1750)},
        {"right-drag moves a zoomed left axis with it",
         [&] { return Drag(WithY(Range(1000, 2000), 100, 200), Newest, 0, 0.5); },
         WithY(Range(1000, 2000), 150, 250)},
        {"right-drag in the whole history", [&] { return Drag(Whole(), Newest, 0.25, 0.5); }, Whole()},
        {"a flat rectangle keeps the left axis fitted",
         [&] { return ZoomInto(Whole(), Newest, x, nullptr); }, Range(1200, 1300)},
        {"a tall rectangle zooms the left axis too", [&] { return ZoomInto(Whole(), Newest, x, &y); },
         WithY(Range(1200, 1300), 150, 250)},
        {"a rectangle reaching the newest point follows",
         [&] { return ZoomInto(Whole(), Newest, {2500, 2999.9}, nullptr); }, Range(2500, 2999.9, true)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ExpectView(c.Gesture(), c.Expected);
    }
}

// A caller is told what is shown where the view leaves it to the data;
// only a view away from the newest points is frozen.
TEST(ViewReport, FillsInTheRangesShownAndSaysWhetherFrozen)
{
    const TShown shown{{0, 3000}, {100, 500}};
    TChartView whole = Whole();
    whole.Hidden = {false, true};
    const TChartView reported = Reported(whole, shown);
    EXPECT_TRUE(reported.Whole);
    EXPECT_EQ(reported.MinX, 0);
    EXPECT_EQ(reported.MaxX, 3000);
    EXPECT_EQ(reported.MinY, 100);
    EXPECT_EQ(reported.MaxY, 500);
    EXPECT_EQ(reported.Hidden, whole.Hidden);
    const TChartView zoomedY = Reported(WithY(Range(5, 50), 1, 2), shown);
    EXPECT_EQ(zoomedY.MinX, 5);
    EXPECT_EQ(zoomedY.MinY, 1);

    EXPECT_FALSE(Frozen(Whole()));
    EXPECT_FALSE(Frozen(Range(0, 10, true)));
    EXPECT_TRUE(Frozen(Range(0, 10)));
}

namespace {

TChartView Seconds(TChartView view)
{
    view.Seconds = true;
    return view;
}

}  // namespace

// The same rules over seconds, with limits of their own: the narrowest
// view a millisecond, the whole history at least ten seconds wide and
// growing in steps, "Acompanhar" ten seconds wide from it.
TEST(ViewInSeconds, TheRulesHoldWithTheLimitsOfSeconds)
{
    constexpr double Newest = 95.25;  // the newest point arrived 95,25 s after the start
    const TShown whole{{0, 100}, {100, 500}};
    const TShown zoomed{{40, 50}, {100, 500}};
    struct TCase {
        const char* Name;
        std::function<TChartView()> Gesture;
        TChartView Expected;
    };
    const TCase cases[] = {
        {"the whole history's axis steps past the newest point", [&] { return ShowAll(Seconds(Range(1, 2)), Newest); },
         Seconds(Whole())},
        {"End from the whole history: the last ten seconds", [&] { return FollowNewest(Seconds(Whole()), whole, Newest); },
         Seconds(Range(85.25, 95.25, true))},
        {"End keeps a zoom's width in seconds",
         [&] { return FollowNewest(Seconds(Range(40, 50)), zoomed, Newest); }, Seconds(Range(85.25, 95.25, true))},
        {"narrower than a millisecond, about its middle",
         [&] { return Settle(Seconds(Range(10, 10.0002)), Newest); }, Seconds(Range(9.9996, 10.0006))},
        {"a rectangle of two milliseconds", [&] { return ZoomInto(Seconds(Whole()), Newest, {61.2, 61.202}, nullptr); },
         Seconds(Range(61.2, 61.202))},
        {"a wheel notch about the cursor",
         [&] { return ZoomXAbout(Seconds(Range(40, 50)), zoomed, Newest, 0.5, 42); }, Seconds(Range(41, 46))},
        {"PgDn onto the newest point follows",
         [&] { return PanX(Seconds(Range(80, 90)), {{80, 90}, {0, 1}}, Newest, 0.9); }, Seconds(Range(89, 99, true))},
        {"past the end of the whole axis", [&] { return PanX(Seconds(Range(80, 90)), {{80, 90}, {0, 1}}, Newest, 5); },
         Seconds(Range(90, 100, true))},
        {"right-drag in seconds", [&] { return Drag(Seconds(Range(40, 50)), Newest, 0.5, 0); }, Seconds(Range(35, 45))},
        {"covering everything is the whole history",
         [&] { return ZoomX(Seconds(Range(40, 50)), zoomed, Newest, 20); }, Seconds(Whole())},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TChartView view = c.Gesture();
        EXPECT_TRUE(view.Seconds);
        ExpectView(view, c.Expected);
    }
    EXPECT_EQ(ShownX(Seconds(Whole()), Newest), (TSpan{0, 100}));
    EXPECT_EQ(ShownX(Seconds(Whole()), 3.5), (TSpan{0, 10}));
    EXPECT_EQ(ShownX(Seconds(Whole()), 3725), (TSpan{0, 4000}));
    // A following view slides by eight pixels' worth of seconds.
    ExpectView(Slide(Seconds(Range(80, 90, true)), 90.05, 800), Seconds(Range(80.1, 90.1, true)));
}

// Switching units keeps the stretch shown (converted by the caller), the
// following of a following view, and a zoomed left axis.
TEST(ViewInSeconds, SwitchingUnitsKeepsWhatIsShown)
{
    ExpectView(InUnit(Range(1000, 2000), true, {3.1, 6.2}, 95), Seconds(Range(3.1, 6.2)));
    ExpectView(InUnit(Seconds(Range(3.1, 6.2)), false, {1000, 2000}, 2999), Range(1000, 2000));
    ExpectView(InUnit(Range(1999, 2999, true), true, {6.2, 9.4}, 9.4), Seconds(Range(6.2, 9.4, true)));
    ExpectView(InUnit(WithY(Whole(), 5, 9), true, {0, 0}, 9.4), Seconds(WithY(Whole(), 5, 9)));
    EXPECT_NE(Seconds(Whole()), Whole());
}

// Ticks in seconds fall on round times of the clock at every zoom.
TEST(ViewInSeconds, TicksAreRoundOnTheClock)
{
    struct TCase {
        double Span;
        double Interval;
    };
    const TCase cases[] = {
        {0.0008, 0.0001}, {0.004, 0.0005}, {0.3, 0.05},  {1, 0.1},        {8, 1},         {20, 2},
        {40, 5},          {100, 15},        {130, 15},    {240, 30},       {500, 60},      {1000, 120},
        {2500, 300},      {6000, 900},      {7000, 900},  {15000, 1800},   {30000, 3600},  {60000, 7200},
        {90000, 10800},   {200000, 21600},  {400000, 43200}, {700000, 86400}, {2e6, 172800}, {5e6, 864000},
    };
    for (const TCase& c : cases)
        EXPECT_DOUBLE_EQ(TimeTickInterval(c.Span, 8), c.Interval) << c.Span;
}
