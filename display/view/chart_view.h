#pragma once
// What a chart shows, as a plain value, and the rules that move it. No Qt:
// every chart, picture or window that shows the session's points over X
// asks these for its ranges, and the gestures ask them for a new view.
//
// X is a point's position in its series, or, with the view in seconds,
// the time it arrived, counted from the session's start. The rules are the
// same in both units, with limits of their own (TXLimits).
//
// At start-up a chart shows the whole history, the bottom axis growing in
// steps so that the columns already drawn stay put. Zoomed, the bottom axis
// shows a range of X; when its right edge is at the newest point the view
// follows, keeping its width and sliding as points arrive, otherwise it
// stays where the user left it while capture goes on.

#include "sample_store.h"

#include <cstdint>
#include <vector>

struct TChartView {
    // X in seconds since the session's start, not in positions.
    bool Seconds = false;
    // The whole history, as at start-up: the bottom axis spans every point
    // and grows in steps. MinX and MaxX then only report the range shown.
    bool Whole = true;
    // Not Whole: the view keeps its width and slides as points arrive, a
    // few pixels at a time, so that the newest point stays within them of
    // the right edge.
    bool Following = false;
    // Not Whole: the range of the bottom axis.
    double MinX = 0;
    double MaxX = 0;
    // The left axis' range when the user zoomed it; otherwise it fits the
    // data in view and MinY, MaxY only report the range shown.
    bool ZoomedY = false;
    double MinY = 0;
    double MaxY = 0;
    // The smallest step of the values on the left axis: 1 for counts, a
    // fraction of a unit for values shown in one (a count in g). A zoomed
    // left axis spans at least MinimumSpanY of them.
    double UnitY = 1;
    // Per series, in the order they were added: hidden by the user.
    std::vector<bool> Hidden;

    bool operator==(const TChartView& other) const;
    bool operator!=(const TChartView& other) const { return !(*this == other); }
};

// A range of an axis.
struct TSpan {
    double Min = 0;
    double Max = 0;

    double Width() const { return Max - Min; }
    bool operator==(const TSpan& other) const { return Min == other.Min && Max == other.Max; }
};

// What a redraw showed, which the gestures start from.
struct TShown {
    TSpan X;
    TSpan Y;
};

// Limits of the bottom axis, in its unit.
struct TXLimits {
    double MinimumWidth;        // the narrowest view
    double MinimumWholeX;       // the whole history's axis spans at least this
    double DefaultFollowWidth;  // the width "Acompanhar" gives a view of the whole history
};

// Limits of the view.
namespace ViewLimits {
// In positions.
constexpr TXLimits Points{10, 200, 1000};
// In seconds: a millisecond holds a few points at the fastest rates.
constexpr TXLimits Seconds{0.001, 10, 10};
// The narrowest view, in points.
constexpr double MinimumWidth = Points.MinimumWidth;
// The bottom axis spans at least this many points in the whole history.
constexpr double MinimumWholeX = Points.MinimumWholeX;
// The narrowest range of the left axis the user can zoom to, in steps of
// its values (UnitY).
constexpr double MinimumSpanY = 1;
// How far from 0 a zoomed left axis may reach: far beyond any reading, and
// well inside the doubles that a tick interval of 1 still moves. Qt Charts
// steps from tick to tick by adding the interval, so a range zoomed out
// without end (the wheel turned on, a fling) would grow until that loop no
// longer advanced and the window hung.
constexpr double LimitY = 1e12;
// A following view slides by this many pixels at a time.
constexpr double FollowStepPixels = 8;
// The width "Acompanhar" gives a view of the whole history, in points.
constexpr double DefaultFollowWidth = Points.DefaultFollowWidth;
// The left axis before any point arrives: a 12-bit reading.
constexpr TSpan EmptyY{0, 4095};
}  // namespace ViewLimits

// The limits of the view's unit.
const TXLimits& XLimits(const TChartView& view);

// In what follows, newest is the newest point's X in the view's unit: its
// position, or its time in seconds; -1 when there is none.

// The smallest of 1, 1.2, 1.5, 2, 2.5, 3, 4, 5, 6, 8 times a power of ten
// that is at least value (value >= 1). The bottom axis of the whole history
// grows by these steps so that its scale, and with it every pixel column
// already drawn, stays put while points arrive.
double StepCeil(double value);
// The right end of the whole history's bottom axis.
double WholeEndX(double newest, const TXLimits& limits = ViewLimits::Points);
// The round tick interval (1, 2 or 5 times a power of ten, at least least)
// nearest to cutting span into count parts.
double TickInterval(double span, int count, double least = 1);
// The decimals the labels of ticks interval apart need (0 from 1 up).
int TickDecimals(double interval);
// The same for seconds, round on the clock: 1, 2 or 5 times a power of ten
// below a second; 1, 2, 5, 10, 15, 30 seconds; 1, 2, 5, 10, 15, 30
// minutes; 1, 2, 3, 6, 12 hours; 1, 2 or 5 times a power of ten days.
double TimeTickInterval(double span, int count);

// A following view the newest point has passed, slid right by whole steps
// of FollowStepPixels (plotWidth pixels wide), so that between steps only
// the newest column is drawn again, not the whole plot.
TChartView Slide(TChartView view, double newest, double plotWidth);
// The bottom axis' range.
TSpan ShownX(const TChartView& view, double newest);
// The indices [first, end) of the points within x.
void PointsWithin(TSpan x, std::int64_t& first, std::int64_t& end);
// The indices [first, last) of a series of count points that a view in
// positions shows:
// all of them in the whole history.
void PointsInView(const TChartView& view, std::int64_t count, std::int64_t& first, std::int64_t& last);
// The left axis fitting values (those in view of the series shown), with
// a margin; a single value gets unitY either side of it, and no value at
// all the range empty.
TSpan FitY(const TMinMax& values, double unitY = 1, TSpan empty = ViewLimits::EmptyY);
// The view as a caller sees it: the ranges shown filled in where the view
// leaves them to the data.
TChartView Reported(TChartView view, const TShown& shown);
// True when the view neither shows everything nor follows: new points
// arrive out of sight.
bool Frozen(const TChartView& view);

// The view a user's gesture asks for, within the limits: whole history
// when it covers it, following when its right edge reaches the newest
// point, no narrower than MinimumWidth, a zoomed left axis within ±LimitY
// and no narrower than MinimumSpanY.
TChartView Settle(TChartView view, double newest);

// The gestures, from the view and what the last redraw showed; each
// result is settled.
TChartView ShowAll(const TChartView& view, double newest);
// The right edge to the newest point, keeping the width (DefaultFollowWidth
// from the whole history).
TChartView FollowNewest(const TChartView& view, const TShown& shown, double newest);
// Width times factor about anchor, which stays put.
TChartView ZoomXAbout(const TChartView& view, const TShown& shown, double newest, double factor, double anchor);
// About the centre, or the right edge while following.
TChartView ZoomX(const TChartView& view, const TShown& shown, double newest, double factor);
TChartView ZoomYAbout(const TChartView& view, const TShown& shown, double newest, double factor, double anchor);
// By a fraction of the width, + to the right; nothing in the whole history.
TChartView PanX(const TChartView& view, const TShown& shown, double newest, double fraction);
// By a fraction of the height, + upwards; zooms the left axis.
TChartView PanY(const TChartView& view, const TShown& shown, double newest, double fraction);
// The left axis fits the data again.
TChartView FitLeftAxis(const TChartView& view, double newest);
// The view at the press of a drag, moved by the drag (fractions of the
// plot's width and height, + to the right and down): the axes the user
// zoomed follow the hand.
TChartView Drag(const TChartView& pressed, double newest, double right, double down);
// A rectangle: its range of X, and of values when tall enough to mean it.
TChartView ZoomInto(const TChartView& view, double newest, TSpan x, const TSpan* y);
// The view in the other unit: x, the range it showed, in that unit (the
// caller converts it, from the points' times); the whole history stays
// whole, a following view follows, the left axis stays as it was.
TChartView InUnit(const TChartView& view, bool seconds, TSpan x, double newest);
