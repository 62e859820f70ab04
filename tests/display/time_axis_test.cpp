// The chart with X in seconds: each point at the time it arrived, the
// clock on the bottom axis, the lines broken where the port was closed,
// the marks of the openings, the readout, and pictures exact at any view.

#include "chart_test_support.h"
#include "accelerometer_chart.h"
#include "session.h"
#include "tchart.h"

#include <QAbstractAxis>
#include <QChart>
#include <QImage>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr TLineTiming Line9600{20, 9600};

// Horizontal axes shown.
int BottomAxes(const TChart& chart)
{
    int shown = 0;
    for (const QAbstractAxis* axis : chart.Chart()->axes(Qt::Horizontal))
        shown += axis->isVisible();
    return shown;
}

// A chart over a session of its own, fed as from a port at 9600 baud: reads
// of a few frames each, stamped a little after their last byte, the port
// closed now and then.
struct TTimedChart {
    TSession Session;
    TChart Chart;
    std::int64_t NowUs = 0;
    std::uint64_t Frame = 0;

    explicit TTimedChart(QSize size = QSize(800, 500))
    {
        Chart.resize(size);
        ApplyAccelerometerChart(Chart, Session);
    }
    void Open(std::int64_t atUs)
    {
        NowUs = atUs;
        Session.MarkOpening(atUs * 1000, Line9600);
    }
    // frames frames in reads of 1 to maxRead frames; values from rng.
    void Feed(int frames, std::mt19937& rng, int maxRead = 8)
    {
        while (frames > 0) {
            const int read = std::min(frames, 1 + int(rng() % std::uint32_t(maxRead)));
            NowUs += 3125 * read;
            Session.BeginRead((NowUs + std::int64_t(rng() % 2000)) * 1000);
            for (int j = 0; j < read; ++j, ++Frame) {
                const double value = 2048 + 1500 * std::sin(double(Frame) / 40.0) + double(rng() % 200);
                Session.AppendFrame(TAxis(Frame % 3), std::round(value), true, 3 * (read - 1 - j));
            }
            frames -= read;
        }
    }
};

TEST(TimeAxis, TheBottomAxisShowsTheClock)
{
    TTimedChart a;
    std::mt19937 rng(1);
    a.Open(0);
    a.Feed(320 * 90, rng, 5);  // a minute and a half at 320 frames a second
    a.Chart.SetSecondsAxis(true);
    a.Chart.Flush();
    EXPECT_TRUE(a.Chart.SecondsAxis());
    EXPECT_EQ(BottomAxes(a.Chart), 1);
    // The whole history: from 0 to a round end past 90 s, in minutes.
    EXPECT_EQ(a.Chart.View().MinX, 0);
    EXPECT_EQ(a.Chart.View().MaxX, 100);
    EXPECT_EQ(a.Chart.BottomAxisTitle(), "tempo (min:s)");
    EXPECT_EQ(a.Chart.BottomAxisLabels().join(' '), "0:00 0:15 0:30 0:45 1:00 1:15 1:30");

    struct TCase {
        double Min, Max;
        QString Labels;
        QString Title;
    };
    const TCase cases[] = {
        {61.2, 61.7, "1:01,20 1:01,25 1:01,30 1:01,35 1:01,40 1:01,45 1:01,50 1:01,55 1:01,60 1:01,65 1:01,70",
         "tempo (min:s)"},
        {10.0, 10.008, "10,000 10,001 10,002 10,003 10,004 10,005 10,006 10,007 10,008", "tempo (s)"},
        {2, 40, "5 10 15 20 25 30 35 40", "tempo (s)"},
    };
    for (const TCase& c : cases) {
        TChartView view = a.Chart.View();
        view.Whole = false;
        view.MinX = c.Min;
        view.MaxX = c.Max;
        a.Chart.SetView(view);
        EXPECT_EQ(a.Chart.BottomAxisLabels().join(' '), c.Labels) << c.Min;
        EXPECT_EQ(a.Chart.BottomAxisTitle(), c.Title) << c.Min;
    }
    // Back in positions: Qt Charts' axis again, as ever.
    a.Chart.SetSecondsAxis(false);
    EXPECT_EQ(BottomAxes(a.Chart), 1);
    EXPECT_FALSE(a.Chart.SecondsAxis());
}

// In counts and in g.
class TimeAxisPicture : public ::testing::TestWithParam<bool> {};

TEST_P(TimeAxisPicture, IsExactAtRandomViewsThatCutSegmentsAndStops)
{
    const bool inG = GetParam();
    TTimedChart reduced;
    TTimedChart full;
    full.Chart.SetReduction(false);
    for (TTimedChart* a : {&reduced, &full}) {
        if (inG)
            a->Chart.SetValueScale(InG());
        std::mt19937 rng(7);
        a->Open(0);
        for (int stop = 0; stop < 4; ++stop) {
            a->Feed(30000 + int(rng() % 30000), rng, 20);
            a->Open(a->NowUs + 200000 + std::int64_t(rng() % 5'000'000));
        }
        a->Feed(20000, rng);
        a->Chart.SetSecondsAxis(true);
    }
    const double end = SecondsOf(reduced.Session.Log().TimeUs(reduced.Session.FrameCount() - 1));
    const std::vector<TOpening>& openings = reduced.Session.Openings();
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int round = 0; round < 14; ++round) {
        TChartView view = reduced.Chart.View();
        view.Whole = round == 0;
        const double width = 0.02 * std::pow(end / 0.02, unit(rng));
        // Half the views have an edge near a stop.
        const double anchor = round % 2 ? SecondsOf(openings[1 + rng() % (openings.size() - 1)].TimeUs) + (unit(rng) - 0.7) * width
                                        : unit(rng) * (end - width);
        view.MinX = std::max(0.0, anchor);
        view.MaxX = view.MinX + width;
        if (round % 4 == 3) {
            view.ZoomedY = true;
            view.MinY = inG ? -2.5 + 2.5 * unit(rng) : 1000 + 1000 * unit(rng);
            view.MaxY = view.MinY + (inG ? 0.1 + 3 * unit(rng) : 50 + 1500 * unit(rng));
        }
        view.Hidden = {false, round % 5 == 4, false};
        reduced.Chart.SetView(view);
        full.Chart.SetView(view);
        ASSERT_EQ(reduced.Chart.View(), full.Chart.View());
        EXPECT_EQ(DifferentPixels(reduced.Chart.Picture(), full.Chart.Picture()), 0)
            << round << ": " << view.MinX << " - " << view.MaxX;
    }
}

INSTANTIATE_TEST_SUITE_P(CountsAndG, TimeAxisPicture, ::testing::Bool());

// Where the port was closed, no segment joins the last point before the
// stop and the first after it; a faint mark shows the opening, in seconds
// and in positions alike.
TEST(TimeAxis, ALineIsBrokenWhereThePortWasClosed)
{
    TTimedChart a(QSize(600, 400));
    std::mt19937 rng(3);
    a.Open(0);
    a.Feed(3000, rng);
    const std::int64_t stopUs = a.NowUs;
    a.Open(a.NowUs + 10'000'000);  // ten seconds closed
    a.Feed(3000, rng);
    a.Chart.SetSecondsAxis(true);
    a.Chart.Flush();
    EXPECT_EQ(a.Chart.OpeningMarkCount(), 1);
    const QImage picture = a.Chart.Picture();
    // Columns well within the stop hold no pixel of any line.
    const QRectF plot = a.Chart.PlotArea();
    const double from = a.Chart.WidgetPosition(SecondsOf(stopUs) + 1, 0).x();
    const double to = a.Chart.WidgetPosition(SecondsOf(stopUs) + 9, 0).x();
    ASSERT_LT(from + 20, to);
    const QRgb lines[3] = {QColor(0x44, 0x66, 0xA3).rgb(), QColor(0xF3, 0x9C, 0x35).rgb(), QColor(0xF1, 0x4C, 0x14).rgb()};
    long lit = 0;
    for (int x = int(from); x < int(to); ++x)
        for (int y = int(plot.top()); y < int(plot.bottom()); ++y)
            for (QRgb colour : lines)
                lit += picture.pixel(x, y) == colour;
    EXPECT_EQ(lit, 0);

    a.Chart.SetSecondsAxis(false);
    a.Chart.Flush();
    EXPECT_EQ(a.Chart.OpeningMarkCount(), 1);
}

TEST(TimeAxis, TheReadoutGivesTheTimeTheValuesAndThePositions)
{
    TTimedChart a(QSize(800, 500));
    // One read of three frames at 9600 baud: at 3,750, 6,875 and 10,000 ms;
    // then, five seconds after the port opened again, three more.
    a.Open(0);
    a.Session.BeginRead(10'000'000);
    a.Session.AppendFrame(axX, 100, true, 6);
    a.Session.AppendFrame(axY, 200, true, 3);
    a.Session.AppendFrame(axZ, 300, true, 0);
    a.Open(5'000'000);
    a.Session.BeginRead(5'010'000'000);
    a.Session.AppendFrame(axX, 110, true, 6);
    a.Session.AppendFrame(axY, 210, true, 3);
    a.Session.AppendFrame(axZ, 310, true, 0);
    a.Chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&a.Chart));
    a.Chart.SetSecondsAxis(true);
    TChartView view = a.Chart.View();
    view.Whole = false;
    view.MinX = 0;
    view.MaxX = 0.02;
    a.Chart.SetView(view);

    struct TCase {
        double Seconds;
        QString Text;
    };
    const TCase cases[] = {
        // Alone in its column: the other axes' nearest points, later.
        {0.003750, "t: 0,003750 s – 0,010000 s\nEixo X: 100\nEixo Y: 200\nEixo Z: 300\nPosição: 0"},
        {0.006875, "t: 0,003750 s – 0,010000 s\nEixo X: 100\nEixo Y: 200\nEixo Z: 300\nPosição: 0"},
    };
    for (const TCase& c : cases) {
        const QPointF at = a.Chart.WidgetPosition(c.Seconds, 200);
        QTest::mouseMove(a.Chart.viewport(), at.toPoint());
        ASSERT_TRUE(a.Chart.ReadoutVisible());
        EXPECT_EQ(a.Chart.ReadoutText().toStdString(), c.Text.toStdString()) << c.Seconds;
    }
    // Over the whole history, a column holds the three points of a read.
    a.Chart.ShowAll();
    QTest::mouseMove(a.Chart.viewport(), a.Chart.WidgetPosition(5.005, 200).toPoint());
    EXPECT_EQ(a.Chart.ReadoutText().toStdString(),
              std::string("t: 5,004 s – 5,010 s\nEixo X: 110\nEixo Y: 210\nEixo Z: 310\nPosição: 1"));
}

// Following keeps a width in seconds while points arrive; moved away, the
// view stays where it was.
TEST(TimeAxis, AFollowingViewKeepsItsWidthInSeconds)
{
    TTimedChart a;
    std::mt19937 rng(8);
    a.Open(0);
    a.Feed(320 * 60, rng);
    a.Chart.SetSecondsAxis(true);
    a.Chart.FollowNewest();
    TChartView view = a.Chart.View();
    EXPECT_TRUE(view.Following);
    EXPECT_DOUBLE_EQ(view.MaxX - view.MinX, 10);
    for (int k = 0; k < 5; ++k) {
        a.Feed(320 * 3, rng);
        a.Chart.Flush();
        view = a.Chart.View();
        const double newest = SecondsOf(a.Session.Log().TimeUs(a.Session.FrameCount() - 1));
        EXPECT_TRUE(view.Following);
        EXPECT_NEAR(view.MaxX - view.MinX, 10, 1e-9);
        EXPECT_GE(view.MaxX, newest);
        EXPECT_LT(view.MaxX - newest, 0.2);
    }
    a.Chart.PanX(-0.5);
    const TChartView frozen = a.Chart.View();
    EXPECT_FALSE(frozen.Following);
    a.Feed(320 * 3, rng);
    a.Chart.Flush();
    EXPECT_EQ(a.Chart.View().MinX, frozen.MinX);
    EXPECT_EQ(a.Chart.View().MaxX, frozen.MaxX);
}

// The menu's entry and T switch the unit, keeping the stretch of history
// in view; a copy of the view (a picture) shows the same.
TEST(TimeAxis, SwitchingKeepsWhatIsInView)
{
    TTimedChart a;
    std::mt19937 rng(5);
    a.Open(0);
    a.Feed(30000, rng);
    TChartView view = a.Chart.View();
    view.Whole = false;
    view.MinX = 3000;
    view.MaxX = 4000;
    a.Chart.SetView(view);
    const double from = SecondsOf(a.Session.TimeUs(axX, 3000));
    const double to = SecondsOf(a.Session.TimeUs(axX, 4000));

    std::unique_ptr<QMenu> menu(a.Chart.CreateContextMenu());
    QAction* seconds = nullptr;
    for (QAction* action : menu->actions())
        if (action->text().startsWith("Eixo X em segundos"))
            seconds = action;
    ASSERT_NE(seconds, nullptr);
    EXPECT_FALSE(seconds->isChecked());
    seconds->trigger();
    EXPECT_TRUE(a.Chart.SecondsAxis());
    EXPECT_NEAR(a.Chart.View().MinX, from, 1e-9);
    EXPECT_NEAR(a.Chart.View().MaxX, to, 1e-9);

    TChart copy;
    copy.resize(a.Chart.size());
    ApplyAccelerometerChart(copy, a.Session);
    copy.SetView(a.Chart.View());
    EXPECT_TRUE(copy.SecondsAxis());
    const QImage copied = copy.Picture();
    const QImage shown = a.Chart.Picture();
    if (qEnvironmentVariableIsSet("TIME_AXIS_TEST_SAVE")) {
        copied.save("/tmp/g/copied.png");
        shown.save("/tmp/g/shown.png");
    }
    EXPECT_EQ(DifferentPixels(copied, shown), 0);

    a.Chart.show();
    QTest::keyClick(&a.Chart, Qt::Key_T);
    EXPECT_FALSE(a.Chart.SecondsAxis());
    EXPECT_EQ(a.Chart.View().MinX, 3000);
    EXPECT_EQ(a.Chart.View().MaxX, 4000);
}

}  // namespace
