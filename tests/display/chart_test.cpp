// The live chart on Qt Charts, rendered offscreen.

#include "accelerometer_chart.h"
#include "chart_test_support.h"
#include "session.h"
#include "tchart.h"

#include <QApplication>
#include <QChart>
#include <QLegend>
#include <QLineSeries>
#include <QImage>
#include <QValueAxis>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

TEST(AccelerometerChart, AppliesDeclaredSettings)
{
    TAccelerometer a;
    EXPECT_EQ(a.Chart.Title(), QString::fromUtf8("Acelerômetro"));
    ASSERT_EQ(a.Chart.SeriesCount(), 3);
    const char* titles[3] = {"Eixo X", "Eixo Y", "Eixo Z"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(a.Chart.Series(i), a.At(i));
        EXPECT_EQ(a.At(i)->Title(), QString(titles[i]));
        EXPECT_EQ(a.At(i)->Color(), AxisColours[i]);
        EXPECT_EQ(a.At(i)->Count(), 0);
    }
    EXPECT_EQ(a.Chart.TopAxisMinimum(), 2000);
    EXPECT_EQ(a.Chart.TopAxisMaximum(), 3000);
}

// Each series numbers its own points from 0; a pause (the event loop runs
// and the chart redraws) changes nothing in the numbering; a held value is
// a point like any other.
TEST(ChartSeries, ShowEachAxisOfTheSessionAtItsOwnPositions)
{
    TAccelerometer a;
    a.Chart.show();
    struct TStep {
        TAxis Axis;
        double Value;
    };
    const TStep before[] = {{axX, 2048}, {axX, 2048}, {axZ, 4095}, {axX, 15}, {axY, 0}};
    const TStep after[] = {{axY, 7}, {axY, 7}, {axY, 7}, {axZ, 1}};
    for (const TStep& s : before)
        a.Sink.Append(s.Axis, s.Value);
    QApplication::processEvents();
    a.Chart.Flush();
    for (const TStep& s : after)
        a.Sink.Append(s.Axis, s.Value);
    a.Chart.Flush();

    const std::vector<double> expected[3] = {{2048, 2048, 15}, {0, 7, 7, 7}, {4095, 1}};
    for (int axis = 0; axis < 3; ++axis) {
        SCOPED_TRACE(axis);
        const TFastLineSeries& series = *a.At(axis);
        ASSERT_EQ(series.Count(), qint64(expected[axis].size()));
        for (qint64 i = 0; i < series.Count(); ++i) {
            EXPECT_EQ(series.XValue(i), double(i));
            EXPECT_EQ(series.YValue(i), expected[axis][std::size_t(i)]);
        }
    }
    // Few points: every one of them is handed to Qt Charts (some twice,
    // where one band of columns joins the next).
    EXPECT_GE(a.Chart.DrawnPointCount(), 9);
}

TEST(TChart, RedrawsByItselfAfterAppends)
{
    TAccelerometer a;
    a.Chart.show();
    a.Sink.Append(axX, 100);
    a.Sink.Append(axX, 200);
    // Appending touches only the store; Qt Charts gets the points when the
    // frame timer fires.
    EXPECT_EQ(a.Chart.DrawnPointCount(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return a.Chart.DrawnPointCount() >= 2; }, 5000));
}

TEST(TChart, AxesFollowTheData)
{
    TAccelerometer a;
    for (int i = 0; i < 1000; ++i)
        a.Sink.Append(axY, 1000 + i % 500);
    a.Sink.Append(axZ, 3000);
    a.Chart.Flush();
    auto* x = qobject_cast<QValueAxis*>(a.Chart.Chart()->axes(Qt::Horizontal).first());
    auto* y = qobject_cast<QValueAxis*>(a.Chart.Chart()->axes(Qt::Vertical).first());
    ASSERT_TRUE(x && y);
    EXPECT_EQ(x->min(), 0);
    EXPECT_GE(x->max(), 999);
    EXPECT_LE(x->max(), 999 * 1.25);  // grows in steps, never far past the data
    EXPECT_LE(y->min(), 1000);
    EXPECT_GE(y->min(), 900);
    EXPECT_GE(y->max(), 3000);
    EXPECT_LE(y->max(), 3100);
}

// The title, the legend texts and the series colours are in the picture,
// before any point and with points, at the window's size and a large one.
class ChartPicture : public ::testing::TestWithParam<QSize> {};

TEST_P(ChartPicture, ShowsTitleLegendAndColours)
{
    const QSize size = GetParam();
    TAccelerometer a(size);
    const QImage empty = a.Chart.Picture();

    // Title: the same chart with the title painted white differs only in
    // the top part.
    TAccelerometer blankTitle(size);
    blankTitle.Chart.Chart()->setTitleBrush(QBrush(Qt::white));
    const QRect title = Difference(empty, blankTitle.Chart.Picture());
    ASSERT_FALSE(title.isEmpty());
    EXPECT_LT(title.bottom(), size.height() / 6);

    // Legend texts: with the labels painted white the chart differs only at
    // the bottom (legend below the plot), between the markers.
    TAccelerometer blankLegend(size);
    blankLegend.Chart.Chart()->legend()->setLabelColor(Qt::white);
    const QRect legend = Difference(empty, blankLegend.Chart.Picture());
    ASSERT_FALSE(legend.isEmpty());
    EXPECT_GT(legend.top(), size.height() * 3 / 4);
    EXPECT_GT(legend.width(), 60);  // three labels side by side

    // The legend's markers carry the three colours even with no points.
    long emptyCount[3];
    for (int i = 0; i < 3; ++i) {
        emptyCount[i] = CountColour(empty, AxisColours[i]);
        EXPECT_GT(emptyCount[i], 0) << i;
    }

    // With points, the lines add many pixels of each colour.
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> noise(-300, 300);
    for (int i = 0; i < 5000; ++i) {
        a.Sink.Append(axX, 1000 + noise(rng));
        a.Sink.Append(axY, 2000 + noise(rng));
        a.Sink.Append(axZ, 3000 + noise(rng));
    }
    const QImage points = a.Chart.Picture();
    for (int i = 0; i < 3; ++i)
        EXPECT_GT(CountColour(points, AxisColours[i]), emptyCount[i] + size.width() / 2) << i;
    // The title is still there.
    EXPECT_TRUE(Difference(points.copy(0, 0, size.width(), title.bottom() + 1),
                           empty.copy(0, 0, size.width(), title.bottom() + 1))
                    .isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, ChartPicture, ::testing::Values(QSize(400, 250), QSize(1600, 1000)),
                         [](const auto& info) {
                             return std::to_string(info.param.width()) + "x" + std::to_string(info.param.height());
                         });

// The reduced drawing lights exactly the pixels of a drawing of every point.
struct TDrawCase {
    int Points;
    QSize Size;
};

class ReducedDrawing : public ::testing::TestWithParam<TDrawCase> {};

TEST_P(ReducedDrawing, IsPixelIdenticalToAllPoints)
{
    const TDrawCase c = GetParam();
    TAccelerometer reduced(c.Size);
    TAccelerometer full(c.Size);
    full.Chart.SetReduction(false);
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> noise(-400, 400);
    std::uniform_int_distribution<int> hold(0, 20);
    double last[3] = {2048, 2048, 2048};
    for (int i = 0; i < c.Points; ++i) {
        for (int axis = 0; axis < 3; ++axis) {
            double v = last[axis];
            if (hold(rng) != 0)  // else a held value
                v = std::clamp(1500.0 + 700 * axis + 300 * std::sin(i / 3000.0) + noise(rng), 0.0, 4095.0);
            last[axis] = v;
            reduced.Sink.Append(TAxis(axis), v);
            full.Sink.Append(TAxis(axis), v);
        }
    }
    const QImage a = reduced.Chart.Picture();
    const QImage b = full.Chart.Picture();
    EXPECT_EQ(DifferentPixels(a, b), 0);
    if (c.Points > 10 * c.Size.width()) {
        EXPECT_LT(reduced.Chart.DrawnPointCount(), full.Chart.DrawnPointCount() / 5);
    }
}

INSTANTIATE_TEST_SUITE_P(Densities, ReducedDrawing,
                         ::testing::Values(TDrawCase{300, QSize(400, 250)},        // sparse
                                           TDrawCase{2000, QSize(400, 250)},       // a few per column
                                           TDrawCase{60000, QSize(400, 250)},      // dense
                                           TDrawCase{60000, QSize(1600, 1000)},    // dense, large
                                           TDrawCase{400000, QSize(640, 400)}),    // long runs on column edges
                         [](const auto& info) {
                             const TDrawCase& c = info.param;
                             return std::to_string(c.Points) + "Points" + std::to_string(c.Size.width()) + "x"
                                 + std::to_string(c.Size.height());
                         });

}  // namespace

// The height of the title's text in a picture: the rows where it differs
// from the same chart with the title painted white.
int TitleHeight(QSize size, QSize onScreen)
{
    TAccelerometer a(size);
    TAccelerometer blank(size);
    a.Chart.SetOnScreenSize(onScreen);
    blank.Chart.SetOnScreenSize(onScreen);
    blank.Chart.Chart()->setTitleBrush(QBrush(Qt::white));
    return Difference(a.Chart.Picture(), blank.Chart.Picture()).height();
}

// A picture larger than the chart on the screen looks as the screen does,
// larger: its text, the lines of its axes and grid and its margins grow
// with it, and its axes are cut into as many ticks. Its series' lines stay
// one pixel wide and exact.
TEST(ChartPicture, LargerThanTheScreenScalesTextLinesAndMargins)
{
    const QSize screen(400, 250);
    const QSize large(1600, 1000);  // four times as large
    const int onScreen = TitleHeight(screen, QSize());
    ASSERT_GT(onScreen, 4);
    EXPECT_EQ(TitleHeight(screen, screen), onScreen);
    const int scaled = TitleHeight(large, screen);
    EXPECT_GE(scaled, 3 * onScreen);
    EXPECT_LE(scaled, 5 * onScreen);
    // Without the screen's size the picture has its own, larger-chart look.
    EXPECT_LT(TitleHeight(large, QSize()), 2 * onScreen);

    TAccelerometer shown(screen);
    TAccelerometer reduced(large);
    TAccelerometer full(large);
    reduced.Chart.SetOnScreenSize(screen);
    full.Chart.SetOnScreenSize(screen);
    full.Chart.SetReduction(false);
    TNoisy().Fill({&shown.Sink, &reduced.Sink, &full.Sink}, 60000);
    const QImage a = reduced.Chart.Picture();
    EXPECT_EQ(DifferentPixels(a, full.Chart.Picture()), 0);
    shown.Chart.Flush();
    for (const Qt::Orientation o : {Qt::Horizontal, Qt::Vertical}) {
        EXPECT_EQ(Axis(reduced.Chart, o)->tickInterval(), Axis(shown.Chart, o)->tickInterval());
        EXPECT_EQ(Axis(reduced.Chart, o)->labelsFont().pointSizeF(), 4 * Axis(shown.Chart, o)->labelsFont().pointSizeF());
        EXPECT_EQ(Axis(reduced.Chart, o)->gridLinePen().widthF(),
                  4 * std::max(1.0, Axis(shown.Chart, o)->gridLinePen().widthF()));
    }
    EXPECT_EQ(reduced.Chart.Chart()->margins(), QMargins(8, 8, 8, 8));
    EXPECT_EQ(shown.Chart.Chart()->margins(), QMargins(2, 2, 2, 2));
    // The lines: each series lights about as many pixels as there are
    // columns, not four times as many.
    for (const QColor& colour : AxisColours)
        EXPECT_LT(CountColour(a, colour), 2 * 100 * large.width());
    if (qEnvironmentVariableIsSet("CHART_TEST_SAVE")) {
        a.save("/tmp/chart-test-large.png");
        shown.Chart.Picture().save("/tmp/chart-test-screen.png");
    }
}

// Any view, at any zoom, lights exactly the pixels of a drawing of every
// point: the lines entering and leaving at the edges included, whether the
// view's edges fall on points or cut through segments, with the left axis
// zoomed too.
TEST(ZoomedDrawing, IsPixelIdenticalToAllPointsAtRandomViews)
{
    constexpr int Points = 100000;
    struct TCase {
        QSize Size;
        int Noise;  // a sensor at rest changes by a count or two
    };
    for (const TCase c : {TCase{QSize(400, 250), 400}, TCase{QSize(1600, 1000), 400}, TCase{QSize(400, 250), 2}}) {
        const QSize size = c.Size;
        SCOPED_TRACE(std::to_string(size.width()) + " noise " + std::to_string(c.Noise));
        TAccelerometer reduced(size);
        TAccelerometer full(size);
        full.Chart.SetReduction(false);
        TNoisy(99, c.Noise).Fill({&reduced.Sink, &full.Sink}, Points);
        ExpectSameAtRandomViews(reduced, full, Points, unsigned(size.width() + c.Noise), {1500, 1000, 5, 300});
    }
}

// On screen the chart is painted into its window's buffer, at its place in
// the window: the reduced drawing lights there exactly the pixels of a
// drawing of every point, as it does in a picture of the chart alone.
TEST(ZoomedDrawing, InAWindowOnScreenAsInAPicture)
{
    const QRect place(37, 23, 640, 400);
    struct TShown {
        QWidget Window;
        TAccelerometer Chart{QSize(640, 400)};
        TShown(bool reduce)
        {
            Window.resize(720, 460);
            Chart.Chart.setParent(&Window);
            Chart.Chart.setGeometry(QRect(37, 23, 640, 400));
            Chart.Chart.SetReduction(reduce);
        }
        QImage Grab()
        {
            Chart.Chart.Flush();
            Window.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&Window));
            Window.repaint();
            QCoreApplication::processEvents();
            return Window.screen()->grabWindow(Window.winId()).toImage().convertToFormat(
                QImage::Format_ARGB32_Premultiplied);
        }
    };
    TShown reduced(true);
    TShown full(false);
    TNoisy().Fill({&reduced.Chart.Sink, &full.Chart.Sink}, 60000);
    for (const TChartView& view : {TChartView{}, Range(10000.5, 31234.25)}) {
        reduced.Chart.Chart.SetView(view);
        full.Chart.Chart.SetView(view);
        const QImage a = reduced.Grab().copy(place);
        const QImage b = full.Grab().copy(place);
        ASSERT_EQ(a.size(), place.size());
        EXPECT_GT(CountColour(a, AxisColours[2]), place.width());
        EXPECT_EQ(DifferentPixels(a, b), 0);
    }
}

// While points arrive, a band is handed to Qt Charts only when its drawing
// changes; what is on screen is at every step what a drawing of every point
// shows.
TEST(ZoomedDrawing, GrowingHistoryRedrawsOnlyWhatChanges)
{
    for (const bool zoomed : {false, true}) {
        SCOPED_TRACE(zoomed ? "frozen view" : "whole history");
        TAccelerometer reduced;
        TAccelerometer full;
        full.Chart.SetReduction(false);
        TNoisy noisy(5);
        noisy.Fill({&reduced.Sink, &full.Sink}, 30000);
        if (zoomed) {
            // The right part of the plot still empty, the newest points in it.
            reduced.Chart.SetView(Range(29000.5, 31000));
            full.Chart.SetView(Range(29000.5, 31000));
        }
        reduced.Chart.Flush();
        std::mt19937 rng(8);
        std::uniform_int_distribution<int> batch(1, 6);
        const qint64 bandsBefore = reduced.Chart.ReplacedBandCount();
        int flushes = 0;
        for (int round = 0; round < 60; ++round) {
            noisy.Fill({&reduced.Sink, &full.Sink}, batch(rng));
            reduced.Chart.Flush();
            ++flushes;
            if (round % 6 == 5) {
                SCOPED_TRACE(round);
                ASSERT_EQ(DifferentPixels(reduced.Chart.Picture(), full.Chart.Picture()), 0);
            }
        }
        // In the whole history most new points fall on pixels already lit.
        if (!zoomed) {
            EXPECT_LT(reduced.Chart.ReplacedBandCount() - bandsBefore, 3 * flushes / 2);
        }
    }
}

TEST(ZoomedDrawing, APointOnPixelsAlreadyLitReplacesNothing)
{
    TAccelerometer a;
    for (int i = 0; i < 20000; ++i)
        a.Sink.Append(axX, i % 2 ? 1000 : 3000);
    a.Chart.Flush();
    a.Sink.Append(axX, 2000);  // inside the last column's span
    a.Chart.Flush();
    EXPECT_EQ(a.Chart.ReplacedPointCount(), 0);
    a.Sink.Append(axX, 3500);  // above it: the column grows
    a.Chart.Flush();
    EXPECT_GT(a.Chart.ReplacedPointCount(), 0);
}

// A view whose right edge reaches the newest point keeps its width and
// slides as points arrive, a few pixels at a time, the newest point within
// the last step; a view that does not stays put while capture goes on; the
// whole history grows in steps.
TEST(ChartView, FollowsOrStaysPutWhilePointsArrive)
{
    struct TCase {
        const char* Name;
        TChartView View;
        double MinAfter, MaxAfter;  // bottom axis after 500 more points (-1: following)
    };
    const TCase cases[] = {
        {"following", Range(700, 999), -1, -1},
        {"following, filling up", Range(800, 1200), -1, -1},
        {"frozen", Range(300, 700), 300, 700},
        {"whole", TChartView{}, 0, 1500},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TAccelerometer a;
        for (int i = 0; i < 1000; ++i)
            a.Sink.Append(axX, i % 7);
        TChartView view = c.View;
        if (!view.Whole)
            view.Following = view.MaxX >= 999;
        a.Chart.SetView(view);
        const double width = c.View.MaxX - c.View.MinX;
        for (int step = 0; step < 5; ++step) {
            for (int i = 0; i < 100; ++i)
                a.Sink.Append(axX, i % 7);
            a.Chart.Flush();
            const double min = Axis(a.Chart, Qt::Horizontal)->min();
            const double max = Axis(a.Chart, Qt::Horizontal)->max();
            if (c.MinAfter < 0) {
                EXPECT_TRUE(a.Chart.View().Following);
                EXPECT_NEAR(max - min, width, 1e-9);
                const double newest = 1000 + 100 * (step + 1) - 1;
                EXPECT_GE(max, newest);
                if (newest > c.View.MaxX) {
                    EXPECT_LT(max - newest, width * 8 / a.Chart.PlotArea().width() + 1e-9);
                } else {
                    EXPECT_EQ(max, c.View.MaxX);  // filling the empty part first
                }
            } else if (step == 4) {
                EXPECT_EQ(min, c.MinAfter);
                EXPECT_EQ(max, c.MaxAfter);
                EXPECT_FALSE(a.Chart.View().Following);
            }
        }
    }
}

// The left axis fits the points in view of the series shown, with the same
// margin as for the whole history, unless the user zoomed it.
TEST(ChartView, LeftAxisFitsThePointsInView)
{
    TAccelerometer a;
    for (int i = 0; i < 1000; ++i) {
        a.Sink.Append(axX, i < 500 ? 1000 : 2000 + i % 100);
        a.Sink.Append(axY, 3000);
    }
    a.Chart.SetView(Range(600, 800));
    QValueAxis* y = Axis(a.Chart, Qt::Vertical);
    EXPECT_EQ(y->min(), 2000 - 0.04 * 1000);
    EXPECT_EQ(y->max(), 3000 + 0.04 * 1000);
    a.Chart.SetSeriesVisible(1, false);
    EXPECT_EQ(y->min(), 2000 - 0.04 * 99);
    EXPECT_EQ(y->max(), 2099 + 0.04 * 99);
    TChartView zoomed = a.Chart.View();
    zoomed.ZoomedY = true;
    zoomed.MinY = 10;
    zoomed.MaxY = 20;
    a.Chart.SetView(zoomed);
    EXPECT_EQ(y->min(), 10);
    EXPECT_EQ(y->max(), 20);
    a.Chart.FitY();
    EXPECT_EQ(y->min(), 2000 - 0.04 * 99);
}

// A second chart of another size given the view of the first shows the
// same ranges and series.
TEST(ChartView, CopiesToAnotherChart)
{
    TSession session;
    FillNoisy(session, 5000);
    TChart first;
    first.resize(400, 250);
    ApplyAccelerometerChart(first, session);
    TChartView view = Range(1234.5, 2345.5);
    view.ZoomedY = true;
    view.MinY = 1000;
    view.MaxY = 2000;
    view.Hidden = {false, true, false};
    first.SetView(view);

    TChart second;
    second.resize(1600, 1000);
    ApplyAccelerometerChart(second, session);
    second.SetView(first.View());
    second.Flush();
    EXPECT_EQ(second.View(), first.View());
    EXPECT_EQ(Axis(second, Qt::Horizontal)->min(), 1234.5);
    EXPECT_FALSE(second.SeriesVisible(1));
    EXPECT_EQ(CountColour(second.Picture(), AxisColours[1]), 0);
    second.Watch(nullptr);
    first.Watch(nullptr);
}

// While the view is frozen away from the newest points, a chart on screen
// says so in a corner of its plot; following or showing everything it
// does not, nor does a chart that is not on screen (a picture drawn
// offscreen). The sign never changes a pixel of a line.
TEST(ChartView, SaysWhenTheViewIsFrozen)
{
    TAccelerometer shown(QSize(640, 400));
    TAccelerometer offscreen(QSize(640, 400));
    shown.Chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shown.Chart));
    TNoisy().Fill({&shown.Sink, &offscreen.Sink}, 5000);
    TChartView following = Range(4000, 4999);
    following.Following = true;
    struct TCase {
        const char* Name;
        TChartView View;
        bool Sign;
    };
    const TCase cases[] = {
        {"whole", TChartView{}, false},
        {"frozen", Range(1000, 2000), true},
        {"following", following, false},
        {"frozen again", Range(3990.5, 4990.5), true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        shown.Chart.SetView(c.View);
        offscreen.Chart.SetView(c.View);
        const QImage a = shown.Chart.Picture();
        const QImage b = offscreen.Chart.Picture();
        EXPECT_TRUE(offscreen.Chart.FrozenSignArea().isEmpty());
        const QRectF sign = shown.Chart.FrozenSignArea();
        ASSERT_EQ(!sign.isEmpty(), c.Sign);
        const QRect differ = Difference(a, b);
        if (!c.Sign) {
            EXPECT_TRUE(differ.isEmpty());
            continue;
        }
        const QRectF plot = shown.Chart.PlotArea();
        EXPECT_TRUE(plot.contains(sign));
        EXPECT_GT(sign.left(), plot.center().x());
        EXPECT_GT(sign.top(), plot.center().y());
        ASSERT_FALSE(differ.isEmpty());
        EXPECT_TRUE(sign.toAlignedRect().contains(differ));
        for (const QColor& colour : AxisColours)
            EXPECT_EQ(CountColour(a, colour), CountColour(b, colour));
    }
    EXPECT_EQ(TFrozenSign::Text(), QString::fromUtf8("vista parada — End acompanha"));
    shown.Sink.Append(axX, 1);  // the view stays where it was left
    shown.Chart.Flush();
    EXPECT_FALSE(shown.Chart.FrozenSignArea().isEmpty());
    shown.Chart.FollowNewest();
    EXPECT_TRUE(shown.Chart.FrozenSignArea().isEmpty());
}

// Big numbers on the axes are grouped as in Brazilian Portuguese.
TEST(ChartView, AxisLabelsGroupDigits)
{
    TAccelerometer a;
    EXPECT_TRUE(a.Chart.Chart()->localizeNumbers());
    EXPECT_EQ(a.Chart.Chart()->locale().toString(150000000.0, 'f', 0), QString("150.000.000"));
}

// The model of the rasteriser that the reduction relies on lights exactly
// the pixels that QPainter lights for one segment, for the short segments
// inside one column that matter and for longer ones.
TEST(StrokeModel, MatchesQPainterPixelForPixel)
{
    std::mt19937 rng(12);
    std::uniform_real_distribution<double> position(10, 30);
    std::uniform_real_distribution<double> tiny(-0.1, 0.1);
    std::uniform_real_distribution<double> shortStep(-1.5, 1.5);
    std::uniform_real_distribution<double> longStep(-8, 8);
    QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
    QPen pen(Qt::black);
    pen.setWidth(1);
    for (int i = 0; i < 20000; ++i) {
        const double x1 = position(rng);
        const double y1 = position(rng);
        std::uniform_real_distribution<double>& step = i % 3 == 0 ? tiny : i % 3 == 1 ? shortStep : longStep;
        const double x2 = x1 + step(rng);
        const double y2 = y1 + step(rng);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.setPen(pen);
            painter.drawLine(QPointF(x1, y1), QPointF(x2, y2));
        }
        std::vector<TPixel> model;
        StrokePixels(x1, y1, x2, y2, model);
        std::vector<TPixel> drawn;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != QColor(Qt::white).rgb())
                    drawn.push_back({x, y});
        auto order = [](const TPixel& a, const TPixel& b) { return a.Y != b.Y ? a.Y < b.Y : a.X < b.X; };
        std::sort(model.begin(), model.end(), order);
        model.erase(std::unique(model.begin(), model.end()), model.end());
        ASSERT_TRUE(model == drawn) << i << ": " << x1 << "," << y1 << " -> " << x2 << "," << y2;
    }
}

// The chart draws its lines with pieces of its own instead of Qt Charts'
// line series; drawn with every point, they light exactly the pixels that
// Qt Charts' QLineSeries lights for the same points in the same chart: at
// the whole history, zoomed in so that segments cross the left and right
// edges, and with the left axis zoomed so that they leave at the top and
// bottom, at sizes whose plot area falls on whole and fractional pixels.
TEST(LinePieces, DrawEveryPointAsQtChartsLineSeriesDoes)
{
    struct TCase {
        const char* Name;
        TChartView View;  // Whole: the whole history
        bool ZoomY;
    };
    const TCase cases[] = {
        {"whole", TChartView{}, false},
        {"zoomed in", Range(1234.5, 1301.25), false},
        {"left axis zoomed", Range(400.25, 2900), true},
    };
    for (const QSize size : {QSize(400, 250), QSize(1600, 1000), QSize(777, 433)}) {
        for (const TCase& c : cases) {
            SCOPED_TRACE(std::to_string(size.width()) + " " + c.Name);
            TAccelerometer ours(size);
            ours.Chart.SetReduction(false);
            FillNoisy(ours.Sink, 3000);
            TChartView view = c.View;
            if (c.ZoomY) {
                view.ZoomedY = true;
                view.MinY = 1800;
                view.MaxY = 2100;
            }
            ours.Chart.SetView(view);
            const QImage a = ours.Chart.Picture();

            // The same chart with no points of its own, showing the same
            // ranges, the points handed to Qt Charts' series instead.
            TAccelerometer qt(size);
            TChartView shown = ours.Chart.View();
            shown.Whole = false;
            shown.Following = false;
            shown.ZoomedY = true;
            qt.Chart.SetView(shown);
            const QList<QAbstractSeries*> lines = qt.Chart.Chart()->series();
            ASSERT_EQ(lines.size(), 3);
            for (int axis = 0; axis < 3; ++axis) {
                auto* line = qobject_cast<QLineSeries*>(lines[axis]);
                ASSERT_TRUE(line);
                const TFastLineSeries& series = *ours.At(axis);
                QList<QPointF> points;
                for (qint64 i = 0; i < series.Count(); ++i)
                    points.append(QPointF(series.XValue(i), series.YValue(i)));
                line->replace(points);
            }
            const QImage b = qt.Chart.Picture();
            ASSERT_EQ(Axis(qt.Chart, Qt::Horizontal)->min(), Axis(ours.Chart, Qt::Horizontal)->min());
            ASSERT_EQ(Axis(qt.Chart, Qt::Vertical)->max(), Axis(ours.Chart, Qt::Vertical)->max());
            EXPECT_EQ(qt.Chart.DrawnPointCount(), 0);
            EXPECT_GT(CountColour(b, AxisColours[0]), size.width() / 4);
            EXPECT_EQ(DifferentPixels(a, b), 0);
        }
    }
}
