// Benchmark of the live chart. Prints one "name value" line per figure:
//   append_ns_per_point_100k, append_ns_per_point_10m   cost of one Append
//       while filling the three series (redraws run from the event loop as
//       in the program)
//   render_ms_100k, render_ms_10m   median time to bring new points to the
//       screen: flush plus a repaint of the whole widget at 1600x1000
//   bytes_per_point_10m   growth of the resident set per point held, from
//       2 to 10 million points per series (what the chart keeps whatever
//       the number of points is left out)
//   qtcharts_append_ns_per_point_30k   QLineSeries::append per point up to
//       30k points, repainting every 300 points (the naive way)
//   pixel_diff   pixels by which the reduced drawing differs from a
//       drawing of every point (200k noisy points per series)
//   zoom_pixel_diff   the same summed over random views, from about 1,000
//       points wide to everything, some with the left axis zoomed too
//       (1M points per series)
//   zoom_ms_100m   median time of a view change at a random view from about
//       1,000 points wide to the whole history: reduction, replace and a
//       repaint of the whole widget at 1600x1000 (100M points per series)
//   bytes_per_point_100m   growth of the resident set per point held, for
//       100M points per series
//   zoom_pixel_diff_time, zoom_ms_100m_time   the same as zoom_pixel_diff
//       and zoom_ms_100m with X in seconds, over points that arrived as
//       from a port at 115200 baud: reads of 1 to 100 frames, each stamped
//       a little after its last byte, and the port closed a dozen times
//       for a second to an hour
//   bytes_per_point_100m_time   bytes_per_point_100m for those points, with
//       the time of every frame
// Runs offscreen unless a platform is set. CHART_BENCH_SAVE=1 also saves the
// pictures compared for pixel_diff under /tmp; CHART_BENCH_SKIP_NAIVE=1
// skips the slow naive measurement; CHART_BENCH_RENDER_ROUNDS=N repaints N
// times instead of 31 (for profiling the repaint); CHART_BENCH_SKIP_100M=1
// skips the 100M measurements (about 1.3 GB); CHART_BENCH_ZOOM_ONLY=N
// measures only the view changes, over N points per series, and
// CHART_BENCH_ZOOM_ROUNDS=N makes N of them instead of 25 (for profiling);
// CHART_BENCH_ZOOM_TIME=1 makes those in seconds; CHART_BENCH_TIME_PIXELS=1
// measures only zoom_pixel_diff_time.

#include "accelerometer_chart.h"
#include "plotdata/column_reduction.h"
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
#include <array>
#include <cmath>
#include <random>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <malloc.h>
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

// Memory held: heap freed by the redraws is handed back first, so that
// what remains is what the points keep.
long ResidentBytes()
{
    malloc_trim(0);
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

// Appends without letting the event loop run: the chart redraws once,
// when asked.
void FillQuietly(TBenchChart& bench, qint64 target)
{
    for (qint64 i = bench.Series.Series1->Count(); i < target; ++i) {
        const std::size_t k = std::size_t(i);
        if (k % 455 == 0)
            bench.Session.BeginRead(qint64(k) * 1'000'000);
        bench.Session.Append(axX, SignalFor(0).At(k));
        bench.Session.Append(axY, SignalFor(1).At(k));
        bench.Session.Append(axZ, SignalFor(2).At(k));
    }
}

// Frames as a port at 115200 baud delivers them: the bytes at the line's
// rate, in reads of 1 to 100 frames and a part of the next, each stamped
// between 0.1 and 1.1 ms after its last byte; and the port closed Gaps
// times, evenly over target frames, for a second to an hour.
class TTimedFeed {
public:
    static constexpr int Gaps = 12;
    static constexpr TLineTiming Line{20, 115200};

    // Gaps of a second to longestGap seconds.
    TTimedFeed(qint64 pointsPerSeries, double longestGap) : m_frames(3 * pointsPerSeries)
    {
        std::mt19937 rng(31);
        for (auto& read : m_reads)
            read = {int(1 + rng() % 100), int(rng() % 3), 100 + int(rng() % 1000)};
        for (int g = 0; g < Gaps; ++g)
            m_gapSeconds[g] = std::pow(longestGap, double(rng() % 1000) / 1000.0);
    }

    // Appends until the session holds frames, or target points per series.
    void Fill(TSession& session, qint64 pointsPerSeries)
    {
        const qint64 target = 3 * pointsPerSeries;
        const double frameUs = 1e6 * 30 / 115200.0;
        const double byteUs = frameUs / 3;
        if (m_frame == 0)
            session.MarkOpening(0, Line);
        while (m_frame < target) {
            const qint64 gapAt = (m_gap + 1) * m_frames / (Gaps + 1);
            if (m_gap < Gaps && m_frame >= gapAt) {
                // The port closed and opened again.
                m_startUs += m_gapSeconds[m_gap] * 1e6;
                ++m_gap;
                session.MarkOpening(qint64(m_startUs * 1000), Line);
            }
            const TRead& read = m_reads[std::size_t(m_read++ % m_reads.size())];
            const qint64 frames = std::min<qint64>(read.Frames, target - m_frame);
            // The bytes of this read: the rest of a frame begun in the last
            // one, whole frames, and the start of the next.
            const double lastByteUs = m_startUs + double(m_frame + frames) * frameUs + read.Partial * byteUs;
            session.BeginRead(qint64((lastByteUs + read.LateUs) * 1000));
            for (qint64 j = 0; j < frames; ++j, ++m_frame) {
                const std::size_t k = std::size_t(m_frame / 3);
                const int axis = int(m_frame % 3);
                session.AppendFrame(TAxis(axis), SignalFor(axis).At(k), true, int(3 * (frames - 1 - j) + read.Partial));
            }
        }
    }

    // The time of the last frame, in seconds.
    double Seconds(const TSession& session) const
    {
        return SecondsOf(session.Log().TimeUs(session.FrameCount() - 1));
    }

private:
    struct TRead {
        int Frames;
        int Partial;
        int LateUs;
    };
    qint64 m_frames;
    std::array<TRead, 4093> m_reads{};
    double m_gapSeconds[Gaps] = {};
    qint64 m_frame = 0;
    qint64 m_read = 0;
    int m_gap = 0;
    double m_startUs = 0;
};

// A random view of a history of count points: widths log-uniform from
// about 1,000 points to everything, anywhere in it.
TChartView RandomView(std::mt19937& rng, qint64 count, bool zoomY)
{
    std::uniform_real_distribution<double> unit(0, 1);
    const double width = 1000 * std::pow(double(count) / 1000, unit(rng));
    TChartView view;
    view.Whole = width >= double(count);
    view.MinX = unit(rng) * (double(count) - width);
    view.MaxX = view.MinX + width;
    if (zoomY) {
        view.ZoomedY = true;
        view.MinY = 1000 + 1500 * unit(rng);
        view.MaxY = view.MinY + 20 + 800 * unit(rng);
    }
    return view;
}

long Differences(const QImage& a, const QImage& b)
{
    long diff = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const uint32_t*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const uint32_t*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            diff += pa[x] != pb[x];
    }
    return diff;
}

// A random view in seconds of a history lasting seconds, of count points:
// widths log-uniform from about 1,000 points' time to everything.
TChartView RandomTimeView(std::mt19937& rng, qint64 count, double seconds, bool zoomY)
{
    TChartView view = RandomView(rng, count, zoomY);
    view.Seconds = true;
    const double scale = seconds / double(count);
    view.MinX *= scale;
    view.MaxX *= scale;
    return view;
}

long ZoomPixelDiffTime()
{
    TBenchChart reduced;
    TBenchChart full;
    full.Chart.SetReduction(false);
    constexpr qint64 Count = 1000000;
    // Gaps short enough not to take most of the time of a million points.
    TTimedFeed feedReduced(Count, 60);
    TTimedFeed feedFull(Count, 60);
    feedReduced.Fill(reduced.Session, Count);
    feedFull.Fill(full.Session, Count);
    const double seconds = feedReduced.Seconds(reduced.Session);
    std::mt19937 rng(2025);
    long diff = 0;
    for (int round = 0; round < 16; ++round) {
        const TChartView view = RandomTimeView(rng, Count, seconds, round % 3 == 2);
        reduced.Chart.SetView(view);
        full.Chart.SetView(view);
        const QImage a = reduced.Chart.Picture();
        const QImage b = full.Chart.Picture();
        diff += Differences(a, b);
        if (qEnvironmentVariableIsSet("CHART_BENCH_SAVE")) {
            a.save(QString("/tmp/chart-bench-time-%1-reduced.png").arg(round));
            b.save(QString("/tmp/chart-bench-time-%1-full.png").arg(round));
        }
    }
    return diff;
}

long ZoomPixelDiff()
{
    TBenchChart reduced;
    TBenchChart full;
    full.Chart.SetReduction(false);
    FillQuietly(reduced, 1000000);
    FillQuietly(full, 1000000);
    std::mt19937 rng(2024);
    long diff = 0;
    for (int round = 0; round < 12; ++round) {
        const TChartView view = RandomView(rng, 1000000, round % 3 == 2);
        reduced.Chart.SetView(view);
        full.Chart.SetView(view);
        const QImage a = reduced.Chart.Picture();
        const QImage b = full.Chart.Picture();
        diff += Differences(a, b);
        if (qEnvironmentVariableIsSet("CHART_BENCH_SAVE")) {
            a.save(QString("/tmp/chart-bench-zoom-%1-reduced.png").arg(round));
            b.save(QString("/tmp/chart-bench-zoom-%1-full.png").arg(round));
        }
    }
    return diff;
}

// Median over random views of: set the view, then repaint the whole widget.
// seconds > 0: views in seconds of a history that long.
double ZoomMs(TBenchChart& bench, qint64 count, double seconds = 0)
{
    QImage image(Width, Height, QImage::Format_ARGB32_Premultiplied);
    std::mt19937 rng(77);
    std::vector<double> times;
    const int rounds = qEnvironmentVariableIsSet("CHART_BENCH_ZOOM_ROUNDS")
        ? std::max(1, qEnvironmentVariableIntValue("CHART_BENCH_ZOOM_ROUNDS"))
        : 25;
    for (int round = 0; round < rounds; ++round) {
        const TChartView view = seconds > 0 ? RandomTimeView(rng, count, seconds, false) : RandomView(rng, count, false);
        QElapsedTimer timer;
        timer.start();
        bench.Chart.SetView(view);
        bench.Chart.QWidget::render(&image);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
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

    if (qEnvironmentVariableIsSet("CHART_BENCH_ZOOM_ONLY")) {
        // Profiling: only the view changes, over the given number of points.
        const qint64 count = qEnvironmentVariableIntValue("CHART_BENCH_ZOOM_ONLY");
        TBenchChart bench;
        bench.Chart.show();
        if (qEnvironmentVariableIsSet("CHART_BENCH_ZOOM_TIME")) {
            TTimedFeed feed(count, 3600);
            feed.Fill(bench.Session, count);
            bench.Chart.Flush();
            std::printf("zoom_ms_time %.2f\n", ZoomMs(bench, count, feed.Seconds(bench.Session)));
            return 0;
        }
        FillQuietly(bench, count);
        bench.Chart.Flush();
        std::printf("zoom_ms %.2f\n", ZoomMs(bench, count));
        return 0;
    }
    if (qEnvironmentVariableIsSet("CHART_BENCH_TIME_PIXELS")) {
        // Only the pictures in seconds.
        std::printf("zoom_pixel_diff_time %ld\n", ZoomPixelDiffTime());
        return 0;
    }
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
        // Growth per point held, between 2 and 10 million points per
        // series: what the chart keeps whatever the number of points (its
        // widgets, Qt Charts' shapes of the drawn lines) is not part of it.
        TBenchChart bench;
        bench.Chart.show();
        constexpr qint64 Early = 2000000;
        const double earlyNs = Fill(bench, Early);
        const long before = ResidentBytes();
        const double lateNs = Fill(bench, 10000000);
        const long after = ResidentBytes();
        const double appendNs = (earlyNs * double(Early) + lateNs * double(10000000 - Early)) / 10000000.0;
        std::printf("append_ns_per_point_10m %.2f\n", appendNs);
        std::printf("render_ms_10m %.2f\n", RenderMs(bench));
        std::printf("bytes_per_point_10m %.2f\n", double(after - before) / (3.0 * double(10000000 - Early)));
        if (qEnvironmentVariableIsSet("CHART_BENCH_SAVE"))
            bench.Chart.Picture().save("/tmp/chart-bench-10m.png");
    }
    std::printf("zoom_pixel_diff %ld\n", ZoomPixelDiff());
    std::fflush(stdout);
    std::printf("zoom_pixel_diff_time %ld\n", ZoomPixelDiffTime());
    std::fflush(stdout);
    if (!qEnvironmentVariableIsSet("CHART_BENCH_SKIP_100M")) {
        TBenchChart bench;
        bench.Chart.show();
        FillQuietly(bench, 10000000);
        const long before = ResidentBytes();
        FillQuietly(bench, 100000000);
        const long after = ResidentBytes();
        bench.Chart.Flush();
        std::printf("zoom_ms_100m %.2f\n", ZoomMs(bench, 100000000));
        std::printf("bytes_per_point_100m %.2f\n", double(after - before) / (3.0 * 90000000));
        std::fflush(stdout);
    }
    if (!qEnvironmentVariableIsSet("CHART_BENCH_SKIP_100M")) {
        TBenchChart bench;
        bench.Chart.show();
        TTimedFeed feed(100000000, 3600);
        feed.Fill(bench.Session, 10000000);
        const long before = ResidentBytes();
        feed.Fill(bench.Session, 100000000);
        const long after = ResidentBytes();
        bench.Chart.Flush();
        std::printf("zoom_ms_100m_time %.2f\n", ZoomMs(bench, 100000000, feed.Seconds(bench.Session)));
        std::printf("bytes_per_point_100m_time %.2f\n", double(after - before) / (3.0 * 90000000));
    }
    return 0;
}
