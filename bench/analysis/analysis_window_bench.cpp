// The Análise window over a live chart, offscreen.
//   window_cpu_percent_follow   processor time the window adds, in percent
//       of one core, while the chart follows the newest 20,000 points and
//       the session grows at 320 frames per second: the median over 7 turns
//       of 4 s shown against 4 s hidden
//   window_cpu_percent_whole   the same for the whole history, 1 million
//       points per axis and growing
//   window_gui_cpu_percent_follow   of which on the GUI thread, in the
//       events of the window's objects (painting included)
//   window_refreshes_per_s   statistics refreshes per second meanwhile
//   chart_max_stall_ms   the longest the event loop went without turning
//       (beyond a 5 ms timer's period) with the chart alone showing 10
//       million points per axis and growing, for comparison
//   window_max_stall_ms   the same from the opening of the window until it
//       has the spectrum of those points (segment 65,536)
//   window_following_max_stall_ms   the same over 3 s after that
//   window_max_event_ms   the longest the window kept the GUI thread in one
//       event meanwhile (a result shown, a refresh, a repaint)
#include "accelerometer_chart.h"
#include "analysis_window.h"
#include "session.h"
#include "tchart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The device: 320 frames per second, delivered every 16 ms.
class TDevice {
public:
    explicit TDevice(TSession& session) : m_session(session) {}
    void Send(std::int64_t frames)
    {
        m_session.BeginRead(m_clockNs);
        for (std::int64_t i = 0; i < frames; ++i, ++m_frame) {
            const TAxis axis = TAxis(m_frame % 3);
            const double t = double(m_frame / 3) * 3 / 320;
            m_session.AppendReading(axis, std::round(2048 + 300 * std::sin(2 * 3.14159265 * (5 + axis) * t)),
                                    m_frame % 40 != 1);
        }
    }
    void Preload(std::int64_t perAxis)
    {
        for (std::int64_t read = 0; read < perAxis * 3 / 5; ++read) {
            m_clockNs += 15'625'000;
            Send(5);
        }
    }
    void Tick()
    {
        m_clockNs += 16'000'000;
        m_owed += 320.0 * 0.016;
        const auto frames = std::int64_t(m_owed);
        m_owed -= double(frames);
        Send(frames);
    }

private:
    TSession& m_session;
    std::int64_t m_frame = 0;
    std::int64_t m_clockNs = 1;
    double m_owed = 0;
};

// Runs the event loop for ms, idle between events.
void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct TScene {
    TSession Session;
    TDevice Device{Session};
    TChart Chart;
    QTimer Feed;

    explicit TScene(std::int64_t preload)
    {
        Device.Preload(preload);
        Chart.resize(1200, 600);
        ApplyAccelerometerChart(Chart, Session);
        Chart.show();
        Feed.setTimerType(Qt::PreciseTimer);
        Feed.setInterval(16);
        QObject::connect(&Feed, &QTimer::timeout, &Feed, [this] { Device.Tick(); });
        Feed.start();
    }
    ~TScene() { Chart.Watch(nullptr); }
};

// The processor time of the GUI thread spent on events of one window's
// objects (its widgets, timers, worker notices), painting included.
class TMeteredApplication : public QApplication {
public:
    using QApplication::QApplication;
    QObject* Metered = nullptr;
    double Seconds = 0;
    double MaxEventMs = 0;  // the longest single event, wall time

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (!Metered || m_depth > 0 || !Within(receiver))
            return QApplication::notify(receiver, event);
        ++m_depth;
        const double start = ThreadSeconds();
        QElapsedTimer wall;
        wall.start();
        const bool result = QApplication::notify(receiver, event);
        Seconds += ThreadSeconds() - start;
        MaxEventMs = std::max(MaxEventMs, double(wall.nsecsElapsed()) / 1e6);
        --m_depth;
        return result;
    }

private:
    static double ThreadSeconds()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    }
    bool Within(QObject* object) const
    {
        for (; object; object = object->parent())
            if (object == Metered)
                return true;
        return false;
    }
    int m_depth = 0;
};

TMeteredApplication* App()
{
    return static_cast<TMeteredApplication*>(qApp);
}

// Processor time over ms, in percent of a core.
double CpuPercent(int ms)
{
    const double before = CpuSeconds();
    RunFor(ms);
    return 100 * (CpuSeconds() - before) / (ms / 1000.0);
}

void Cpu(const char* name, std::int64_t preload, bool following)
{
    TScene scene(preload);
    if (following) {
        TChartView view = scene.Chart.View();
        view.Whole = false;
        view.Following = true;
        view.MaxX = double(scene.Session.Count(axZ) - 1);
        view.MinX = view.MaxX - 20000;
        scene.Chart.SetView(view);
    }
    TAnalysisWindow window(scene.Chart, scene.Session);
    int refreshes = 0;
    QObject::connect(&window, &TAnalysisWindow::StatsRefreshed, &window, [&] { ++refreshes; });
    window.show();
    RunFor(3000);  // the first spectrum
    // In turns, shown (refreshing) and hidden (idle), so that both see the
    // same load of the machine: the median of the differences.
    std::vector<double> added, gui;
    for (int turn = 0; turn < 7; ++turn) {
        window.hide();
        const double without = CpuPercent(4000);
        window.show();
        RunFor(500);
        refreshes = 0;
        App()->Metered = &window;
        App()->Seconds = 0;
        const double with = CpuPercent(4000);
        gui.push_back(100 * App()->Seconds / 4.0);
        App()->Metered = nullptr;
        added.push_back(with - without);
    }
    std::sort(added.begin(), added.end());
    std::printf("window_cpu_percent_%s %.2f\n", name, added[added.size() / 2]);
    std::sort(gui.begin(), gui.end());
    std::printf("window_gui_cpu_percent_%s %.2f\n", name, gui[gui.size() / 2]);
    std::printf("window_refreshes_per_s_%s %.1f\n", name, refreshes / 4.0);
    std::fflush(stdout);
}

// The longest gap beyond its period of a 5 ms timer over ms, with
// whatever runs.
double MaxStallMs(int ms, const std::function<bool()>& busy = {})
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    double worst = 0;
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, double(now - last) / 1e6 - 5);
        last = now;
    });
    watch.start();
    RunFor(ms);
    while (busy && busy())
        RunFor(50);
    return worst;
}

void Stall()
{
    TScene scene(10'000'000);
    RunFor(1000);
    std::printf("chart_max_stall_ms %.1f\n", MaxStallMs(3000));
    TAnalysisWindow window(scene.Chart, scene.Session);
    window.SetSegmentLength(65536);
    App()->Metered = &window;
    App()->MaxEventMs = 0;
    window.show();
    std::printf("window_max_stall_ms %.1f\n", MaxStallMs(500, [&] { return window.Computing(); }));
    std::printf("window_following_max_stall_ms %.1f\n", MaxStallMs(3000));
    std::printf("window_max_event_ms %.1f\n", App()->MaxEventMs);
    App()->Metered = nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TMeteredApplication app(argc, argv);
    Cpu("follow", 100'000, true);
    if (qEnvironmentVariableIsSet("ONLY_FOLLOW")) return 0;
    Cpu("whole", 1'000'000, false);
    Stall();
    return 0;
}
