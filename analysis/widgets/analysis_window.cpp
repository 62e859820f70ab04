#include "analysis_window.h"

#include "analysis_text.h"
#include "format/brazilian.h"
#include "sample_rate.h"
#include "seconds_x.h"
#include "spectrum_job.h"
#include "spectrum_plot.h"
#include "stats_grid.h"
#include "tchart.h"
#include "value_units.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using analysis_text::TStatRow;

namespace {

QString DefaultFileName(QWidget* parent)
{
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Salvar imagem do espectro"),
                                        QDir::home().filePath(QStringLiteral("espectro.png")),
                                        QStringLiteral("Imagem PNG (*.png);;Imagem SVG (*.svg)"));
}

}  // namespace

TAnalysisWindow::TAnalysisWindow(TChart& chart, const TSession& session, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_chart(&chart),
      m_session(session),
      m_worker(std::make_unique<TSpectrumWorker>(this)),
      m_askFileName(DefaultFileName)
{
    setWindowTitle(QStringLiteral("Análise"));
    BuildUi();
    connect(&chart, &TChart::ViewChanged, this, &TAnalysisWindow::OnViewChanged);
    connect(m_worker.get(), &TSpectrumWorker::Finished, this, &TAnalysisWindow::ShowSpectrum);
    connect(m_worker.get(), &TSpectrumWorker::Cancelled, this, [this](quint64 id) {
        if (id != m_lastId)
            return;  // replaced by a newer request
        m_inFlight = false;
        ShowProgress(false);
        if (m_cancelled)
            SetStatus(QStringLiteral("Cálculo do espectro cancelado. Mude a vista ou o segmento para calcular de novo."));
    });
    connect(m_worker.get(), &TSpectrumWorker::Progress, this, [this](quint64 id, double fraction) {
        if (id == m_lastId)
            m_progress->setValue(int(std::lround(1000 * fraction)));
    });
    m_tick.setTimerType(Qt::PreciseTimer);
    m_tick.setInterval(RefreshIntervalMs);
    connect(&m_tick, &QTimer::timeout, this, &TAnalysisWindow::OnTick);
    m_progressDelay.setSingleShot(true);
    m_progressDelay.setInterval(ProgressDelayMs);
    connect(&m_progressDelay, &QTimer::timeout, this, [this] { ShowProgress(m_inFlight); });
    Refresh();
}

TAnalysisWindow::~TAnalysisWindow() = default;

TAnalysisWindow* TAnalysisWindow::Open(TChart& chart, const TSession& session, QWidget* owner)
{
    for (TAnalysisWindow* window : owner->findChildren<TAnalysisWindow*>(Qt::FindDirectChildrenOnly)) {
        if (window->m_chart == &chart) {
            window->show();
            window->raise();
            window->activateWindow();
            return window;
        }
    }
    auto* window = new TAnalysisWindow(chart, session, owner);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}

void TAnalysisWindow::CloseAll(QWidget* owner)
{
    qDeleteAll(owner->findChildren<TAnalysisWindow*>(Qt::FindDirectChildrenOnly));
}

void TAnalysisWindow::BuildUi()
{
    QStringList rows;
    for (int row = 0; row < int(TStatRow::Count); ++row)
        rows << analysis_text::RowTitle(TStatRow(row));
    m_grid = new TStatsGrid(rows, AxisCount, this);

    m_segment = new QComboBox(this);
    for (int length = spectrum::MinSegmentLength; length <= spectrum::MaxSegmentLength; length *= 2)
        m_segment->addItem(FormatCount(std::uint64_t(length)), length);
    m_segment->setCurrentIndex(m_segment->findData(spectrum::DefaultSegmentLength));
    m_segment->setToolTip(QStringLiteral("Pontos por segmento do método de Welch (janela de Hann, 50% de sobreposição)"));
    m_scale = new QComboBox(this);
    m_scale->addItem(QStringLiteral("dB"));
    m_scale->addItem(QStringLiteral("Linear"));
    m_save = new QPushButton(QStringLiteral("Salvar imagem…"), this);
    m_plot = new TSpectrumPlot(this);
    m_readout = new QLabel(this);
    m_readout->setMinimumHeight(m_readout->fontMetrics().height());
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_cancel = new QPushButton(QStringLiteral("Cancelar"), this);
    m_progress->hide();
    m_cancel->hide();

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Segmento (pontos):"), this));
    controls->addWidget(m_segment);
    controls->addSpacing(12);
    controls->addWidget(new QLabel(QStringLiteral("Escala:"), this));
    controls->addWidget(m_scale);
    controls->addStretch(1);
    controls->addWidget(m_save);

    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(m_status, 1);
    statusRow->addWidget(m_progress);
    statusRow->addWidget(m_cancel);

    auto* spectrumPanel = new QWidget(this);
    auto* spectrumLayout = new QVBoxLayout(spectrumPanel);
    spectrumLayout->setContentsMargins(0, 0, 0, 0);
    spectrumLayout->addLayout(controls);
    spectrumLayout->addWidget(m_plot, 1);
    spectrumLayout->addWidget(m_readout);
    spectrumLayout->addLayout(statusRow);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(m_grid);
    splitter->addWidget(spectrumPanel);
    splitter->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    resize(1100, 620);

    connect(m_segment, &QComboBox::currentIndexChanged, this, &TAnalysisWindow::OnSettingsChanged);
    connect(m_scale, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_plot->SetDecibels(index == 0); });
    connect(m_save, &QPushButton::clicked, this, &TAnalysisWindow::AskAndSaveImage);
    connect(m_cancel, &QPushButton::clicked, this, &TAnalysisWindow::CancelSpectrum);
    connect(m_plot, &TSpectrumPlot::ReadoutChanged, m_readout, &QLabel::setText);
}

void TAnalysisWindow::SetProgressDelay(int ms)
{
    m_progressDelay.setInterval(ms);
}

void TAnalysisWindow::SetSegmentLength(int length)
{
    const int index = m_segment->findData(SegmentLengthFor(length, spectrum::MaxSegmentLength));
    m_segment->setCurrentIndex(index);
}

int TAnalysisWindow::SegmentLength() const
{
    return m_segment->currentData().toInt();
}

void TAnalysisWindow::SetDecibels(bool decibels)
{
    m_scale->setCurrentIndex(decibels ? 0 : 1);
}

bool TAnalysisWindow::Decibels() const
{
    return m_plot->Decibels();
}

bool TAnalysisWindow::ReadView()
{
    bool changed = false;
    TChartView view;
    if (m_chart)
        view = m_chart->View();
    m_whole = m_chart && view.Whole;
    m_following = m_chart && !view.Whole && view.Following;
    const TValueScale scale = m_chart ? m_chart->ValueScale() : TValueScale();
    changed = changed || scale.Unit != m_unit;
    m_unit = scale.Unit;
    m_seconds = m_chart && view.Seconds;
    m_minSeconds = view.MinX;
    m_maxSeconds = view.MaxX;
    for (int a = 0; a < AxisCount; ++a) {
        TAxisState& axis = m_axes[std::size_t(a)];
        const TSampleStore& values = m_session.Values(TAxis(a));
        int series = -1;
        for (int i = 0; m_chart && i < m_chart->SeriesCount(); ++i) {
            if (&m_chart->Series(i)->Store() == &values)
                series = i;
        }
        const bool shown = series >= 0 && !(std::size_t(series) < view.Hidden.size() && view.Hidden[std::size_t(series)]);
        const std::int64_t count = values.Count();
        std::int64_t first = 0, last = count;
        PointsOfView(m_session, TAxis(a), view, first, last);
        const TValueMap map = scale.Map(series);
        if (series >= 0) {
            axis.Title = m_chart->Series(series)->Title();
            axis.Color = m_chart->Series(series)->Color();
        }
        changed = changed || shown != axis.Shown || first != axis.First || last != axis.Last || map != axis.Map;
        axis.Map = map;
        axis.Shown = shown;
        axis.First = first;
        axis.Last = last;
        m_seenCounts[a] = count;
    }
    return changed;
}

bool TAnalysisWindow::Moving() const
{
    return m_whole || m_following;
}

void TAnalysisWindow::RefreshStats()
{
    int shownAxes = 0;
    for (int a = 0; a < AxisCount; ++a) {
        TAxisState& axis = m_axes[std::size_t(a)];
        m_grid->SetColumn(a, axis.Title, axis.Shown);
        if (!axis.Shown)
            continue;
        ++shownAxes;
        axis.Stats = ComputeStats(m_session, TAxis(a), axis.First, axis.Last);
        axis.InUnit = ::InUnit(axis.Stats, axis.Map);
        axis.Rate = MeasureSampleRate(m_session, TAxis(a), axis.First, axis.Last);
        for (int row = 0; row < int(TStatRow::Count); ++row) {
            const TStatRow r = TStatRow(row);
            m_grid->SetText(row, a, (r == TStatRow::Peak || r == TStatRow::PeakAmplitude)
                                        ? analysis_text::PeakText(r, ShownSpectrum(TAxis(a)), m_unit)
                                        : analysis_text::StatText(r, axis.InUnit, axis.Rate, m_unit));
        }
    }
    QString range;
    if (shownAxes == 0) {
        range = QStringLiteral("Nenhum eixo visível no gráfico.");
    } else {
        std::int64_t first = -1, last = 0;
        for (const TAxisState& axis : m_axes) {
            if (axis.Shown) {
                first = first < 0 ? axis.First : std::min(first, axis.First);
                last = std::max(last, axis.Last);
            }
        }
        // While the range moves, a caption that stays put: redrawing it at
        // every refresh would cost more than the statistics.
        if (last <= first)
            range = QStringLiteral("Nenhum ponto na vista");
        else if (m_whole)
            range = QStringLiteral("Todo o histórico, acompanhando os pontos que chegam");
        else if (m_following)
            range = QStringLiteral("Os pontos mais novos, acompanhando os que chegam");
        else if (m_seconds)
            range = QStringLiteral("De %1 a %2 da sessão")
                        .arg(FormatDuration(std::int64_t(std::llround(m_minSeconds * 1e6))),
                             FormatDuration(std::int64_t(std::llround(m_maxSeconds * 1e6))));
        else
            range = QStringLiteral("Pontos de %1 a %2 (%3 pontos)")
                        .arg(FormatCount(std::uint64_t(first)), FormatCount(std::uint64_t(last - 1)),
                             FormatCount(std::uint64_t(last - first)));
    }
    m_grid->SetCaption(range);
    emit StatsRefreshed();
}

void TAnalysisWindow::RequestSpectrum(bool force)
{
    if (m_cancelled && !force)
        return;
    TSpectrumRequest request;
    bool same = true;
    std::vector<TSpectrumRange> ranges(AxisCount);
    for (int a = 0; a < AxisCount; ++a) {
        TAxisState& axis = m_axes[std::size_t(a)];
        TSpectrumRange range{axis.First, axis.Last, SegmentLength(), Moving()};
        ranges[std::size_t(a)] = range;
        const bool wasShown = axis.Requested.has_value();
        if (wasShown != axis.Shown || (axis.Shown && !(PlanSegments(range) == PlanSegments(*axis.Requested))))
            same = false;
    }
    if (same && !force)
        return;
    if (m_inFlight && !force) {
        m_dirty = true;
        return;
    }
    request.Id = ++m_lastId;
    for (int a = 0; a < AxisCount; ++a) {
        TAxisState& axis = m_axes[std::size_t(a)];
        if (!axis.Shown) {
            axis.Requested.reset();
            continue;
        }
        axis.Requested = ranges[std::size_t(a)];
        request.Axes.push_back({a, m_session.Values(TAxis(a)).Snapshot(), ranges[std::size_t(a)],
                                axis.Stats.Count > 0 ? axis.Stats.Mean : 0.0, axis.Rate});
    }
    m_dirty = false;
    m_cancelled = false;
    if (request.Axes.empty()) {
        m_worker->Cancel();
        m_inFlight = false;
        ShowProgress(false);
        for (TAxisState& axis : m_axes)
            axis.Spectrum.reset();
        m_plot->SetCurves({});
        SetStatus(QStringLiteral("Nenhum eixo visível: mostre um eixo no gráfico para ver o seu espectro."));
        return;
    }
    m_inFlight = true;
    m_worker->Submit(std::move(request), force);
    if (!m_progress->isVisible())
        m_progressDelay.start();
}

void TAnalysisWindow::ShowSpectrum(const std::shared_ptr<const TSpectrumResult>& result)
{
    if (result->Id != m_lastId)
        return;  // a newer request is on its way
    m_inFlight = false;
    m_progressDelay.stop();
    ShowProgress(false);
    for (TAxisState& axis : m_axes)
        axis.Spectrum.reset();
    std::vector<TSpectrumPlot::TCurve> curves;
    QStringList lengths;
    bool tooShort = false;
    for (const auto& part : result->Axes) {
        TAxisState& axis = m_axes[std::size_t(part.Axis)];
        // Computed in counts: shown in the unit of now.
        axis.Spectrum = ::InUnit(part.Spectrum, axis.Map);
        if (part.Spectrum.Empty()) {
            tooShort = true;
            continue;
        }
        curves.push_back({axis.Title, axis.Color, *axis.Spectrum});
        lengths << QStringLiteral("%1: segmento de %2 pontos, %3 segmentos, taxa %4")
                       .arg(axis.Title, FormatCount(std::uint64_t(part.Spectrum.SegmentLength)),
                            FormatCount(std::uint64_t(part.Spectrum.Segments)), analysis_text::Rate(part.Spectrum.Rate));
    }
    m_plot->SetUnit(m_unit);
    m_plot->SetCurves(std::move(curves));
    QString status = lengths.join(QStringLiteral(" · "));
    if (tooShort)
        status += (status.isEmpty() ? QString() : QStringLiteral(" · "))
                  + QStringLiteral("pontos de menos na vista para um espectro (são precisos %1)")
                        .arg(spectrum::SmallestSegment);
    SetStatus(status);
    for (int a = 0; a < AxisCount; ++a) {
        for (const TStatRow row : {TStatRow::Peak, TStatRow::PeakAmplitude})
            m_grid->SetText(int(row), a, analysis_text::PeakText(row, ShownSpectrum(TAxis(a)), m_unit));
    }
    emit SpectrumShown();
    if (m_dirty)
        RequestSpectrum(false);
}

const TSpectrum* TAnalysisWindow::ShownSpectrum(TAxis axis) const
{
    const TAxisState& state = m_axes[axis];
    return state.Shown && state.Spectrum ? &*state.Spectrum : nullptr;
}

QString TAnalysisWindow::TableText(int row, TAxis axis) const
{
    return m_grid->Text(row, axis);
}

QString TAnalysisWindow::RangeText() const
{
    return m_grid->Caption();
}

QString TAnalysisWindow::StatusText() const
{
    return m_status->text();
}

bool TAnalysisWindow::Computing() const
{
    return m_inFlight || m_dirty;
}

bool TAnalysisWindow::ProgressShown() const
{
    return !m_progress->isHidden();
}

void TAnalysisWindow::ShowProgress(bool shown)
{
    if (shown) {
        m_progress->setValue(0);
        SetStatus(QStringLiteral("Calculando o espectro…"));
    }
    m_progress->setVisible(shown);
    m_cancel->setVisible(shown);
}

void TAnalysisWindow::SetStatus(const QString& text)
{
    if (m_status->text() != text)
        m_status->setText(text);
}

void TAnalysisWindow::Refresh()
{
    m_cancelled = false;
    ReadView();
    UpdateTimer();
    RefreshStats();
    RequestSpectrum(true);
}

void TAnalysisWindow::CancelSpectrum()
{
    if (!m_inFlight && !m_dirty)
        return;
    m_cancelled = true;
    m_dirty = false;
    m_worker->Cancel();
    // Told back by Cancelled, or by Finished when it was done already.
}

void TAnalysisWindow::UpdateTimer()
{
    // Points can come into the range only where it reaches the newest.
    bool openEnded = false;
    for (int a = 0; a < AxisCount; ++a)
        openEnded = openEnded || (m_axes[std::size_t(a)].Shown && m_axes[std::size_t(a)].Last == m_seenCounts[a]);
    const bool wanted = isVisible() && (Moving() || openEnded);
    if (wanted && !m_tick.isActive())
        m_tick.start();
    else if (!wanted)
        m_tick.stop();
}

void TAnalysisWindow::OnTick()
{
    // The chart slides a following view when it redraws, a little after
    // the points arrive: the view is read again at every tick.
    bool grew = false;
    for (int a = 0; a < AxisCount; ++a)
        grew = grew || m_session.Count(TAxis(a)) != m_seenCounts[a];
    const bool moved = ReadView();
    if (!grew && !moved)
        return;
    UpdateTimer();
    RefreshStats();
    RequestSpectrum(false);
}

void TAnalysisWindow::OnViewChanged()
{
    m_cancelled = false;
    ReadView();
    UpdateTimer();
    RefreshStats();
    RequestSpectrum(true);
}

void TAnalysisWindow::OnSettingsChanged()
{
    m_cancelled = false;
    RequestSpectrum(true);
}

void TAnalysisWindow::SetFileNameAsker(std::function<QString(QWidget*)> asker)
{
    m_askFileName = std::move(asker);
}

void TAnalysisWindow::SaveImage(const QString& path, QSize size)
{
    m_plot->SaveImage(path, size);
}

void TAnalysisWindow::AskAndSaveImage()
{
    const QString path = m_askFileName ? m_askFileName(this) : QString();
    if (path.isEmpty())
        return;
    try {
        SaveImage(path);
    } catch (const std::exception& e) {
        QMessageBox::warning(this, QStringLiteral("Salvar imagem"), QString::fromStdString(e.what()));
    }
}

void TAnalysisWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    OnTick();
    UpdateTimer();
}

void TAnalysisWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    UpdateTimer();
}
