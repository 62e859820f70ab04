#pragma once
// A recording: every frame the session receives from the moment it starts
// goes to a CSV file (csv_rows.h), whether the port is open or not, across
// stops, starts and reconnections; it reads the session, not the port.
//
// Every FlushIntervalMs the new rows go to the file's own thread
// (session_feed.h), which hands them to the kernel and has the disk sync
// them about once a second: a crash loses at most the last quarter second
// and a power loss about a second, while the GUI thread never waits for
// the disk or for a reader. A reader that stops reading only makes the
// file fall behind: the state says by how many frames.
//
// Stop ends the recording at the frames held then; the file gets them and
// is closed on its thread, and `saved` says so. A stopped recording that is
// still finishing keeps its file (a new recording may start meanwhile, into
// another file). Shutdown finishes them all within a deadline, for the
// program's end.
//
// A failure while recording (a full disk, a write error) stops the
// recording, keeps what was written, and is reported once through
// `failed`; capture goes on.

#include "session.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

class TSessionFeed;

// What the status line shows of a recording.
struct TRecordingState {
    bool Active = false;
    QString Path;              // the file, while active and after it stopped
    std::uint64_t Rows = 0;    // rows handed to the file so far
    // Frames received that are not in the file yet, while the file lags
    // a second or more behind them; 0 while it keeps up.
    std::uint64_t Behind = 0;
    bool Finishing = false;    // stopped, the last rows still on their way
};

// True when the two names are one file (or would be, once created).
bool SameFile(const QString& a, const QString& b);

class TRecorder : public QObject {
    Q_OBJECT
public:
    static constexpr int FlushIntervalMs = 250;
    static constexpr std::chrono::milliseconds SyncInterval{1000};
    // The file lags when its first missing frame came this long before the
    // newest: a recording that keeps up is never more than a flush behind.
    static constexpr std::int64_t LagShownUs = 1000000;

    explicit TRecorder(const TSession& session, QObject* parent = nullptr);
    ~TRecorder() override;

    // Starts recording to path (created or emptied) from the session's next
    // frame, stopping a recording in progress first. Throws Exception when
    // the file cannot be opened, or when a stopped recording still writes
    // it; a failure of the first write comes through `failed`.
    void Start(const QString& path);
    // Ends the recording at the frames held now; the file gets them and is
    // closed on its own thread (`saved` or `failed` follows). Nothing when
    // not recording.
    void Stop();
    // The program's end: stops the recording and waits for every file to
    // get its rows and close, until deadline. Returns what went wrong,
    // each naming its file: failures, and what did not reach a file in time.
    QStringList Shutdown(std::chrono::steady_clock::time_point deadline);

    bool Active() const { return m_active != nullptr; }
    // Files that a recording (active or finishing) writes.
    QStringList PathsInUse() const;
    TRecordingState State() const;

signals:
    // Started, stopped, finished, or rows written.
    void stateChanged(const TRecordingState& state);
    // The recording into path met a failure and stopped; message names the
    // file and the reason.
    void failed(const QString& path, const QString& message);
    // A stopped recording's file got its last row and was closed.
    void saved(const QString& path, std::uint64_t rows);

private:
    struct TFile {
        QString Path;
        std::unique_ptr<TSessionFeed> Feed;
    };
    void Tick();
    void FeedEnded(TSessionFeed* feed);
    void Changed();
    std::uint64_t BehindOf(const TSessionFeed& feed) const;

    const TSession& m_session;
    TSessionFeed* m_active = nullptr;
    std::vector<TFile> m_files;  // the active one and those finishing
    QString m_lastPath;
    std::uint64_t m_lastRows = 0;
    QTimer m_timer;
};

Q_DECLARE_METATYPE(TRecordingState)
