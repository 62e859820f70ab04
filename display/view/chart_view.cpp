#include "chart_view.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

using namespace ViewLimits;

bool TChartView::operator==(const TChartView& other) const
{
    return Seconds == other.Seconds && Whole == other.Whole && Following == other.Following && MinX == other.MinX
        && MaxX == other.MaxX && ZoomedY == other.ZoomedY && MinY == other.MinY && MaxY == other.MaxY
        && UnitY == other.UnitY && Hidden == other.Hidden;
}

double StepCeil(double value)
{
    static const double steps[] = {1, 1.2, 1.5, 2, 2.5, 3, 4, 5, 6, 8, 10};
    double decade = 1;
    while (decade * 10 <= value)
        decade *= 10;
    for (double step : steps) {
        if (step * decade >= value)
            return step * decade;
    }
    return 10 * decade;
}

const TXLimits& XLimits(const TChartView& view)
{
    return view.Seconds ? ViewLimits::Seconds : ViewLimits::Points;
}

double WholeEndX(double newest, const TXLimits& limits)
{
    return std::max(limits.MinimumWholeX, StepCeil(newest));
}

double TickInterval(double span, int count, double least)
{
    const double raw = std::max(least, span / count);
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    double best = decade;
    for (double step : {2.0, 5.0, 10.0}) {
        if (std::fabs(std::log(step * decade / raw)) < std::fabs(std::log(best / raw)))
            best = step * decade;
    }
    return best;
}

int TickDecimals(double interval)
{
    if (!(interval < 1))
        return 0;
    // A hair above the power of ten, so that 0.1 computed as 0.09999… still
    // asks for one decimal.
    return int(std::ceil(-std::log10(interval) - 1e-9));
}

double TimeTickInterval(double span, int count)
{
    const double raw = span / std::max(1, count);
    if (!(raw > 0))
        return 1;
    static const double clock[] = {1,    2,    5,    10,   15,    30,    60,    120,   300,
                                   600,  900,  1800, 3600, 7200,  10800, 21600, 43200, 86400};
    std::vector<double> candidates;
    // Below a second and beyond a day, 1, 2, 5 times a power of ten (of
    // days beyond a day); in between, round on the clock.
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    for (double d : {decade / 10, decade, decade * 10})
        for (double step : {1.0, 2.0, 5.0})
            if (step * d < 1)
                candidates.push_back(step * d);
    candidates.insert(candidates.end(), std::begin(clock), std::end(clock));
    const double days = std::pow(10.0, std::floor(std::log10(std::max(raw / 86400, 1.0))));
    for (double d : {days, days * 10})
        for (double step : {2.0, 5.0, 10.0})
            candidates.push_back(step * d * 86400);
    double best = candidates.front();
    for (double c : candidates) {
        if (std::fabs(std::log(c / raw)) < std::fabs(std::log(best / raw)))
            best = c;
    }
    return best;
}

TChartView Slide(TChartView view, double newest, double plotWidth)
{
    const double last = newest;
    if (view.Whole || !view.Following || !(last > view.MaxX))
        return view;
    const double width = view.MaxX - view.MinX;
    const double step = width * FollowStepPixels / std::max(1.0, plotWidth);
    const double shift = std::ceil((last - view.MaxX) / step) * step;
    view.MinX += shift;
    view.MaxX += shift;
    return view;
}

TSpan ShownX(const TChartView& view, double newest)
{
    if (view.Whole)
        return {0, WholeEndX(newest, XLimits(view))};
    return {view.MinX, view.MaxX};
}

void PointsWithin(TSpan x, std::int64_t& first, std::int64_t& end)
{
    first = std::max<std::int64_t>(0, std::int64_t(std::ceil(x.Min)));
    end = std::int64_t(std::floor(x.Max)) + 1;
}

void PointsInView(const TChartView& view, std::int64_t count, std::int64_t& first, std::int64_t& last)
{
    first = 0;
    last = count;
    if (view.Whole)
        return;
    first = std::clamp<std::int64_t>(std::int64_t(std::ceil(std::max(view.MinX, 0.0))), 0, count);
    last = std::clamp<std::int64_t>(std::int64_t(std::floor(std::max(view.MaxX, -1.0))) + 1, first, count);
}

TSpan FitY(const TMinMax& values, double unitY, TSpan empty)
{
    if (values.Empty())
        return empty;
    TSpan y{values.Min, values.Max};
    const double pad = y.Min < y.Max ? (y.Max - y.Min) * 0.04 : unitY;
    y.Min -= pad;
    y.Max += pad;
    return y;
}

TChartView Reported(TChartView view, const TShown& shown)
{
    if (view.Whole) {
        view.Following = false;
        view.MinX = shown.X.Min;
        view.MaxX = shown.X.Max;
    }
    if (!view.ZoomedY) {
        view.MinY = shown.Y.Min;
        view.MaxY = shown.Y.Max;
    }
    return view;
}

bool Frozen(const TChartView& view)
{
    return !view.Whole && !view.Following;
}

TChartView Settle(TChartView view, double newest)
{
    if (!view.Whole) {
        const TXLimits& limits = XLimits(view);
        const double width = std::max(view.MaxX - view.MinX, limits.MinimumWidth);
        if (!(view.MaxX - view.MinX >= limits.MinimumWidth)) {
            const double middle = (view.MinX + view.MaxX) / 2;
            view.MinX = middle - width / 2;
        }
        const double whole = WholeEndX(newest, limits);
        if (width >= whole) {
            view.Whole = true;
        } else {
            // Within the whole history's axis: from 0 to its stepped end.
            view.MinX = std::clamp(view.MinX, 0.0, whole - width);
            view.MaxX = view.MinX + width;
            view.Following = view.MaxX >= newest;
        }
    }
    if (view.Whole) {
        view.Following = false;
        view.MinX = view.MaxX = 0;
    }
    if (view.ZoomedY) {
        // Written so that a NaN end becomes the limit too.
        if (!(view.MinY >= -LimitY))
            view.MinY = -LimitY;
        const double narrowest = MinimumSpanY * view.UnitY;
        if (!(view.MinY <= LimitY - narrowest))
            view.MinY = LimitY - narrowest;
        if (!(view.MaxY <= LimitY))
            view.MaxY = LimitY;
        if (view.MaxY - view.MinY < narrowest) {
            const double middle = (view.MinY + view.MaxY) / 2;
            view.MinY = middle - narrowest / 2;
            view.MaxY = middle + narrowest / 2;
        }
    }
    return view;
}

TChartView ShowAll(const TChartView& view, double newest)
{
    TChartView all = view;
    all.Whole = true;
    all.ZoomedY = false;
    return Settle(all, newest);
}

TChartView FollowNewest(const TChartView& view, const TShown& shown, double newest)
{
    TChartView follow = view;
    const double width = view.Whole ? XLimits(view).DefaultFollowWidth : shown.X.Max - shown.X.Min;
    follow.Whole = false;
    follow.MaxX = std::max(newest, width);
    follow.MinX = follow.MaxX - width;
    return Settle(follow, newest);
}

TChartView ZoomXAbout(const TChartView& view, const TShown& shown, double newest, double factor, double anchor)
{
    TChartView zoomed = view;
    zoomed.Whole = false;
    zoomed.MinX = anchor - (anchor - shown.X.Min) * factor;
    zoomed.MaxX = anchor + (shown.X.Max - anchor) * factor;
    return Settle(zoomed, newest);
}

TChartView ZoomX(const TChartView& view, const TShown& shown, double newest, double factor)
{
    const bool following = !view.Whole && view.Following;
    return ZoomXAbout(view, shown, newest, factor, following ? shown.X.Max : (shown.X.Min + shown.X.Max) / 2);
}

TChartView ZoomYAbout(const TChartView& view, const TShown& shown, double newest, double factor, double anchor)
{
    TChartView zoomed = view;
    zoomed.ZoomedY = true;
    zoomed.MinY = anchor - (anchor - shown.Y.Min) * factor;
    zoomed.MaxY = anchor + (shown.Y.Max - anchor) * factor;
    return Settle(zoomed, newest);
}

TChartView PanX(const TChartView& view, const TShown& shown, double newest, double fraction)
{
    if (view.Whole)
        return view;  // everything is in view
    TChartView panned = view;
    const double shift = (shown.X.Max - shown.X.Min) * fraction;
    panned.MinX = shown.X.Min + shift;
    panned.MaxX = shown.X.Max + shift;
    return Settle(panned, newest);
}

TChartView PanY(const TChartView& view, const TShown& shown, double newest, double fraction)
{
    TChartView panned = view;
    const double shift = (shown.Y.Max - shown.Y.Min) * fraction;
    panned.ZoomedY = true;
    panned.MinY = shown.Y.Min + shift;
    panned.MaxY = shown.Y.Max + shift;
    return Settle(panned, newest);
}

TChartView FitLeftAxis(const TChartView& view, double newest)
{
    TChartView fitted = view;
    fitted.ZoomedY = false;
    return Settle(fitted, newest);
}

TChartView Drag(const TChartView& pressed, double newest, double right, double down)
{
    TChartView moved = pressed;
    if (!moved.Whole) {
        const double shift = -right * (pressed.MaxX - pressed.MinX);
        moved.MinX += shift;
        moved.MaxX += shift;
    }
    if (moved.ZoomedY) {
        const double shift = down * (pressed.MaxY - pressed.MinY);
        moved.MinY += shift;
        moved.MaxY += shift;
    }
    return Settle(moved, newest);
}

TChartView ZoomInto(const TChartView& view, double newest, TSpan x, const TSpan* y)
{
    TChartView zoomed = view;
    zoomed.Whole = false;
    zoomed.MinX = x.Min;
    zoomed.MaxX = x.Max;
    if (y) {
        zoomed.ZoomedY = true;
        zoomed.MinY = y->Min;
        zoomed.MaxY = y->Max;
    }
    return Settle(zoomed, newest);
}

TChartView InUnit(const TChartView& view, bool seconds, TSpan x, double newest)
{
    TChartView converted = view;
    converted.Seconds = seconds;
    if (view.Whole)
        return Settle(converted, newest);
    converted.MinX = x.Min;
    converted.MaxX = x.Max;
    if (view.Following) {
        // Still at the newest point, as wide as it was.
        converted.MinX = newest - x.Width();
        converted.MaxX = newest;
    }
    return Settle(converted, newest);
}
