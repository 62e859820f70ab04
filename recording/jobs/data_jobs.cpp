#include "data_jobs.h"

#include "exception.h"
#include "session_export.h"

#include <QFileInfo>

namespace {

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
    connect(&m_recorder, &TRecorder::failed, this, [this](const QString& message) {
        if (m_report)
            m_report(message.toStdString());
    });
}

TDataJobs::~TDataJobs()
{
    if (m_export)
        m_export->Cancel();
}

void TDataJobs::StartRecording(const QString& path)
{
    if (m_export)
        CheckNotWriting(path, m_export->Path(), "uma exportação");
    m_recorder.Start(path);
}

void TDataJobs::StopRecording()
{
    m_recorder.Stop();
}

void TDataJobs::StartExport(const QString& path, TExportFormat format)
{
    if (m_export)
        return;
    if (m_recorder.Active())
        CheckNotWriting(path, m_recorder.State().Path, "a gravação");
    m_export = std::make_unique<TSessionExport>(m_session, path, format);
    connect(m_export.get(), &TSessionExport::succeeded, this, &TDataJobs::EndExport);
    connect(m_export.get(), &TSessionExport::failed, this, [this](const QString& message) {
        EndExport();
        if (m_report)
            m_report(message.toStdString());
    });
    m_export->Start();
}

void TDataJobs::CancelExport()
{
    if (!m_export)
        return;
    m_export->Cancel();
    EndExport();
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
    if (m_recorder.Active())
        CheckNotWriting(path, m_recorder.State().Path, "a gravação");
    if (m_export)
        CheckNotWriting(path, m_export->Path(), "uma exportação");
}

void TDataJobs::Shutdown()
{
    CancelExport();
    StopRecording();
}
