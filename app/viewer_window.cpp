#include "viewer_window.h"

#include "analysis_action.h"

#include "accelerometer_chart.h"
#include "calibration_actions.h"
#include "data_actions.h"
#include "data_jobs.h"
#include "format/brazilian.h"
#include "recording_load.h"
#include "session.h"
#include "tchart.h"
#include "window_look.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Large enough for the chart's full look (chart_look.h).
constexpr QSize DefaultSize(800, 520);

}  // namespace

TViewerWindow::TViewerWindow(const QString& path, TReporter report, TLoadOptions options)
    : QWidget(nullptr),
      m_path(path),
      m_report(std::move(report)),
      m_session(std::make_unique<TSession>())
{
    // The file first: a file that is not a recording leaves no window.
    m_load = std::make_unique<TRecordingLoad>(path, *m_session, std::move(options));

    setObjectName(QStringLiteral("ViewerWindow"));
    setAttribute(Qt::WA_QuitOnClose, false);
    ApplyWindowLook(*this);

    Chart1 = new TChart(this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setFocusPolicy(Qt::ClickFocus);
    const TAccelerometerSeries series = ApplyAccelerometerChart(*Chart1, *m_session);
    Series1 = series.Series1;
    Series2 = series.Series2;
    Series3 = series.Series3;

    m_statusRow = new QWidget(this);
    StatusLine = new QLabel(m_statusRow);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusLine->setWordWrap(true);
    StatusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LoadProgress = new QProgressBar(m_statusRow);
    LoadProgress->setObjectName(QStringLiteral("LoadProgress"));
    LoadProgress->setRange(0, 1000);
    LoadProgress->setValue(0);
    LoadProgress->setFixedWidth(140);
    CancelButton = new QPushButton(QStringLiteral("Cancelar"), m_statusRow);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setToolTip(QStringLiteral("Para a leitura; o que já foi lido fica no gráfico"));
    auto* row = new QHBoxLayout(m_statusRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(StatusLine, 1);
    row->addWidget(LoadProgress);
    row->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 6);
    layout->addWidget(Chart1, 1);
    layout->addWidget(m_statusRow);
    resize(DefaultSize);

    m_jobs = std::make_unique<TDataJobs>(*m_session, m_report);
    m_data = std::make_unique<TDataActions>(*this, *m_jobs, *m_session, *Chart1, m_report,
                                            TDataActions::TSource::Stored);
    // Exported now, the file would hold only what has been read yet.
    m_data->HoldExport(true);
    AddChartMenuActions(m_data->Actions());
    // Its actions go in the menu after those of the owner of the viewers.
    m_calibration = std::make_unique<TCalibrationActions>(*this, *Chart1, *m_session, *m_jobs, m_report);

    connect(m_load.get(), &TRecordingLoad::progress, this, &TViewerWindow::ShowProgress);
    connect(m_load.get(), &TRecordingLoad::finished, this, &TViewerWindow::LoadFinished);
    connect(CancelButton, &QPushButton::clicked, this, &TViewerWindow::CancelLoad);
    connect(m_jobs.get(), &TDataJobs::exportSaved, this, [this](const QString& file, std::uint64_t rows) {
        ShowNotice(QStringLiteral("Exportação salva: %1, %2 linhas").arg(QFileInfo(file).fileName(), FormatCount(rows)));
    });
    connect(m_jobs.get(), &TDataJobs::exportFailed, this, [this](const QString& file) {
        ShowNotice(QStringLiteral("A exportação para %1 falhou.").arg(QFileInfo(file).fileName()));
    });
    connect(m_calibration.get(), &TCalibrationActions::saved, this, [this](const QString& file) {
        ShowNotice(QStringLiteral("Calibração salva: %1").arg(QFileInfo(file).fileName()));
    });
    connect(Chart1->FullScreenAction(), &QAction::toggled, this, &TViewerWindow::ShowChartAlone);
    UpdateTitle();
    StatusLine->setText(QStringLiteral("Lendo %1…").arg(FileName()));
}

TViewerWindow::~TViewerWindow()
{
    // The readers of the session first: the analysis windows, the load's
    // workers, the jobs, then the chart, which would draw it.
    CloseAnalysis(*this);
    m_calibration.reset();
    m_load.reset();
    m_data.reset();
    m_jobs.reset();
    Chart1->Watch(nullptr);
    delete Chart1;
    Chart1 = nullptr;
}

void TViewerWindow::StartLoad()
{
    if (m_load && m_result.Status == TLoadStatus::Loading)
        m_load->Start();
}

void TViewerWindow::CancelLoad()
{
    if (!m_load)
        return;
    m_load->Cancel();  // no signal follows
    LoadFinished();
}

QString TViewerWindow::FileName() const
{
    return QFileInfo(m_path).fileName();
}

void TViewerWindow::UpdateTitle()
{
    const QString partial = m_result.Partial() ? QStringLiteral(" (parcial)") : QString();
    setWindowTitle(QStringLiteral("%1%2 — Acelerômetro").arg(FileName(), partial));
}

void TViewerWindow::ShowProgress(qint64 rows, int permille)
{
    StatusLine->setText(QStringLiteral("Lendo %1: %2 pontos (%3%)")
                            .arg(FileName(), FormatCount(std::uint64_t(rows)))
                            .arg(permille / 10));
    LoadProgress->setValue(permille);
}

void TViewerWindow::LoadFinished()
{
    if (!m_load)
        return;
    m_result = m_load->Result();
    // The file's mapping and the parsed slices go now; the load may be
    // inside its own signal.
    m_load->disconnect(this);
    m_load.release()->deleteLater();

    LoadProgress->hide();
    CancelButton->hide();
    m_data->HoldExport(false);
    UpdateTitle();

    const QString message = QString::fromStdString(m_result.Message);
    QString summary = QStringLiteral("%1 pontos de %2").arg(FormatCount(m_result.Rows), FileName());
    if (m_session->FrameCount() > 0) {
        const std::int64_t lastUs = m_session->Log().TimeUs(m_session->FrameCount() - 1);
        summary += QStringLiteral(", %1 de gravação").arg(FormatDuration(lastUs));
    }
    summary += QLatin1Char('.');
    if (m_result.Partial())
        m_summary = QStringLiteral("Parcial: %1 %2").arg(summary, message);
    else
        m_summary = message.isEmpty() ? summary : summary + QLatin1Char(' ') + message;
    StatusLine->setText(m_summary);

    // What stopped the reading is worth a message of its own; a cut last
    // line (a recording that was interrupted) or the user's own cancel is
    // not. It is shown once this window's code has returned (the message
    // box runs the event loop, in which the window may be closed), unless
    // the window goes first.
    if (m_result.Partial() && m_result.Status != TLoadStatus::Cancelled && m_report) {
        const TReporter report = m_report;
        const std::string text = m_result.Message;
        QTimer::singleShot(0, this, [report, text] { report(text); });
    }
    emit loadEnded();
}

void TViewerWindow::ShowNotice(const QString& notice)
{
    StatusLine->setText(notice);
    QTimer::singleShot(NoticeMs, this, [this, notice] {
        // Unless something newer is said meanwhile.
        if (StatusLine->text() == notice)
            StatusLine->setText(m_summary);
    });
}

QList<QAction*> TViewerWindow::DataActions() const
{
    return m_data->Actions();
}

void TViewerWindow::SetDataDialogs(TDataDialogs dialogs)
{
    m_data->SetDialogs(std::move(dialogs));
}

void TViewerWindow::AddChartMenuActions(const QList<QAction*>& actions)
{
    QList<QAction*> group;
    if (m_actionGroups++ > 0) {
        auto* separator = new QAction(this);
        separator->setSeparator(true);
        group << separator;
    }
    Chart1->AddMenuActions(group + actions);
    addActions(actions);
}

void TViewerWindow::ShowChartAlone(bool alone)
{
    if (alone == m_chartAlone)
        return;
    m_chartAlone = alone;
    Chart1->FullScreenAction()->setChecked(alone);
    m_statusRow->setVisible(!alone);
    if (alone) {
        layout()->setContentsMargins(0, 0, 0, 0);
        m_wasMaximized = isMaximized();
        showFullScreen();
        Chart1->setFocus(Qt::OtherFocusReason);
    } else {
        layout()->setContentsMargins(8, 8, 8, 6);
        if (m_wasMaximized)
            showMaximized();
        else
            showNormal();
    }
}

void TViewerWindow::closeEvent(QCloseEvent* event)
{
    if (m_load)
        CancelLoad();
    // A running export is cancelled, as when the main window closes.
    RunReported(m_report, [this] { m_jobs->Shutdown(); });
    QWidget::closeEvent(event);
    emit closed();
}
