#include "session_export.h"

#include "csv_rows.h"
#include "exception.h"
#include "file_writer.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>

namespace {

// Rows written between two looks at the clock: well under a millisecond.
constexpr std::uint64_t RowsPerStep = 8192;

}  // namespace

TSessionExport::TSessionExport(const TSession& session, const QString& path, QObject* parent)
    : QObject(parent),
      m_session(session),
      m_path(path),
      m_file(std::make_unique<TFileWriter>(QFile::encodeName(path).toStdString(), TFileWriter::TMode::Replace)),
      m_total(session.FrameCount())
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TSessionExport::Slice);
    m_file->Write(CsvHeader);  // buffered: it cannot fail yet
}

TSessionExport::~TSessionExport() = default;

void TSessionExport::Start()
{
    m_timer.start(0);
}

void TSessionExport::Cancel()
{
    m_cancelled = true;
    m_timer.stop();
    if (m_file)
        m_file->Discard();
}

void TSessionExport::Slice()
{
    try {
        if (m_done == m_total) {
            Finish();
            return;
        }
        QElapsedTimer clock;
        clock.start();
        do {
            const std::uint64_t to = std::min(m_total, m_done + RowsPerStep);
            WriteSessionRows(m_session, m_done, to, *m_file);
            m_done = to;
        } while (m_done < m_total && clock.elapsed() < SliceMs);
        if (m_done == m_total) {
            // The rest goes to the disk on a thread of its own while the
            // window carries on. (Syncing while the rows are still written
            // gains little and holds up the writes, and with them the
            // window, for tens of milliseconds.)
            m_file->Flush();
            m_file->SyncInBackground();
        }
    } catch (...) {
        m_file->Discard();
        emit failed(QString::fromStdString(CurrentExceptionText()));
        return;
    }
    emit progress(m_total == 0 ? 1000 : int(m_done * 1000 / m_total));
    if (m_cancelled)
        return;  // from whoever heard of the progress
    m_timer.start(m_done == m_total ? SyncPollMs : 0);
}

void TSessionExport::Finish()
{
    if (m_file->PollSync()) {
        m_timer.start(SyncPollMs);
        return;
    }
    m_file->Close();
    emit succeeded();
}
