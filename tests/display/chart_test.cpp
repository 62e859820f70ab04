// The live chart on Qt Charts, rendered offscreen.

#include "accelerometer_chart.h"
#include "session.h"
#include "tchart.h"

#include <QApplication>
#include <QThread>
#include <QChart>
#include <QLegend>
#include <QImage>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

const QColor AxisColours[3] = {QColor(0x44, 0x66, 0xA3), QColor(0xF3, 0x9C, 0x35), QColor(0xF1, 0x4C, 0x14)};

long CountColour(const QImage& image, const QColor& colour)
{
    const QRgb wanted = colour.rgba();
    long count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            count += line[x] == wanted;
    }
    return count;
}

// Bounding box of the pixels that differ between two pictures.
QRect Difference(const QImage& a, const QImage& b)
{
    QRect box;
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (pa[x] != pb[x])
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

long DifferentPixels(const QImage& a, const QImage& b)
{
    long count = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            count += pa[x] != pb[x];
    }
    return count;
}

// A chart showing a session of its own; the session outlives the chart.
struct TAccelerometer {
    TSession Sink;
    TChart Chart;
    TAccelerometerSeries Series;

    explicit TAccelerometer(QSize size = QSize(400, 250)) : Series(Setup(Chart, Sink, size)) {}
    static TAccelerometerSeries Setup(TChart& chart, TSession& session, QSize size)
    {
        chart.resize(size);
        return ApplyAccelerometerChart(chart, session);
    }
    TFastLineSeries* At(int axis) const
    {
        return axis == 0 ? Series.Series1 : axis == 1 ? Series.Series2 : Series.Series3;
    }
};

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
    for (int i = 0; i < 50 && a.Chart.DrawnPointCount() == 0; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    EXPECT_GE(a.Chart.DrawnPointCount(), 2);
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
