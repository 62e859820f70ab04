// The chart showing values in g: each series through its own calibration
// on one left axis, drawn by mapping its reduced columns, lighting the
// pixels of a drawing of every point in g; the readout in g.
#include "chart_test_support.h"

#include <QLineSeries>
#include <QTest>

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// At any view, zoomed in either axis, with a series hidden or not, the
// reduced drawing in g lights exactly the pixels of every point in g.
TEST(CalibratedDrawing, IsPixelIdenticalToAllPointsInGAtRandomViews)
{
    constexpr int Points = 100000;
    for (const QSize size : {QSize(400, 250), QSize(1600, 1000)}) {
        SCOPED_TRACE(std::to_string(size.width()));
        TAccelerometer reduced(size);
        TAccelerometer full(size);
        full.Chart.SetReduction(false);
        TNoisy(31).Fill({&reduced.Sink, &full.Sink}, Points);
        reduced.Chart.SetValueScale(InG());
        full.Chart.SetValueScale(InG());
        // Bands of g: the parts' values lie from about -1.4 to 2.3 g.
        ExpectSameAtRandomViews(reduced, full, Points, unsigned(size.width()), {-1.5, 2, 0.01, 0.5});
    }
}

// While points arrive in g, a band gets new points only when its drawing
// changes, and what is shown is at every step every point in g.
TEST(CalibratedDrawing, GrowingHistoryInGIsEveryPointInG)
{
    TAccelerometer reduced;
    TAccelerometer full;
    full.Chart.SetReduction(false);
    reduced.Chart.SetValueScale(InG());
    full.Chart.SetValueScale(InG());
    TNoisy noisy(17);
    noisy.Fill({&reduced.Sink, &full.Sink}, 30000);
    reduced.Chart.Flush();
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> batch(1, 6);
    for (int round = 0; round < 40; ++round) {
        noisy.Fill({&reduced.Sink, &full.Sink}, batch(rng));
        reduced.Chart.Flush();
        if (round % 8 == 7) {
            SCOPED_TRACE(round);
            ASSERT_EQ(DifferentPixels(reduced.Chart.Picture(), full.Chart.Picture()), 0);
        }
    }
}

// Every point in g drawn by the chart's pieces is what Qt Charts' own line
// series draws for the same points in g, on the same axes.
TEST(CalibratedDrawing, EveryPointAsQtChartsDrawsThemInG)
{
    const QSize size(777, 433);
    TAccelerometer ours(size);
    ours.Chart.SetReduction(false);
    FillNoisy(ours.Sink, 3000);
    ours.Chart.SetValueScale(InG());
    for (const bool zoomY : {false, true}) {
        SCOPED_TRACE(zoomY);
        TChartView view = Range(400.25, 2900);
        if (zoomY) {
            view.ZoomedY = true;
            view.MinY = -0.8;
            view.MaxY = 0.3;
        }
        ours.Chart.SetView(view);
        const QImage a = ours.Chart.Picture();

        TAccelerometer qt(size);
        qt.Chart.SetValueScale(InG());
        TChartView shown = ours.Chart.View();
        shown.ZoomedY = true;
        qt.Chart.SetView(shown);
        const QList<QAbstractSeries*> lines = qt.Chart.Chart()->series();
        for (int axis = 0; axis < 3; ++axis) {
            const TValueMap map = InG().Map(axis);
            const TFastLineSeries& series = *ours.At(axis);
            QList<QPointF> points;
            for (qint64 i = 0; i < series.Count(); ++i)
                points.append(QPointF(series.XValue(i), map(series.YValue(i))));
            qobject_cast<QLineSeries*>(lines[axis])->replace(points);
        }
        const QImage b = qt.Chart.Picture();
        ASSERT_EQ(Axis(qt.Chart, Qt::Vertical)->max(), Axis(ours.Chart, Qt::Vertical)->max());
        EXPECT_GT(CountColour(b, AxisColours[1]), size.width() / 4);
        EXPECT_EQ(DifferentPixels(a, b), 0);
    }
}

// The left axis fits the values in g, says its unit, and labels its ticks
// with the decimals they need; back in counts it is as it always was.
TEST(CalibratedDrawing, LeftAxisFitsAndNamesTheValuesInG)
{
    TAccelerometer a;
    QValueAxis* y = Axis(a.Chart, Qt::Vertical);
    const TChartView before = a.Chart.View();
    EXPECT_EQ(y->titleText(), QString());
    for (int i = 0; i < 1000; ++i) {
        a.Sink.Append(axX, 2448);                  // +1 g
        a.Sink.Append(axY, i % 2 ? 1640 : 1640.25);  // about +1 g, upside down
        a.Sink.Append(axZ, 1990);                  // 0 g
    }
    a.Chart.SetValueScale(InG());
    EXPECT_EQ(y->titleText(), QStringLiteral("Aceleração (g)"));
    EXPECT_NEAR(y->min(), -0.04 * 1.0006, 1e-4);
    EXPECT_NEAR(y->max(), 1.0006 + 0.04 * 1.0006, 1e-4);
    EXPECT_LT(y->tickInterval(), 1);
    EXPECT_EQ(y->labelFormat(), QStringLiteral("%.1f"));
    EXPECT_EQ(a.Chart.View().UnitY, 1 / 410.25);
    a.Chart.PanY(0.5);
    EXPECT_TRUE(a.Chart.View().ZoomedY);

    a.Chart.SetValueScale(TValueScale{});
    EXPECT_FALSE(a.Chart.View().ZoomedY);
    EXPECT_EQ(y->titleText(), QString());
    EXPECT_EQ(y->labelFormat(), QStringLiteral("%.0f"));
    EXPECT_EQ(a.Chart.View().UnitY, before.UnitY);
    EXPECT_EQ(y->max(), 2448 + 0.04 * (2448 - 1640));
}

// The readout writes each series' values in g through its own map: the
// lowest and highest of a column in g (swapped for a part upside down).
TEST(CalibratedReadout, WritesEachSeriesInG)
{
    TSession session;
    for (int i = 0; i < 10; ++i) {
        session.Append(axX, 2448 + 4 * (i % 2));
        session.Append(axY, 2050.5);
        session.Append(axZ, 1990 - 397.3 + 2 * i);
    }
    const TValueScale scale = InG();
    std::vector<TReadoutSeries> series;
    for (int axis = 0; axis < 3; ++axis)
        series.push_back({QStringLiteral("Eixo %1").arg(QChar('X' + axis)), &session.Values(TAxis(axis)), true,
                          scale.Map(axis)});
    EXPECT_EQ(ReadoutText(4, 5, series, nullptr, scale),
              QStringLiteral("X: 4\nEixo X: 1,000 g\nEixo Y: 0,000 g\nEixo Z: -0,980 g"));
    EXPECT_EQ(ReadoutText(0, 10, series, nullptr, scale),
              QStringLiteral("X: 0 – 9\nEixo X: 1,000 – 1,010 g\nEixo Y: 0,000 g\nEixo Z: -1,000 – -0,955 g"));
    // Counts, as always.
    series[0].Map = TValueMap{};
    EXPECT_EQ(ReadoutText(0, 10, {series[0]}, nullptr), QStringLiteral("X: 0 – 9\nEixo X: 2.448 – 2.452"));
}

}  // namespace
