#include "recorder.h"

#include "csv_rows.h"
#include "exception.h"
#include "file_names.h"
#include "file_writer.h"
#include "session_feed.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace {

QString Plural(std::uint64_t n, const char* one, const char* many)
{
    static const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    return QStringLiteral("%1 %2").arg(brazil.toString(qulonglong(n)), QString::fromUtf8(n == 1 ? one : many));
}

}  // namespace

bool SameFile(const QString& a, const QString& b)
{
    const auto canonical = [](const QString& path) {
        const QFileInfo info(path);
        const QString resolved = info.canonicalFilePath();
        return resolved.isEmpty() ? info.absoluteFilePath() : resolved;
    };
    return canonical(a) == canonical(b);
}

TRecorder::TRecorder(const TSession& session, QObject* parent) : QObject(parent), m_session(session)
{
    m_timer.setInterval(FlushIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &TRecorder::Tick);
}

// Whatever still writes is let go: the window finishes the recordings with
// Shutdown before it goes.
TRecorder::~TRecorder() = default;

void TRecorder::Start(const QString& path)
{
    Stop();
    for (const TFile& file : m_files) {
        if (SameFile(path, file.Path))
            throw Exception(QStringLiteral("Não foi possível usar o arquivo \"%1\": a gravação anterior ainda está "
                                           "terminando de gravar nele.")
                                .arg(path)
                                .toStdString());
    }
    auto writer = std::make_unique<TFileWriter>(EncodeFileName(path.toStdU16String()), TFileWriter::TMode::Direct);
    auto feed = std::make_unique<TSessionFeed>(m_session, std::move(writer), m_session.FrameCount(),
                                               std::string(CsvHeader), SyncInterval);
    TSessionFeed* raw = feed.get();
    connect(raw, &TSessionFeed::progressed, this, &TRecorder::Changed);
    connect(raw, &TSessionFeed::ended, this, [this, raw] { FeedEnded(raw); });
    m_files.push_back({path, std::move(feed)});
    m_active = raw;
    m_lastPath = path;
    m_lastRows = 0;
    m_timer.start();
    Changed();
}

void TRecorder::Stop()
{
    if (!m_active)
        return;
    TSessionFeed* feed = m_active;
    m_active = nullptr;
    feed->FeedTo(m_session.FrameCount());
    feed->Close();
    Changed();
}

void TRecorder::Tick()
{
    if (m_active)
        m_active->FeedTo(m_session.FrameCount());
}

void TRecorder::FeedEnded(TSessionFeed* feed)
{
    const auto it = std::find_if(m_files.begin(), m_files.end(), [&](const TFile& f) { return f.Feed.get() == feed; });
    if (it == m_files.end())
        return;
    const TWriterThread::TStatus status = feed->Status();
    const QString path = it->Path;
    const std::uint64_t rows = feed->RowsWritten();
    if (m_active == feed)
        m_active = nullptr;
    if (path == m_lastPath)
        m_lastRows = rows;
    // The feed is inside its own signal: it goes once that returns.
    it->Feed.release()->deleteLater();
    m_files.erase(it);
    if (m_files.empty())
        m_timer.stop();
    Changed();
    if (!status.Error.empty())
        emit failed(path, QString::fromStdString(status.Error));
    else if (status.Closed)
        emit saved(path, rows);
}

QStringList TRecorder::Shutdown(std::chrono::steady_clock::time_point deadline)
{
    Stop();
    m_timer.stop();
    QStringList problems;
    for (TFile& file : m_files) {
        TSessionFeed& feed = *file.Feed;
        feed.disconnect(this);
        if (feed.FinishBy(deadline))
            continue;
        const TWriterThread::TStatus status = feed.Status();
        if (!status.Error.empty()) {
            problems << QString::fromStdString(status.Error);
            continue;
        }
        const std::uint64_t missing = feed.End() - feed.FirstUnwritten();
        feed.Interrupt();
        problems << (missing > 0 ? QStringLiteral("A gravação em \"%1\" não terminou a tempo: %2 não chegaram ao "
                                                  "arquivo (o programa que lê dele parou de ler?).")
                                       .arg(file.Path, Plural(missing, "quadro", "quadros"))
                                 : QStringLiteral("A gravação em \"%1\" não terminou a tempo: todas as linhas foram "
                                                  "entregues ao sistema, mas o arquivo não foi fechado.")
                                       .arg(file.Path));
    }
    if (!m_files.empty()) {
        m_lastRows = m_files.back().Feed->RowsWritten();
        m_files.clear();  // each thread still writing is let go
    }
    Changed();
    return problems;
}

QStringList TRecorder::PathsInUse() const
{
    QStringList paths;
    for (const TFile& file : m_files)
        paths << file.Path;
    return paths;
}

std::uint64_t TRecorder::BehindOf(const TSessionFeed& feed) const
{
    const std::uint64_t newest = m_session.FrameCount();
    const std::uint64_t first = feed.FirstUnwritten();
    const std::uint64_t end = &feed == m_active ? newest : feed.End();
    if (first >= end)
        return 0;
    // Measured in the frames' own receive times: a file that keeps up is
    // at most one flush behind the newest frame it was given.
    const std::int64_t lagUs = m_session.Record(end - 1).TimeUs - m_session.Record(first).TimeUs;
    return lagUs >= LagShownUs ? end - first : 0;
}

TRecordingState TRecorder::State() const
{
    TRecordingState state;
    state.Path = m_lastPath;
    state.Rows = m_lastRows;
    const TSessionFeed* shown = m_active;
    if (!shown && !m_files.empty())
        shown = m_files.back().Feed.get();
    if (shown) {
        state.Active = shown == m_active;
        state.Finishing = !state.Active;
        state.Path = m_active ? m_lastPath : m_files.back().Path;
        state.Rows = shown->RowsWritten();
        state.Behind = BehindOf(*shown);
    }
    return state;
}

void TRecorder::Changed()
{
    emit stateChanged(State());
}
