#pragma once
// The "Análise" window: what the chart shows, analysed. For each axis the
// chart shows (its series not hidden), the statistics of the points in
// view (stats_grid.h) and their spectrum (Welch, spectrum_plot.h),
// with a choice of segment length (256 to 65,536) and of dB or linear, the
// sample rate used and each axis' peak.
//
// Values are in the unit the chart shows them in (its value scale: counts,
// or g through each axis' calibration), the spectrum in that unit squared
// per Hz; the figures are worked out in counts and then mapped.
//
// It follows the chart: a view the user sets is analysed at once; a view
// that follows the newest points (or the whole history) is analysed again
// as the session grows, about 10 times a second for the statistics, which
// cost O(log N) whatever the range, and for the spectrum only when a
// segment came into the range or left it (spectrum_tracker.h), so that
// following costs next to nothing. Spectra are computed on a thread of
// their own (spectrum_job.h): the window shows their progress when they
// take a while, with a button that cancels them, and never waits for them.
//
// Non-modal. The chart and the session must outlive the window; the window
// reads the session on its own thread, and lets the worker read it only
// through snapshots of values already written.

#include "range_stats.h"
#include "session.h"
#include "spectrum.h"
#include "spectrum_tracker.h"
#include "value_map.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class TChart;
class TSpectrumPlot;
class TSpectrumWorker;
class TStatsGrid;
struct TSpectrumResult;

class TAnalysisWindow : public QWidget {
    Q_OBJECT
public:
    // A window of its own (Qt::Window) over parent; shown by the caller.
    TAnalysisWindow(TChart& chart, const TSession& session, QWidget* parent = nullptr);
    ~TAnalysisWindow() override;

    // Shows the analysis of chart: raises the window open for it among
    // owner's children, or makes one (deleted when closed). The session
    // must outlive owner's children, or owner must delete the window first.
    static TAnalysisWindow* Open(TChart& chart, const TSession& session, QWidget* owner);
    // Deletes the windows Open made for owner, waiting for their spectra to
    // stop: for owner's destructor while the session is still there.
    static void CloseAll(QWidget* owner);

    // The spectrum's segment length, chosen (a power of two, 256..65,536);
    // a range shorter than it gets a shorter one.
    void SetSegmentLength(int length);
    int SegmentLength() const;
    void SetDecibels(bool decibels);
    bool Decibels() const;

    // Analyses the chart's view again now, as on a change of view.
    void Refresh();
    // Cancels the spectrum being computed; it is computed again on the
    // next change of view or settings, or on Refresh.
    void CancelSpectrum();
    // Saves the spectrum chart as PNG, or SVG when path ends in ".svg", at
    // size (as shown when not valid). Throws Exception naming the file and
    // the reason.
    void SaveImage(const QString& path, QSize size = QSize());
    // What "Salvar imagem…" asks for the file (by default a file dialog);
    // an empty name gives up.
    void SetFileNameAsker(std::function<QString(QWidget* parent)> asker);

    // What the window shows, per axis, in the chart's unit.
    bool AxisShown(TAxis axis) const { return m_axes[axis].Shown; }
    const TRangeStats& ShownStats(TAxis axis) const { return m_axes[axis].InUnit; }
    // The spectrum shown, nullptr when none (yet).
    const TSpectrum* ShownSpectrum(TAxis axis) const;
    // The statistics' text for a row (analysis_text.h's TStatRow) and axis.
    QString TableText(int row, TAxis axis) const;
    QString RangeText() const;
    QString StatusText() const;
    // A spectrum is being computed or waits to be.
    bool Computing() const;
    bool ProgressShown() const;
    TSpectrumPlot* Plot() const { return m_plot; }

    // The refresh interval while the view follows the session: a little
    // over 10 refreshes a second.
    static constexpr int RefreshIntervalMs = 95;
    // A computation running longer than this shows its progress (by
    // default; SetProgressDelay changes it).
    static constexpr int ProgressDelayMs = 150;
    void SetProgressDelay(int ms);

signals:
    // The statistics shown were brought up to date.
    void StatsRefreshed();
    // A new spectrum is shown.
    void SpectrumShown();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct TAxisState {
        bool Shown = false;
        std::int64_t First = 0;
        std::int64_t Last = 0;
        TRangeStats Stats;   // in counts
        TRangeStats InUnit;  // as shown
        TValueMap Map;       // from counts to what is shown
        TSampleRate Rate;
        std::optional<TSpectrumRange> Requested;  // the last range sent for a spectrum
        std::optional<TSpectrum> Spectrum;        // the last computed
        QString Title;
        QColor Color;
    };

    void BuildUi();
    // Reads the chart's view: which axes show, and their ranges. True when
    // anything changed.
    bool ReadView();
    bool Moving() const;
    void RefreshStats();
    // Sends the visible axes' ranges for their spectra. force: even when
    // their segments are those sent before, cancelling what runs.
    void RequestSpectrum(bool force);
    void ShowSpectrum(const std::shared_ptr<const TSpectrumResult>& result);
    void ShowProgress(bool shown);
    void UpdateTimer();
    void OnTick();
    void OnViewChanged();
    void OnSettingsChanged();
    void AskAndSaveImage();
    void SetStatus(const QString& text);

    QPointer<TChart> m_chart;
    const TSession& m_session;
    std::array<TAxisState, AxisCount> m_axes;
    std::int64_t m_seenCounts[AxisCount] = {};
    QString m_unit;  // empty: counts
    bool m_following = false;
    bool m_whole = false;
    // X in seconds: the view's range of times, for its caption.
    bool m_seconds = false;
    double m_minSeconds = 0;
    double m_maxSeconds = 0;

    std::unique_ptr<TSpectrumWorker> m_worker;
    std::uint64_t m_lastId = 0;
    bool m_inFlight = false;    // the last request is being computed
    bool m_dirty = false;       // a request waits for the worker to be free
    bool m_cancelled = false;   // the user cancelled: no requests until a change
    // Children too, so that what they run counts as the window's.
    QTimer m_tick{this};
    QTimer m_progressDelay{this};
    std::function<QString(QWidget*)> m_askFileName;

    TStatsGrid* m_grid = nullptr;  // the statistics, under the range's caption
    QComboBox* m_segment = nullptr;
    QComboBox* m_scale = nullptr;
    QPushButton* m_save = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_cancel = nullptr;
    QLabel* m_status = nullptr;
    TSpectrumPlot* m_plot = nullptr;
    QLabel* m_readout = nullptr;
};
