#include "session_export.h"

#include "exception.h"
#include "file_writer.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>

namespace {

// Rows written between two looks at the clock: well under a millisecond.
constexpr std::uint64_t RowsPerStep = 8192;

}  // namespace

TSessionExport::TSessionExport(const TSession& session, const QString& path, TExportFormat format, QObject* parent)
    : QObject(parent),
      m_session(session),
      m_path(path),
      m_file(std::make_unique<TFileWriter>(QFile::encodeName(path).toStdString(), TFileWriter::TMode::Replace)),
      m_rows(session, format)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TSessionExport::Slice);
    m_file->Write(m_rows.Header());  // buffered: it cannot fail yet
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
        if (m_rows.AtEnd()) {
            Finish();
            return;
        }
        QElapsedTimer clock;
        clock.start();
        do {
            m_rows.Write(RowsPerStep, *m_file);
        } while (!m_rows.AtEnd() && clock.elapsed() < SliceMs);
        if (m_rows.AtEnd()) {
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
    const std::uint64_t total = m_rows.RowCount();
    emit progress(total == 0 ? 1000 : int(m_rows.RowsWritten() * 1000 / total));
    if (m_cancelled)
        return;  // from whoever heard of the progress
    m_timer.start(m_rows.AtEnd() ? SyncPollMs : 0);
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
