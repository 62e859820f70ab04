#pragma once
// The jobs that write the session to files: the recording (recorder.h) and
// one export at a time (session_export.h). Qt Core only, so that whatever
// starts them (the window's actions, the command line, a test) needs no
// widgets, and no window need exist for them to run.
//
// Starting a job throws Exception to its caller when its file cannot be
// opened; a failure met while a job runs by itself (its first write too)
// goes to the reporter, and the job ends. Every write, sync, close and
// rename happens on a file's own thread. A file one job writes is never
// taken by another: the recording would go on into a file that no longer
// has a name, or the export would end by putting its rows over the
// recording.

#include "export_rows.h"
#include "recorder.h"
#include "reporter.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>

class TSession;
class TSessionExport;

class TDataJobs : public QObject {
    Q_OBJECT
public:
    // session outlives this object: the recording reads it until then.
    TDataJobs(const TSession& session, TReporter report, QObject* parent = nullptr);
    ~TDataJobs() override;

    // How long the program's end waits for the files to get their last
    // rows: a reader that stopped reading a pipe for longer loses them.
    static constexpr std::chrono::milliseconds ShutdownWait{5000};

    // Throws Exception when the recording cannot start.
    void StartRecording(const QString& path);
    // Ends the recording at the frames held now; its file gets them and is
    // closed in the background (recordingSaved, or a report).
    void StopRecording();
    bool IsRecording() const { return m_recorder.Active(); }
    TRecordingState RecordingState() const { return m_recorder.State(); }
    // True while a file is still being written: a recording, one that
    // stopped and is finishing, or an export.
    bool Writing() const { return !m_recorder.PathsInUse().isEmpty() || m_export; }

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

    // Closing: a running export is cancelled and the recordings finished,
    // waiting for them at most `wait`. What fails, or does not reach its
    // file in time, goes to the reporter.
    void Shutdown(std::chrono::milliseconds wait = ShutdownWait);

signals:
    void recordingStateChanged(const TRecordingState& state);
    // The running export has ended: complete, failed (and reported) or
    // cancelled.
    void exportEnded();
    // A file is complete: a stopped recording or an export, with its rows.
    void recordingSaved(const QString& path, std::uint64_t rows);
    void exportSaved(const QString& path, std::uint64_t rows);
    // A job's file could not be opened (the caller has the exception) or
    // met a failure later (the reporter has it).
    void recordingFailed(const QString& path);
    void exportFailed(const QString& path);

private:
    void EndExport();
    void Report(const QString& message);

    const TSession& m_session;
    TReporter m_report;
    TRecorder m_recorder;
    std::unique_ptr<TSessionExport> m_export;
};
