#pragma once
// A recording read back into a session from the event loop
// (recording_loader.h): the rows are parsed on worker threads and appended
// to the session here, on the thread that owns the session, in slices of a
// few milliseconds, so that the window stays responsive and a chart on the
// session shows what has loaded as it loads (the session's listeners are
// told of the first append, as for points from the port).
//
// Qt Core only.

#include "recording_loader.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>

class TSession;

class TRecordingLoad : public QObject {
    Q_OBJECT
public:
    // Time spent appending per turn of the event loop.
    static constexpr int SliceMs = 4;
    // Least time between two progress signals.
    static constexpr int ProgressMs = 50;

    // Opens path for loading into session (empty, owned by the caller, not
    // changed elsewhere until the load ends). Throws Exception when the file
    // cannot be read, is not a recording or is too large for the memory.
    TRecordingLoad(const QString& path, TSession& session, TLoadOptions options = {}, QObject* parent = nullptr);
    ~TRecordingLoad() override;

    // Begins loading.
    void Start();
    // Stops where it stands; the rows appended stay. No signal follows;
    // Result says it was cancelled.
    void Cancel();

    const QString& Path() const { return m_path; }
    TLoadProgress Progress() const { return m_loader.Progress(); }
    // How the load ended, and the message for the user (recording_loader.h).
    const TLoadResult& Result() const { return m_loader.Result(); }
    bool Ended() const { return m_loader.Ended(); }

signals:
    // Rows appended so far, and the share of the file they are, in
    // thousandths: at the start, once the first rows are appended, then at
    // most every ProgressMs.
    void progress(qint64 rows, int permille);
    // The load ended (complete, stopped at a bad row, short of memory, ...):
    // Result says how.
    void finished();

private:
    void Slice();
    // From a worker thread: rows wait to be appended.
    void Wake();

    QString m_path;
    TRecordingLoader m_loader;
    QTimer m_timer;
    QElapsedTimer m_clock;
    std::atomic<bool> m_wakePosted{false};
    qint64 m_lastProgressMs = -1;
    bool m_rowsTold = false;
};
