#include "data_actions.h"

#include "chart_image.h"
#include "data_jobs.h"
#include "file_save.h"
#include "session_export.h"
#include "tchart.h"

#include <QAction>
#include <QFileInfo>
#include <QProgressDialog>
#include <QWidget>

namespace {

// An export that takes longer than this shows its progress.
constexpr int ProgressShowMs = 300;

}  // namespace

TDataActions::TDataActions(QWidget& window, TDataJobs& jobs, TSession& session, const TChart& chart,
                           TReporter report, TSource source)
    : m_window(window),
      m_jobs(jobs),
      m_session(session),
      m_chart(chart),
      m_report(std::move(report)),
      m_dialogs(DefaultDataDialogs()),
      m_source(source),
      m_record(new QAction(QStringLiteral("Gravar…"), &window)),
      m_stopRecording(new QAction(QStringLiteral("Parar gravação"), &window)),
      m_exportData(new QAction(QStringLiteral("Exportar dados…"), &window)),
      m_saveImage(new QAction(QStringLiteral("Salvar imagem…"), &window))
{
    m_record->setObjectName(QStringLiteral("RecordAction"));
    m_stopRecording->setObjectName(QStringLiteral("StopRecordingAction"));
    m_exportData->setObjectName(QStringLiteral("ExportAction"));
    m_saveImage->setObjectName(QStringLiteral("SaveImageAction"));
    m_record->setToolTip(QStringLiteral("Grava em um arquivo CSV cada ponto que chegar daqui em diante"));
    m_exportData->setToolTip(source == TSource::Live
                                 ? QStringLiteral("Salva em um arquivo CSV todos os pontos recebidos até agora")
                                 : QStringLiteral("Salva em um arquivo CSV todos os pontos mostrados"));
    m_saveImage->setToolTip(QStringLiteral("Salva o gráfico como imagem PNG ou SVG"));

    connect(m_record, &QAction::triggered, this, [this] { RunReported(m_report, [this] { RecordTriggered(); }); });
    connect(m_stopRecording, &QAction::triggered, this,
            [this] { RunReported(m_report, [this] { m_jobs.StopRecording(); }); });
    connect(m_exportData, &QAction::triggered, this, [this] { RunReported(m_report, [this] { ExportTriggered(); }); });
    connect(m_saveImage, &QAction::triggered, this, [this] { RunReported(m_report, [this] { ImageTriggered(); }); });

    connect(&m_jobs, &TDataJobs::recordingStateChanged, this, &TDataActions::UpdateActions);
    connect(&m_jobs, &TDataJobs::exportEnded, this, &TDataActions::EndProgress);
    UpdateActions();
}

TDataActions::~TDataActions() = default;

QList<QAction*> TDataActions::Actions() const
{
    if (m_source == TSource::Stored)
        return {m_exportData, m_saveImage};
    return {m_record, m_stopRecording, m_exportData, m_saveImage};
}

void TDataActions::HoldExport(bool hold)
{
    m_exportHeld = hold;
    UpdateActions();
}

void TDataActions::UpdateActions()
{
    m_record->setEnabled(m_source == TSource::Live && !m_jobs.IsRecording());
    m_stopRecording->setEnabled(m_jobs.IsRecording());
    m_exportData->setEnabled(!m_jobs.Export() && !m_exportHeld);
}

void TDataActions::RecordTriggered()
{
    if (m_source != TSource::Live)
        return;
    const QString path = m_dialogs.FileName(&m_window, TFileKind::Recording);
    if (!path.isEmpty())
        m_jobs.StartRecording(path);
}

void TDataActions::StartExport(const QString& path, TExportFormat format)
{
    if (m_jobs.Export() || m_exportHeld)
        return;
    m_jobs.StartExport(path, format);
    TSessionExport* job = m_jobs.Export();
    auto* progress = new QProgressDialog(QStringLiteral("Exportando os dados para %1…").arg(QFileInfo(path).fileName()),
                                         QStringLiteral("Cancelar"), 0, 1000, &m_window);
    progress->setWindowTitle(QStringLiteral("Exportar dados"));
    // Not modal: the window stays usable while the export runs, and a
    // modal progress dialog would run the event loop inside every update.
    progress->setWindowModality(Qt::NonModal);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(ProgressShowMs);
    progress->setValue(0);
    m_progress = progress;
    connect(job, &TSessionExport::progress, progress, [progress, path](int permille) {
        progress->setValue(permille);
        if (permille == progress->maximum())
            progress->setLabelText(QStringLiteral("Gravando %1 no disco…").arg(QFileInfo(path).fileName()));
    });
    connect(progress, &QProgressDialog::canceled, &m_jobs, &TDataJobs::CancelExport);
    UpdateActions();
}

void TDataActions::EndProgress()
{
    if (m_progress) {
        m_progress->disconnect(&m_jobs);
        m_progress->hide();
        m_progress->deleteLater();
    }
    UpdateActions();
}

void TDataActions::ExportTriggered()
{
    const TExportChoice choice = m_dialogs.ExportFile ? m_dialogs.ExportFile(&m_window)
                                                      : TExportChoice{m_dialogs.FileName(&m_window, TFileKind::Export)};
    if (!choice.Path.isEmpty())
        StartExport(choice.Path, choice.Format);
}

void TDataActions::SaveImage(const QString& path, QSize size)
{
    m_jobs.CheckNotInUse(path);
    const QByteArray bytes = DrawChartImage(m_chart, m_session, path, size);
    StartFileSave(path, std::string_view(bytes.constData(), std::size_t(bytes.size())), *this, m_report);
}

void TDataActions::ImageTriggered()
{
    const QString path = m_dialogs.FileName(&m_window, TFileKind::Image);
    if (path.isEmpty())
        return;
    const QSize size = m_dialogs.ImageSize(&m_window, m_chart.size());
    if (size.isValid())
        SaveImage(path, size);
}
