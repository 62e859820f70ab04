#include "data_actions.h"

#include "chart_image.h"
#include "exception.h"
#include "session_export.h"
#include "tapplication.h"
#include "tchart.h"

#include <QAction>
#include <QFileInfo>
#include <QProgressDialog>
#include <QWidget>

namespace {

// An export that takes longer than this shows its progress.
constexpr int ProgressShowMs = 300;

// True when the two names are one file (or would be, once created).
bool SameFile(const QString& a, const QString& b)
{
    const auto canonical = [](const QString& path) {
        const QFileInfo info(path);
        const QString resolved = info.canonicalFilePath();
        return resolved.isEmpty() ? info.absoluteFilePath() : resolved;
    };
    return canonical(a) == canonical(b);
}

// A file being written by one action must not be replaced by another: the
// recording would go on into a file that no longer has a name, or the
// export would end by putting its rows over the recording.
void CheckNotInUse(const QString& path, const QString& busy, const char* what)
{
    if (!busy.isEmpty() && SameFile(path, busy))
        throw Exception(QStringLiteral("Não foi possível usar o arquivo \"%1\": %2 está sendo feita nele.")
                            .arg(path, QString::fromUtf8(what))
                            .toStdString());
}

}  // namespace

TDataActions::TDataActions(QWidget& window, TSession& session, const TChart& chart)
    : m_window(window),
      m_session(session),
      m_chart(chart),
      m_dialogs(DefaultDataDialogs()),
      m_recorder(session),
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
    m_exportData->setToolTip(QStringLiteral("Salva em um arquivo CSV todos os pontos recebidos até agora"));
    m_saveImage->setToolTip(QStringLiteral("Salva o gráfico como imagem PNG ou SVG"));

    connect(m_record, &QAction::triggered, this, [this] { RunGuarded([this] { RecordTriggered(); }); });
    connect(m_stopRecording, &QAction::triggered, this, [this] { RunGuarded([this] { StopRecording(); }); });
    connect(m_exportData, &QAction::triggered, this, [this] { RunGuarded([this] { ExportTriggered(); }); });
    connect(m_saveImage, &QAction::triggered, this, [this] { RunGuarded([this] { ImageTriggered(); }); });

    connect(&m_recorder, &TRecorder::stateChanged, this, [this](const TRecordingState& state) {
        UpdateActions();
        emit recordingStateChanged(state);
    });
    connect(&m_recorder, &TRecorder::failed, this, [](const QString& message) {
        if (Application)
            Application->ShowException(message);
    });
    UpdateActions();
}

TDataActions::~TDataActions()
{
    if (m_export)
        m_export->Cancel();
}

QList<QAction*> TDataActions::Actions() const
{
    return {m_record, m_stopRecording, m_exportData, m_saveImage};
}

void TDataActions::UpdateActions()
{
    m_record->setEnabled(!m_recorder.Active());
    m_stopRecording->setEnabled(m_recorder.Active());
    m_exportData->setEnabled(!m_export);
}

void TDataActions::StartRecording(const QString& path)
{
    if (m_export)
        CheckNotInUse(path, m_export->Path(), "uma exportação");
    m_recorder.Start(path);
}

void TDataActions::StopRecording()
{
    m_recorder.Stop();
}

void TDataActions::RecordTriggered()
{
    const QString path = m_dialogs.FileName(&m_window, TFileKind::Recording);
    if (!path.isEmpty())
        StartRecording(path);
}

void TDataActions::StartExport(const QString& path)
{
    if (m_export)
        return;
    if (m_recorder.Active())
        CheckNotInUse(path, m_recorder.State().Path, "a gravação");
    m_export = std::make_unique<TSessionExport>(m_session, path);
    TSessionExport* job = m_export.get();
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
    connect(progress, &QProgressDialog::canceled, this, &TDataActions::CancelExport);
    connect(job, &TSessionExport::succeeded, this, &TDataActions::EndExport);
    connect(job, &TSessionExport::failed, this, [this](const QString& message) {
        EndExport();
        if (Application)
            Application->ShowException(message);
    });
    UpdateActions();
    job->Start();
}

void TDataActions::CancelExport()
{
    if (!m_export)
        return;
    m_export->Cancel();
    EndExport();
}

void TDataActions::EndExport()
{
    // The export may be inside its own signal: it goes once that returns.
    if (m_export) {
        m_export->disconnect(this);
        m_export.release()->deleteLater();
    }
    if (m_progress) {
        m_progress->disconnect(this);
        m_progress->hide();
        m_progress->deleteLater();
    }
    UpdateActions();
}

void TDataActions::ExportTriggered()
{
    const QString path = m_dialogs.FileName(&m_window, TFileKind::Export);
    if (!path.isEmpty())
        StartExport(path);
}

void TDataActions::SaveImage(const QString& path, QSize size)
{
    if (m_recorder.Active())
        CheckNotInUse(path, m_recorder.State().Path, "a gravação");
    if (m_export)
        CheckNotInUse(path, m_export->Path(), "uma exportação");
    SaveChartImage(m_chart, m_session, path, size);
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

void TDataActions::Shutdown()
{
    CancelExport();
    StopRecording();
}
