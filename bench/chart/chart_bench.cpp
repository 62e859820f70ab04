// Benchmark of the live chart. Prints one "name value" line per figure:
//   append_ns_per_point_100k, append_ns_per_point_10m   cost of one Append
//       while filling the three series (redraws run from the event loop as
//       in the program)
//   render_ms_100k, render_ms_10m   median time to bring new points to the
//       screen: flush plus a repaint of the whole widget at 1600x1000
//   bytes_per_point_10m   growth of the resident set per point held
//   qtcharts_append_ns_per_point_30k   QLineSeries::append per point up to
//       30k points, repainting every 300 points (the naive way)
//   pixel_diff   pixels by which the reduced drawing differs from a
//       drawing of every point (200k noisy points per series)
// Runs offscreen unless a platform is set. CHART_BENCH_SAVE=1 also saves the
// pictures compared for pixel_diff under /tmp; CHART_BENCH_SKIP_NAIVE=1
// skips the slow naive measurement; CHART_BENCH_RENDER_ROUNDS=N repaints N
// times instead of 31 (for profiling the repaint).

#include "accelerometer_chart.h"
#include "session.h"
#include "tchart.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QElapsedTimer>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Width = 1600;
constexpr int Height = 1000;

// Readings like the device's: a slow swing plus noise, 12-bit integers,
// with now and then a value held for a few samples (a failed check).
class TSignal {
public:
    explicit TSignal(uint32_t seed) : m_state(seed | 1u)
    {
        m_table.resize(1 << 16);
        for (std::size_t i = 0; i < m_table.size(); ++i) {
            const double swing = 600 * std::sin(double(i) * 2 * M_PI / double(m_table.size()) * 3);
            double v = 2048 + swing + double(Next() % 801) - 400.0;
            if (i > 0 && Next() % 50 == 0)
                v = m_table[i - 1];  // held value
            m_table[i] = std::clamp(std::round(v), 0.0, 4095.0);
        }
    }
    double At(std::size_t i) const { return m_table[i & (m_table.size() - 1)]; }

private:
    uint32_t Next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    uint32_t m_state;
    std::vector<double> m_table;
};

long ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

struct TBenchChart {
    TSession Session;
    TChart Chart;
    TAccelerometerSeries Series;

    TBenchChart()
    {
        Chart.resize(Width, Height);
        Series = ApplyAccelerometerChart(Chart, Session);
    }
};

const TSignal& SignalFor(int axis)
{
    static const TSignal axisSignals[3] = {TSignal(0x1234567), TSignal(0x89ABCDE), TSignal(0x5EED5EE)};
    return axisSignals[axis];
}

// Appends until every series holds target points, letting the event loop
// run (timers fire, the chart flushes and repaints) after every few
// thousand. Returns nanoseconds per Append, counting the time spent in
// Append; the redraws between batches are what render_ms measures.
double Fill(TBenchChart& bench, qint64 target)
{
    const qint64 start = bench.Series.Series1->Count();
    constexpr qint64 Batch = 4096;
    QElapsedTimer timer;
    qint64 ns = 0;
    for (qint64 i = start; i < target;) {
        const qint64 end = std::min(target, i + Batch);
        timer.start();
        for (; i < end; ++i) {
            const std::size_t k = std::size_t(i);
            // A read of 4096 bytes brings 1365 frames: the session keeps a
            // receive time per read, as it does from a fast port.
            if (k % 455 == 0)
                bench.Session.BeginRead(qint64(k) * 1'000'000);
            bench.Session.Append(axX, SignalFor(0).At(k));
            bench.Session.Append(axY, SignalFor(1).At(k));
            bench.Session.Append(axZ, SignalFor(2).At(k));
        }
        ns += timer.nsecsElapsed();
        QCoreApplication::processEvents();
    }
    return double(ns) / double(3 * (target - start));
}

// Median over rounds of: a few new points per series, then flush and
// repaint of the whole widget.
double RenderMs(TBenchChart& bench)
{
    QImage image(Width, Height, QImage::Format_ARGB32_Premultiplied);
    std::vector<double> times;
    const int rounds = qEnvironmentVariableIsSet("CHART_BENCH_RENDER_ROUNDS")
        ? std::max(1, qEnvironmentVariableIntValue("CHART_BENCH_RENDER_ROUNDS"))
        : 31;
    for (int round = 0; round < rounds; ++round) {
        Fill(bench, bench.Series.Series1->Count() + 5);
        QElapsedTimer timer;
        timer.start();
        bench.Chart.Flush();
        bench.Chart.QWidget::render(&image);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

long PixelDiff()
{
    TBenchChart reduced;
    TBenchChart full;
    full.Chart.SetReduction(false);
    Fill(reduced, 200000);
    Fill(full, 200000);
    const QImage a = reduced.Chart.Picture();
    const QImage b = full.Chart.Picture();
    long diff = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const uint32_t*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const uint32_t*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            diff += pa[x] != pb[x];
    }
    if (qEnvironmentVariableIsSet("CHART_BENCH_SAVE")) {
        a.save("/tmp/chart-bench-reduced.png");
        b.save("/tmp/chart-bench-full.png");
    }
    return diff;
}

double NaiveAppendNs()
{
    QChartView view;
    view.resize(Width, Height);
    view.setRenderHint(QPainter::Antialiasing, false);
    QChart* chart = view.chart();
    chart->setAnimationOptions(QChart::NoAnimation);
    auto* series = new QLineSeries;
    chart->addSeries(series);
    chart->createDefaultAxes();
    chart->axes(Qt::Horizontal).first()->setRange(0, 30000);
    chart->axes(Qt::Vertical).first()->setRange(0, 4095);
    QImage image(Width, Height, QImage::Format_ARGB32_Premultiplied);
    const TSignal& signal = SignalFor(0);
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 30000; ++i) {
        series->append(double(i), signal.At(std::size_t(i)));
        if ((i + 1) % 300 == 0)
            view.QWidget::render(&image);
    }
    return double(timer.nsecsElapsed()) / 30000.0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::printf("pixel_diff %ld\n", PixelDiff());
    std::fflush(stdout);
    {
        TBenchChart bench;
        bench.Chart.show();
        std::printf("append_ns_per_point_100k %.2f\n", Fill(bench, 100000));
        std::printf("render_ms_100k %.2f\n", RenderMs(bench));
        std::fflush(stdout);
    }
    if (!qEnvironmentVariableIsSet("CHART_BENCH_SKIP_NAIVE")) {
        std::printf("qtcharts_append_ns_per_point_30k %.0f\n", NaiveAppendNs());
        std::fflush(stdout);
    }
    {
        const long before = ResidentBytes();
        TBenchChart bench;
        bench.Chart.show();
        const double appendNs = Fill(bench, 10000000);
        const long after = ResidentBytes();
        std::printf("append_ns_per_point_10m %.2f\n", appendNs);
        std::printf("render_ms_10m %.2f\n", RenderMs(bench));
        std::printf("bytes_per_point_10m %.2f\n", double(after - before) / (3.0 * 10000000));
        if (qEnvironmentVariableIsSet("CHART_BENCH_SAVE"))
            bench.Chart.Picture().save("/tmp/chart-bench-10m.png");
    }
    return 0;
}
