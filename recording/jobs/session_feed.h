#pragma once
// The session's rows on their way to a file written on a thread of its own
// (writer_thread.h): the GUI thread, where the session grows and which
// alone may read it (the session is not thread-safe), formats the rows of
// a range of frames into slices and hands each to the writer's thread
// once that has taken the one before. The rows not handed yet stay in the
// session, which keeps every frame anyway: a reader that stops reading a
// pipe only makes the file fall behind, and memory holds at most two
// slices, never a queue of rows.
//
// A recording moves the end of the range forward as frames arrive; an
// export fixes it at the start, and may write other rows than the frames'
// (export_rows.h: then the range counts those rows). Once the end is reached and Close was
// asked, the writer's thread closes the file (the sync, the close and a
// replacement's rename happen there too) and the feed ends.

#include "export_rows.h"
#include "writer_thread.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class TFileWriter;
class TSession;

class TSessionFeed : public QObject {
    Q_OBJECT
public:
    // Rows formatted into one slice at most: a few milliseconds of the
    // GUI thread's time, about two megabytes.
    static constexpr std::uint64_t SliceRows = 32768;

    // Writes the rows of the session's frames from `from` on into file,
    // after `header`; or, given rows, those (from 0). session outlives this
    // object.
    TSessionFeed(const TSession& session, std::unique_ptr<TFileWriter> file, std::uint64_t from,
                 std::string header, TWriterThread::TClock::duration syncEvery, QObject* parent = nullptr,
                 std::unique_ptr<TExportRows> rows = nullptr);
    ~TSessionFeed() override;

    // The frames up to `to` (not past those the session holds) are to be
    // written; hands the next slices as the writer takes them.
    void FeedTo(std::uint64_t to);
    std::uint64_t End() const { return m_end; }
    // Once every frame up to End() is written, the file is closed.
    void Close();
    // Ends at once; a direct file keeps what was written, a replacement goes.
    void Interrupt();

    // Blocking, for the program's end: hands every slice up to End() as the
    // writer takes it, then closes, until the deadline. True when the file
    // was closed complete by then.
    bool FinishBy(TWriterThread::TClock::time_point deadline);

    // Rows handed to the kernel, without the header.
    std::uint64_t RowsWritten() const;
    // The first frame not yet in the file.
    std::uint64_t FirstUnwritten() const { return m_from + RowsWritten(); }
    TWriterThread::TStatus Status() const { return m_writer->Status(); }
    bool Ended() const { return m_writer->Status().Ended; }

signals:
    // Rows were written.
    void progressed();
    // The writer's thread has ended: closed, failed or interrupted (Status).
    void ended();

private:
    void OnWake();
    // Hands the next slice if the writer can take one.
    bool HandNext();

    const TSession& m_session;
    std::uint64_t m_from;
    std::uint64_t m_next;  // the first frame not handed
    std::uint64_t m_end;
    std::string m_header;
    std::unique_ptr<TExportRows> m_rows;
    bool m_closeAsked = false;
    bool m_closing = false;
    bool m_endedSent = false;
    std::uint64_t m_lastWritten = 0;
    std::unique_ptr<TWriterThread> m_writer;
};
