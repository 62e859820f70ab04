#include "session_export.h"

#include "file_names.h"
#include "file_writer.h"
#include "session_feed.h"

#include <QMetaObject>

TSessionExport::TSessionExport(const TSession& session, const QString& path, TExportFormat format, QObject* parent)
    : QObject(parent), m_path(path)
{
    auto file = std::make_unique<TFileWriter>(EncodeFileName(path.toStdU16String()), TFileWriter::TMode::Replace);
    auto rows = std::make_unique<TExportRows>(session, format);
    m_total = rows->RowCount();
    const std::string header(rows->Header());
    // Synced once, whole, before the rename: syncing while the rows are
    // still written gains little and slows the writes.
    m_feed = std::make_unique<TSessionFeed>(session, std::move(file), 0, header,
                                            TWriterThread::TClock::duration::zero(), nullptr, std::move(rows));
    connect(m_feed.get(), &TSessionFeed::progressed, this, &TSessionExport::Progressed);
    connect(m_feed.get(), &TSessionFeed::ended, this, &TSessionExport::Ended);
}

TSessionExport::~TSessionExport() = default;

void TSessionExport::Start()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_cancelled)
                return;
            m_feed->FeedTo(m_total);
            m_feed->Close();
        },
        Qt::QueuedConnection);
}

void TSessionExport::Cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    m_feed->Interrupt();
}

void TSessionExport::Progressed()
{
    if (!m_cancelled)
        emit progress(m_total == 0 ? 1000 : int(m_feed->RowsWritten() * 1000 / m_total));
}

void TSessionExport::Ended()
{
    const TWriterThread::TStatus status = m_feed->Status();
    // Complete before a late Cancel took effect: the file is there.
    if (status.Closed)
        emit succeeded();
    else if (m_cancelled)
        emit cancelled();
    else
        emit failed(QString::fromStdString(status.Error));
}
