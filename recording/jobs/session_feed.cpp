#include "session_feed.h"

#include "csv_rows.h"
#include "export_rows.h"
#include "file_writer.h"
#include "session.h"

#include <QMetaObject>
#include <QPointer>

#include <algorithm>

TSessionFeed::TSessionFeed(const TSession& session, std::unique_ptr<TFileWriter> file, std::uint64_t from,
                           std::string header, TWriterThread::TClock::duration syncEvery, QObject* parent,
                           std::unique_ptr<TExportRows> rows)
    : QObject(parent),
      m_session(session),
      m_from(from),
      m_next(from),
      m_end(from),
      m_header(std::move(header)),
      m_rows(std::move(rows))
{
    // Called on the writer's thread: the work is done on this object's.
    m_writer = std::make_unique<TWriterThread>(std::move(file), syncEvery, [this] {
        QMetaObject::invokeMethod(this, &TSessionFeed::OnWake, Qt::QueuedConnection);
    });
    // The header goes at once, so that a file that cannot take it fails
    // before the first rows.
    HandNext();
}

// The writer's thread is interrupted and let go; its calls stop before
// this object goes.
TSessionFeed::~TSessionFeed() = default;

void TSessionFeed::FeedTo(std::uint64_t to)
{
    m_end = std::max(m_end, std::min(to, m_rows ? m_rows->RowCount() : m_session.FrameCount()));
    OnWake();
}

void TSessionFeed::Close()
{
    m_closeAsked = true;
    OnWake();
}

void TSessionFeed::Interrupt()
{
    m_writer->Interrupt();
}

bool TSessionFeed::HandNext()
{
    if (m_closing || !m_writer->CanHand())
        return false;
    if (m_next == m_end && m_header.empty()) {
        if (!m_closeAsked)
            return false;
        // Everything is handed: the thread closes once it has written it.
        m_closing = true;
        m_writer->Close();
        return true;
    }
    const std::uint64_t to = std::min(m_end, m_next + SliceRows);
    TTextBuffer text = m_writer->TakeSpare();
    text.Append(m_header);
    m_header.clear();
    if (m_rows)
        m_rows->Append(to - m_next, text);
    else
        AppendSessionRows(m_session, m_next, to, text);
    m_writer->Hand(std::move(text), to - m_next);
    m_next = to;
    return true;
}

void TSessionFeed::OnWake()
{
    HandNext();
    const TWriterThread::TStatus status = m_writer->Status();
    if (status.Written != m_lastWritten) {
        m_lastWritten = status.Written;
        emit progressed();
    }
    if (status.Ended && !m_endedSent) {
        m_endedSent = true;
        emit ended();
    }
}

bool TSessionFeed::FinishBy(TWriterThread::TClock::time_point deadline)
{
    m_closeAsked = true;
    while (!m_closing) {
        if (!m_writer->WaitToHand(deadline))
            return false;
        if (m_writer->Status().Ended)
            break;
        HandNext();
    }
    return m_writer->WaitEnded(deadline) && m_writer->Status().Closed;
}

std::uint64_t TSessionFeed::RowsWritten() const
{
    return m_writer->Status().Written;
}
