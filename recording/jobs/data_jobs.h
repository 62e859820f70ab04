#pragma once
// The jobs that write the session to files: the recording (recorder.h) and
// one export at a time (session_export.h). Qt Core only, so that whatever
// starts them (the window's actions, the command line, a test) needs no
// widgets, and no window need exist for them to run.
//
// Starting or stopping a job throws Exception to its caller; a failure met
// while a job runs by itself goes to the reporter, and the job ends. A file
// one job writes is never taken by another: the recording would go on into
// a file that no longer has a name, or the export would end by putting its
// rows over the recording.

#include "export_rows.h"
#include "recorder.h"
#include "reporter.h"

#include <QObject>
#include <QString>

#include <memory>

class TSession;
class TSessionExport;

class TDataJobs : public QObject {
    Q_OBJECT
public:
    // session outlives this object: the recording reads it until then.
    TDataJobs(const TSession& session, TReporter report, QObject* parent = nullptr);
    ~TDataJobs() override;

    // Throws Exception when the recording cannot start.
    void StartRecording(const QString& path);
    // Throws Exception when the last rows cannot be written; the recording
    // has stopped either way.
    void StopRecording();
    bool IsRecording() const { return m_recorder.Active(); }
    TRecordingState RecordingState() const { return m_recorder.State(); }

    // Starts exporting the frames held now to path, in format, from the
    // event loop. Nothing while an export runs. Throws Exception when the
    // file cannot be created.
    void StartExport(const QString& path, TExportFormat format = TExportFormat::Recording);
    // Ends a running export; nothing is left under its name.
    void CancelExport();
    // The running export, for its progress; null when none runs.
    TSessionExport* Export() const { return m_export.get(); }

    // Throws Exception naming the job when one is writing path.
    void CheckNotInUse(const QString& path) const;

    // Closing: a running export is cancelled and the recording finished.
    // Throws Exception when finishing the recording fails.
    void Shutdown();

signals:
    void recordingStateChanged(const TRecordingState& state);
    // The running export has ended: complete, failed (and reported) or
    // cancelled.
    void exportEnded();

private:
    void EndExport();

    const TSession& m_session;
    TReporter m_report;
    TRecorder m_recorder;
    std::unique_ptr<TSessionExport> m_export;
};
