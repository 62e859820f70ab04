// The "Análise" window over a live chart, offscreen: it analyses what the
// chart's view shows, follows it and the session's growth, leaves hidden
// axes out, computes spectra off the GUI thread with progress and cancel,
// and saves its chart. Also the worker on its own: cancel, then go on.
#include "accelerometer_chart.h"
#include "analysis_text.h"
#include "analysis_window.h"
#include "exception.h"
#include "range_stats.h"
#include "spectrum_job.h"
#include "spectrum_plot.h"
#include "tchart.h"

#include <QApplication>
#include <QAbstractAxis>
#include <QChart>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

const double Pi = std::acos(-1.0);

// Runs the event loop until done() holds, for at most timeoutMs.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(5);
    }
    return true;
}

// The device's stream: 320 frames per second over X, Y, Z in reads 16 ms
// apart. X a 10 Hz sine, Y a 4 Hz one, Z level with every 20th frame held.
class TDevice {
public:
    void Send(TSession& session, std::int64_t perAxis)
    {
        const std::int64_t end = m_frame + 3 * perAxis;
        while (m_frame < end) {
            session.BeginRead(m_read * 16'000'000 + 1);
            ++m_read;
            for (; m_frame < end && m_frame * 1000 < m_read * 16 * 320; ++m_frame) {
                const TAxis axis = TAxis(m_frame % 3);
                const double t = double(m_frame / 3) * 3 / 320;
                const double value = axis == axX   ? 2048 + 400 * std::sin(2 * Pi * 10 * t)
                                     : axis == axY ? 1500 + 100 * std::sin(2 * Pi * 4 * t)
                                                   : 2457;
                session.AppendReading(axis, std::round(value), m_frame % 20 != 2);
            }
        }
    }

private:
    std::int64_t m_frame = 0;
    std::int64_t m_read = 0;
};

struct TScene {
    TSession Session;
    TDevice Device;
    TChart Chart;

    explicit TScene(std::int64_t perAxis)
    {
        Device.Send(Session, perAxis);
        Chart.resize(800, 400);
        ApplyAccelerometerChart(Chart, Session);
        Chart.show();
        Chart.Flush();
    }
    ~TScene() { Chart.Watch(nullptr); }

    void Zoom(double minX, double maxX, bool following = false)
    {
        TChartView view = Chart.View();
        view.Whole = false;
        view.Following = following;
        view.MinX = minX;
        view.MaxX = maxX;
        Chart.SetView(view);
    }
};

using analysis_text::TStatRow;

TEST(AnalysisWindow, ShowsTheStatisticsAndSpectrumOfTheChartsView)
{
    TScene scene(20000);
    TAnalysisWindow window(scene.Chart, scene.Session);
    window.show();
    // At first the whole history.
    EXPECT_EQ(window.ShownStats(axX).Count, 20000);
    scene.Zoom(1000, 2999);
    for (int a = 0; a < AxisCount; ++a) {
        SCOPED_TRACE(a);
        const TAxis axis = TAxis(a);
        ASSERT_TRUE(window.AxisShown(axis));
        const TRangeStats want = ComputeStats(scene.Session, axis, 1000, 3000);
        const TRangeStats& got = window.ShownStats(axis);
        EXPECT_EQ(got.First, 1000);
        EXPECT_EQ(got.Last, 3000);
        EXPECT_EQ(got.Mean, want.Mean);
        EXPECT_EQ(got.StdDev, want.StdDev);
        EXPECT_EQ(got.Held, want.Held);
        // Written the Brazilian way.
        EXPECT_EQ(window.TableText(int(TStatRow::Points), axis), QStringLiteral("2.000"));
        EXPECT_EQ(window.TableText(int(TStatRow::Mean), axis), analysis_text::Number(want.Mean, 2));
        EXPECT_TRUE(window.TableText(int(TStatRow::Rate), axis).startsWith(QStringLiteral("106,")))
            << window.TableText(int(TStatRow::Rate), axis).toStdString();
    }
    EXPECT_EQ(window.TableText(int(TStatRow::Held), axZ), QStringLiteral("100 (5,00%)"));
    EXPECT_EQ(window.TableText(int(TStatRow::StdDev), axZ), QStringLiteral("0,00"));
    EXPECT_TRUE(window.RangeText().contains(QStringLiteral("1.000 a 2.999"))) << window.RangeText().toStdString();

    ASSERT_TRUE(WaitFor([&] { return !window.Computing() && window.ShownSpectrum(axX); }));
    const TSpectrum& x = *window.ShownSpectrum(axX);
    EXPECT_EQ(x.SegmentLength, spectrum::DefaultSegmentLength);
    EXPECT_TRUE(x.Rate.Hertz);
    EXPECT_NEAR(x.Peak.Frequency, 10, 0.05);
    EXPECT_NEAR(x.Peak.Amplitude, 400, 8);
    EXPECT_NEAR(window.ShownSpectrum(axY)->Peak.Frequency, 4, 0.05);
    EXPECT_EQ(window.TableText(int(TStatRow::Peak), axX), analysis_text::Frequency(x.Peak.Frequency, x.Rate));
    EXPECT_TRUE(window.TableText(int(TStatRow::Peak), axX).contains(QRegularExpression(QStringLiteral("^\\d+,\\d{3} Hz$"))))
        << window.TableText(int(TStatRow::Peak), axX).toStdString();
    EXPECT_EQ(window.Plot()->Curves().size(), 3u);
}

// With the chart in g, the window shows what the chart shows: each axis
// through its own calibration, the spectrum in g squared per hertz; back
// in counts, counts again.
TEST(AnalysisWindow, ShowsTheChartsValuesInG)
{
    TScene scene(20000);
    TAnalysisWindow window(scene.Chart, scene.Session);
    window.show();
    scene.Zoom(1000, 2999);
    TValueScale scale;
    scale.Maps = {{2048, 400}, {1500, -100}, {2048, 409}};
    scale.Unit = QStringLiteral("g");
    scale.Decimals = 3;
    scale.Step = 0.01;
    scene.Chart.SetValueScale(scale);
    for (int a = 0; a < AxisCount; ++a) {
        SCOPED_TRACE(a);
        const TRangeStats counts = ComputeStats(scene.Session, TAxis(a), 1000, 3000);
        const TRangeStats& got = window.ShownStats(TAxis(a));
        EXPECT_DOUBLE_EQ(got.Mean, scale.Map(a)(counts.Mean));
        EXPECT_DOUBLE_EQ(got.StdDev, counts.StdDev / std::fabs(scale.Map(a).PerUnit));
    }
    // Z lies level at 2457 counts: 1 g.
    EXPECT_EQ(window.TableText(int(TStatRow::Mean), axZ), QStringLiteral("1,0000 g"));
    EXPECT_EQ(window.TableText(int(TStatRow::Minimum), axZ), QStringLiteral("1,0000 g"));
    EXPECT_EQ(window.TableText(int(TStatRow::StdDev), axZ), QStringLiteral("0,0000 g"));
    EXPECT_EQ(window.TableText(int(TStatRow::Points), axZ), QStringLiteral("2.000"));
    // Y swings 100 counts about 1500 on a part upside down: 1 g, inverted.
    EXPECT_NEAR(window.ShownStats(axY).Maximum, 1, 1e-9);
    EXPECT_NEAR(window.ShownStats(axY).Minimum, -1, 1e-9);

    ASSERT_TRUE(WaitFor([&] { return !window.Computing() && window.ShownSpectrum(axX); }));
    EXPECT_NEAR(window.ShownSpectrum(axX)->Peak.Amplitude, 1, 0.02);
    EXPECT_NEAR(window.ShownSpectrum(axY)->Peak.Amplitude, 1, 0.02);
    EXPECT_TRUE(window.TableText(int(TStatRow::PeakAmplitude), axX).endsWith(QStringLiteral(" g")));
    auto titleY = [&] { return window.Plot()->chart()->axes(Qt::Vertical).first()->titleText(); };
    EXPECT_EQ(titleY(), QStringLiteral("Densidade espectral (dB re 1 g²/Hz)"));
    window.SetDecibels(false);
    EXPECT_EQ(titleY(), QStringLiteral("Densidade espectral (g²/Hz)"));

    scene.Chart.SetValueScale(TValueScale{});
    const TRangeStats counts = ComputeStats(scene.Session, axZ, 1000, 3000);
    EXPECT_EQ(window.ShownStats(axZ).Mean, counts.Mean);
    EXPECT_EQ(window.TableText(int(TStatRow::Mean), axZ), analysis_text::Number(counts.Mean, 2));
    ASSERT_TRUE(WaitFor([&] { return !window.Computing() && window.ShownSpectrum(axX); }));
    EXPECT_NEAR(window.ShownSpectrum(axX)->Peak.Amplitude, 400, 8);
    EXPECT_EQ(titleY(), QStringLiteral("Densidade espectral (contagem²/Hz)"));
}

TEST(AnalysisWindow, LeavesOutTheAxesHiddenInTheChart)
{
    TScene scene(5000);
    TAnalysisWindow window(scene.Chart, scene.Session);
    window.show();
    scene.Chart.SetSeriesVisible(1, false);
    EXPECT_TRUE(window.AxisShown(axX));
    EXPECT_FALSE(window.AxisShown(axY));
    EXPECT_TRUE(window.AxisShown(axZ));
    ASSERT_TRUE(WaitFor([&] { return !window.Computing() && window.ShownSpectrum(axX); }));
    EXPECT_EQ(window.ShownSpectrum(axY), nullptr);
    ASSERT_EQ(window.Plot()->Curves().size(), 2u);
    EXPECT_EQ(window.Plot()->Curves()[1].Title, QStringLiteral("Eixo Z"));

    for (int i = 0; i < 3; ++i)
        scene.Chart.SetSeriesVisible(i, false);
    ASSERT_TRUE(WaitFor([&] { return !window.Computing(); }));
    EXPECT_TRUE(window.Plot()->Curves().empty());
    EXPECT_TRUE(window.RangeText().contains(QStringLiteral("Nenhum eixo")));
}

// With X in seconds, the view is a range of times: each axis' points are
// those that arrived within it, whatever their positions.
TEST(AnalysisWindow, ViewInSecondsTakesThePointsThatArrivedWithinIt)
{
    TScene scene(6000);
    scene.Chart.SetSecondsAxis(true);
    TAnalysisWindow window(scene.Chart, scene.Session);
    window.show();
    scene.Zoom(10.0, 20.5);
    for (int a = 0; a < AxisCount; ++a) {
        SCOPED_TRACE(a);
        const TAxis axis = TAxis(a);
        std::int64_t first = -1, last = 0;
        for (std::int64_t i = 0; i < scene.Session.Count(axis); ++i) {
            const double t = double(scene.Session.TimeUs(axis, i)) / 1e6;
            if (t >= 10.0 && t <= 20.5) {
                first = first < 0 ? i : first;
                last = i + 1;
            }
        }
        ASSERT_GT(last, first);
        EXPECT_EQ(window.ShownStats(axis).First, first);
        EXPECT_EQ(window.ShownStats(axis).Last, last);
    }
    EXPECT_EQ(window.RangeText(), QStringLiteral("De 10,000 s a 20,500 s da sessão"));
}

// While the view follows the newest points, the statistics and the
// spectrum keep up with the session without any change of view.
TEST(AnalysisWindow, FollowsTheNewestPointsAsTheSessionGrows)
{
    TScene scene(6000);
    TAnalysisWindow window(scene.Chart, scene.Session);
    window.show();
    scene.Zoom(2000, 5999, true);
    ASSERT_TRUE(WaitFor([&] { return !window.Computing() && window.ShownSpectrum(axX); }));
    const std::int64_t segmentsBefore = window.ShownSpectrum(axX)->Segments;
    QSignalSpy refreshed(&window, &TAnalysisWindow::StatsRefreshed);
    for (int step = 0; step < 6; ++step) {
        scene.Device.Send(scene.Session, 500);
        const std::int64_t count = scene.Session.Count(axX);
        ASSERT_TRUE(WaitFor([&] { return window.ShownStats(axX).Last == count; }))
            << step << ": " << window.ShownStats(axX).First << ".." << window.ShownStats(axX).Last << " of " << count
            << ", view " << scene.Chart.View().MinX << ".." << scene.Chart.View().MaxX << " following "
            << scene.Chart.View().Following;
    }
    EXPECT_GE(refreshed.count(), 6);
    EXPECT_TRUE(window.RangeText().contains(QStringLiteral("acompanhando")));
    const TRangeStats& shown = window.ShownStats(axX);
    const TRangeStats want = ComputeStats(scene.Session, axX, shown.First, shown.Last);
    EXPECT_EQ(shown.Mean, want.Mean);
    EXPECT_GT(shown.First, 2000);  // the view slid
    // Segments came in and went out: the spectrum is of the range now.
    ASSERT_TRUE(WaitFor([&] {
        const TSpectrum* s = window.ShownSpectrum(axX);
        return !window.Computing() && s && s->Segments >= segmentsBefore;
    }));
    EXPECT_NEAR(window.ShownSpectrum(axX)->Peak.Frequency, 10, 0.05);
}

TEST(AnalysisWindow, SegmentLengthScaleAndReadout)
{
    TScene scene(30000);
    TAnalysisWindow window(scene.Chart, scene.Session);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(WaitFor([&] { return !window.Computing() && window.ShownSpectrum(axX); }));
    window.SetSegmentLength(4096);
    ASSERT_TRUE(WaitFor([&] {
        return !window.Computing() && window.ShownSpectrum(axX) && window.ShownSpectrum(axX)->SegmentLength == 4096;
    }));
    EXPECT_TRUE(window.StatusText().contains(QStringLiteral("4.096"))) << window.StatusText().toStdString();
    EXPECT_TRUE(window.StatusText().contains(QStringLiteral("pontos/s")));
    // Fewer points than the segment: the segment shrinks to fit.
    scene.Zoom(100, 2099);
    ASSERT_TRUE(WaitFor([&] {
        return !window.Computing() && window.ShownSpectrum(axX) && window.ShownSpectrum(axX)->SegmentLength == 1024;
    }));

    TSpectrumPlot& plot = *window.Plot();
    EXPECT_TRUE(plot.Decibels());
    window.SetDecibels(false);
    EXPECT_FALSE(plot.Decibels());
    QApplication::processEvents();
    // The readout: the density of every line at the frequency under the
    // mouse (moved as the system moves it: to the window on top there,
    // within the screen; the chart, a window of its own here, steps aside).
    scene.Chart.hide();
    window.setGeometry(QRect(0, 0, 780, 560));
    QApplication::processEvents();
    const QRectF area = plot.chart()->plotArea();
    const QPoint where = plot.mapFromScene(plot.chart()->mapToScene(area.center()));
    // From outside the plot (the cursor may be there already from before).
    QTest::mouseMove(plot.viewport(), QPoint(2, 2));
    EXPECT_TRUE(plot.ReadoutText().isEmpty());
    QTest::mouseMove(plot.viewport(), where);
    ASSERT_TRUE(WaitFor([&] { return !plot.ReadoutText().isEmpty(); }, 2000));
    EXPECT_TRUE(plot.ReadoutText().contains(QStringLiteral(" Hz — Eixo X: "))) << plot.ReadoutText().toStdString();
    EXPECT_TRUE(plot.ReadoutText().contains(QStringLiteral("Eixo Z: ")));
    // Many bins: at most two points per pixel column reach Qt Charts.
    scene.Chart.ShowAll();
    window.SetSegmentLength(65536);
    ASSERT_TRUE(WaitFor([&] { return !window.Computing() && window.ShownSpectrum(axX)->SegmentLength == 16384; }));
    // (Once the chart is laid out for the new labels.)
    EXPECT_TRUE(WaitFor([&] {
        return plot.DrawnPoints() <= 3 * 2 * qsizetype(plot.chart()->plotArea().width() + 1);
    }, 2000)) << plot.DrawnPoints() << " points for " << plot.chart()->plotArea().width() << " columns";
    EXPECT_GT(plot.DrawnPoints(), 3 * qsizetype(plot.chart()->plotArea().width() / 2));
}

TEST(AnalysisWindow, SavesItsChartAsPngOrSvg)
{
    TScene scene(5000);
    TAnalysisWindow window(scene.Chart, scene.Session);
    window.show();
    ASSERT_TRUE(WaitFor([&] { return !window.Computing() && window.ShownSpectrum(axX); }));
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("espectro.png"));
    const QString svg = dir.filePath(QStringLiteral("espectro.svg"));
    window.SetFileNameAsker([&](QWidget*) { return png; });
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->text() == QStringLiteral("Salvar imagem…"))
            QTest::mouseClick(button, Qt::LeftButton);
    }
    QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), window.Plot()->size());
    window.SaveImage(svg);
    QFile file(svg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("<svg"));
    // Drawn afresh at another size: its lines reach across it.
    window.SaveImage(png, QSize(1600, 900));
    const QImage large(png);
    ASSERT_EQ(large.size(), QSize(1600, 900));
    const QRgb white = qRgb(255, 255, 255);
    int coloured = 0;
    for (int x = 0; x < large.width(); x += 4) {
        for (int y = 0; y < large.height(); y += 4)
            coloured += large.pixel(x, y) != white && x > 1200;
    }
    EXPECT_GT(coloured, 100);
    EXPECT_THROW(window.SaveImage(png, QSize(10, 10)), Exception);
    // A folder that does not exist: the message names the file.
    const QString missing = dir.filePath(QStringLiteral("não/existe.png"));
    try {
        window.SaveImage(missing);
        ADD_FAILURE() << "no error for a missing folder";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("existe.png"), std::string::npos) << e.what();
    }
}

// One window per chart among the owner's children: opening again raises it;
// closed, it is gone; the owner deletes those left before its session goes.
TEST(AnalysisWindow, OpensOncePerChartAndClosesWithItsOwner)
{
    TScene scene(3000);
    QWidget owner;
    TAnalysisWindow* window = TAnalysisWindow::Open(scene.Chart, scene.Session, &owner);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isWindow());
    EXPECT_EQ(window->windowModality(), Qt::NonModal);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Análise"));
    EXPECT_EQ(TAnalysisWindow::Open(scene.Chart, scene.Session, &owner), window);
    QPointer<TAnalysisWindow> closed = window;
    window->close();
    ASSERT_TRUE(WaitFor([&] { return closed.isNull(); }));
    TAnalysisWindow* second = TAnalysisWindow::Open(scene.Chart, scene.Session, &owner);
    ASSERT_NE(second, nullptr);
    QPointer<TAnalysisWindow> open = second;
    TAnalysisWindow::CloseAll(&owner);
    EXPECT_TRUE(open.isNull());
}

// A range of millions of points: computed on the worker, the progress shows
// and the window goes on answering; "Cancelar" stops it.
TEST(AnalysisWindow, LargeRangesShowProgressAndCanBeCancelled)
{
    TScene scene(4'000'000);
    TAnalysisWindow window(scene.Chart, scene.Session);
    // Shown at once, so that the test does not depend on how fast this
    // machine is: the computation takes a good part of a second.
    window.SetProgressDelay(0);
    window.SetSegmentLength(65536);
    window.show();
    ASSERT_TRUE(WaitFor([&] { return window.ProgressShown(); }));
    EXPECT_TRUE(window.StatusText().contains(QStringLiteral("Calculando")));
    QPushButton* cancel = nullptr;
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->text() == QStringLiteral("Cancelar"))
            cancel = button;
    }
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !window.Computing(); }));
    EXPECT_FALSE(window.ProgressShown());
    EXPECT_TRUE(window.StatusText().contains(QStringLiteral("cancelado"))) << window.StatusText().toStdString();
    // The session's growth does not start it again; a change of view does.
    scene.Device.Send(scene.Session, 1000);
    QTest::qWait(3 * TAnalysisWindow::RefreshIntervalMs);
    EXPECT_FALSE(window.Computing());
    scene.Zoom(0, 99999);
    ASSERT_TRUE(WaitFor([&] { return !window.Computing() && window.ShownSpectrum(axX); }));
    EXPECT_EQ(window.ShownSpectrum(axX)->SegmentLength, 65536);
}

// The worker alone: a request cancelled as soon as it was sent (waiting or
// just begun) is told as cancelled, never as finished; a request sent
// again gives the spectrum a single computation gives.
TEST(SpectrumWorker, CancelledRequestIsToldAndTheNextGoesOn)
{
    TSampleStore store;
    for (int i = 0; i < 6'000'000; ++i)
        store.Append(float(2048 + std::lround(300 * std::sin(0.05 * i))));
    TSpectrumRequest request;
    request.Id = 1;
    request.Axes.push_back({0, store.Snapshot(), TSpectrumRange{0, store.Count(), 65536, false}, 2048.0, TSampleRate()});
    TSpectrumWorker worker;
    QSignalSpy finished(&worker, &TSpectrumWorker::Finished);
    QSignalSpy cancelled(&worker, &TSpectrumWorker::Cancelled);
    worker.Submit(request, false);
    worker.Cancel();
    ASSERT_TRUE(WaitFor([&] { return cancelled.count() == 1 && !worker.Busy(); }));
    EXPECT_EQ(cancelled.at(0).at(0).value<quint64>(), 1u);
    // A request replaced while it waits is told too.
    request.Id = 2;
    worker.Submit(request, false);
    request.Id = 3;
    worker.Submit(request, true);
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1 && !worker.Busy(); }));
    QApplication::processEvents();
    ASSERT_EQ(cancelled.count(), 2);
    EXPECT_EQ(cancelled.at(1).at(0).value<quint64>(), 2u);
    const auto result = finished.at(0).at(0).value<std::shared_ptr<const TSpectrumResult>>();
    ASSERT_EQ(result->Id, 3u);
    ASSERT_EQ(result->Axes.size(), 1u);
    const TSpectrum want = WelchSpectrum(store.Snapshot(), 0, store.Count(), 65536, 2048.0, TSampleRate());
    const TSpectrum& got = result->Axes[0].Spectrum;
    ASSERT_EQ(got.Segments, want.Segments);
    EXPECT_NEAR(got.Peak.Frequency, want.Peak.Frequency, 1e-9);
    EXPECT_NEAR(got.Power(), want.Power(), 1e-5 * want.Power());
    EXPECT_FALSE(worker.Busy());
}

}  // namespace
