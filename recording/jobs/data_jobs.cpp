#include "data_jobs.h"

#include "exception.h"
#include "session_export.h"


namespace {

void CheckNotWriting(const QString& path, const QString& busy, const char* what)
{
    if (!busy.isEmpty() && SameFile(path, busy))
        throw Exception(QStringLiteral("Não foi possível usar o arquivo \"%1\": %2 está sendo feita nele.")
                            .arg(path, QString::fromUtf8(what))
                            .toStdString());
}

}  // namespace

TDataJobs::TDataJobs(const TSession& session, TReporter report, QObject* parent)
    : QObject(parent), m_session(session), m_report(std::move(report)), m_recorder(session)
{
    connect(&m_recorder, &TRecorder::stateChanged, this, &TDataJobs::recordingStateChanged);
    connect(&m_recorder, &TRecorder::failed, this, [this](const QString& path, const QString& message) {
        emit recordingFailed(path);
        Report(message);
    });
    connect(&m_recorder, &TRecorder::saved, this, &TDataJobs::recordingSaved);
}

// An export still running is interrupted; its file's thread removes it.
TDataJobs::~TDataJobs() = default;

void TDataJobs::Report(const QString& message)
{
    if (m_report)
        m_report(message.toStdString());
}

void TDataJobs::StartRecording(const QString& path)
{
    if (m_export)
        CheckNotWriting(path, m_export->Path(), "uma exportação");
    try {
        m_recorder.Start(path);
    } catch (...) {
        emit recordingFailed(path);
        throw;
    }
}


void TDataJobs::StopRecording()
{
    m_recorder.Stop();
}

void TDataJobs::StartExport(const QString& path, TExportFormat format)
{
    if (m_export)
        return;
    for (const QString& recording : m_recorder.PathsInUse())
        CheckNotWriting(path, recording, "a gravação");
    try {
        m_export = std::make_unique<TSessionExport>(m_session, path, format);
    } catch (...) {
        emit exportFailed(path);
        throw;
    }
    TSessionExport* job = m_export.get();
    connect(job, &TSessionExport::succeeded, this, [this, job] {
        const QString done = job->Path();
        const std::uint64_t rows = job->Rows();
        EndExport();
        emit exportSaved(done, rows);
    });
    connect(job, &TSessionExport::failed, this, [this, job](const QString& message) {
        const QString failedPath = job->Path();
        EndExport();
        emit exportFailed(failedPath);
        Report(message);
    });
    connect(job, &TSessionExport::cancelled, this, &TDataJobs::EndExport);
    m_export->Start();
}

void TDataJobs::CancelExport()
{
    // The export ends once its file's thread has removed what it wrote.
    if (m_export)
        m_export->Cancel();
}

void TDataJobs::EndExport()
{
    // The export may be inside its own signal: it goes once that returns.
    if (m_export) {
        m_export->disconnect(this);
        m_export.release()->deleteLater();
    }
    emit exportEnded();
}

void TDataJobs::CheckNotInUse(const QString& path) const
{
    for (const QString& recording : m_recorder.PathsInUse())
        CheckNotWriting(path, recording, "a gravação");
    if (m_export)
        CheckNotWriting(path, m_export->Path(), "uma exportação");
}

void TDataJobs::Shutdown(std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    if (m_export) {
        m_export->disconnect(this);
        m_export->Cancel();
        m_export.reset();  // waits a moment for its thread to remove the file
        emit exportEnded();
    }
    for (const QString& problem : m_recorder.Shutdown(deadline))
        Report(problem);
}
