#include "recorder.h"

#include "csv_rows.h"
#include "exception.h"
#include "file_writer.h"

#include <QFile>

TRecorder::TRecorder(const TSession& session, QObject* parent) : QObject(parent), m_session(session)
{
    m_timer.setInterval(FlushIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &TRecorder::Tick);
}

TRecorder::~TRecorder()
{
    // Closing stops the recording and reports what fails then. Whatever is
    // left here (a window destroyed without closing) is written as far as
    // it can be; nobody is left to show a failure, so it goes to the log.
    if (m_file) {
        try {
            WriteNewRows();
            m_file->Close();
        } catch (...) {
            qWarning("Acelerômetro: %s", CurrentExceptionText().c_str());
        }
    }
}

void TRecorder::Start(const QString& path)
{
    // The recording in progress ends first: the new one may well be the
    // same file, which opening truncates.
    Stop();
    auto file = std::make_unique<TFileWriter>(QFile::encodeName(path).toStdString(), TFileWriter::TMode::Direct);
    // The header is written at once, so that a file that cannot take it
    // refuses the recording before it starts.
    file->Write(CsvHeader);
    file->Flush();
    m_file = std::move(file);
    m_nextFrame = m_session.FrameCount();
    m_flushes = 0;
    m_state.Path = path;
    m_state.Rows = 0;
    SetState(true);
    m_timer.start();
}

void TRecorder::Stop()
{
    if (!m_file)
        return;
    try {
        WriteNewRows();
        m_file->Close();
    } catch (...) {
        End();
        throw;
    }
    End();
}

void TRecorder::End()
{
    m_timer.stop();
    m_file.reset();
    SetState(false);
}

void TRecorder::WriteNewRows()
{
    const std::uint64_t to = m_session.FrameCount();
    WriteSessionRows(m_session, m_nextFrame, to, *m_file);
    m_file->Flush();
    m_state.Rows += to - m_nextFrame;
    m_nextFrame = to;
}

void TRecorder::Tick()
{
    const std::uint64_t before = m_nextFrame;
    try {
        WriteNewRows();
        if (++m_flushes % SyncEveryFlushes == 0)
            m_file->SyncInBackground();
    } catch (...) {
        const QString message = QString::fromStdString(CurrentExceptionText());
        // What reached the file stays there; the recording ends.
        End();
        emit failed(message);
        return;
    }
    if (m_nextFrame != before)
        emit stateChanged(m_state);
}

void TRecorder::SetState(bool active)
{
    m_state.Active = active;
    emit stateChanged(m_state);
}
