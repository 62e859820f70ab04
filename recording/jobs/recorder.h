#pragma once
// A recording: every frame the session receives from the moment it starts
// goes to a CSV file (csv_rows.h), whether the port is open or not, across
// stops, starts and reconnections; it reads the session, not the port.
//
// A timer writes the new rows and hands them to the kernel every
// FlushIntervalMs, and has the disk sync them about once a second on a
// thread of its own, so a crash loses at most the last quarter second and
// a power loss about a second, while the GUI thread never waits for the
// disk. Stop writes the rest and closes the file.
//
// A failure while recording (a full disk, a write error) stops the
// recording, keeps what was written, and is reported once through
// `failed`; capture goes on.

#include "session.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>

class TFileWriter;

// What the status line shows of a recording.
struct TRecordingState {
    bool Active = false;
    QString Path;           // the file, while active and after it stopped
    std::uint64_t Rows = 0; // rows handed to the file so far
};

class TRecorder : public QObject {
    Q_OBJECT
public:
    static constexpr int FlushIntervalMs = 250;
    static constexpr int SyncEveryFlushes = 4;

    explicit TRecorder(const TSession& session, QObject* parent = nullptr);
    ~TRecorder() override;

    // Starts recording to path (created or emptied) from the session's next
    // frame, stopping a recording in progress first. Throws Exception when
    // the file cannot be written; nothing is recording then.
    void Start(const QString& path);
    // Writes the rows not yet written and closes the file. Nothing when not
    // recording. Throws Exception when that fails; the recording has
    // stopped either way.
    void Stop();

    bool Active() const { return m_file != nullptr; }
    TRecordingState State() const { return m_state; }

signals:
    // Started, stopped, or rows written.
    void stateChanged(const TRecordingState& state);
    // The recording met a failure and stopped; message names the file.
    void failed(const QString& message);

private:
    void Tick();
    void WriteNewRows();
    void SetState(bool active);
    // Stops the timer and lets the file go; the recording is over.
    void End();

    const TSession& m_session;
    std::unique_ptr<TFileWriter> m_file;
    std::uint64_t m_nextFrame = 0;
    int m_flushes = 0;
    QTimer m_timer;
    TRecordingState m_state;
};

Q_DECLARE_METATYPE(TRecordingState)
