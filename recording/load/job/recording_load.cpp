#include "recording_load.h"

#include "file_names.h"

#include <chrono>

TRecordingLoad::TRecordingLoad(const QString& path, TSession& session, TLoadOptions options, QObject* parent)
    : QObject(parent),
      m_path(path),
      // The name's own bytes, also where they are not valid UTF-8.
      m_loader(EncodeFileName(path.toStdU16String()), session, std::move(options))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TRecordingLoad::Slice);
}

TRecordingLoad::~TRecordingLoad()
{
    // The workers end before this object: no wake can come after it.
    m_loader.Cancel();
}

void TRecordingLoad::Start()
{
    m_clock.start();
    m_loader.Start([this] { Wake(); });
    m_timer.start(0);
}

void TRecordingLoad::Cancel()
{
    m_timer.stop();
    m_loader.Cancel();
}

void TRecordingLoad::Wake()
{
    // One queued call at a time, however many slices get parsed meanwhile.
    if (!m_wakePosted.exchange(true))
        QMetaObject::invokeMethod(this, &TRecordingLoad::Slice, Qt::QueuedConnection);
}

void TRecordingLoad::Slice()
{
    m_wakePosted = false;
    if (m_loader.Ended())
        return;  // cancelled, or a wake after the end
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(SliceMs);
    const TRecordingLoader::TAppendState state = m_loader.AppendReady(deadline);
    const qint64 now = m_clock.elapsed();
    const TLoadProgress done = m_loader.Progress();
    // The first rows are told at once: they are the first picture.
    const bool firstRows = !m_rowsTold && done.Rows > 0;
    if (state == TRecordingLoader::TAppendState::Ended || m_lastProgressMs < 0 || firstRows
        || now - m_lastProgressMs >= ProgressMs) {
        m_lastProgressMs = now;
        m_rowsTold = done.Rows > 0;
        emit progress(qint64(done.Rows), done.Permille());
        if (m_loader.Ended() && state != TRecordingLoader::TAppendState::Ended)
            return;  // cancelled by whoever heard of the progress
    }
    if (state == TRecordingLoader::TAppendState::Ended)
        emit finished();
    else if (state == TRecordingLoader::TAppendState::MoreReady)
        m_timer.start(0);
    // Waiting: the next parsed slice wakes it.
}
