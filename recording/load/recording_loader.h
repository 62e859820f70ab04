#pragma once
// A recording (csv_rows.h) read back into a session: the frames with their
// values, validity, indexes, order and times, so that the session written
// out again gives the same file, byte for byte.
//
// The file is mapped at the size it has when opened (a recording still
// being written opens as far as it goes) and parsed in slices on worker
// threads (slice_pipeline.h); the frames are appended to the session in
// file order by AppendReady, on the thread that owns the session, a few
// milliseconds at a time, so that whatever shows the session can show what
// has loaded between two calls. The session is only ever touched by that
// thread: the workers hand over parsed rows, never the session itself.
// Parsed rows waiting to be appended are bounded (a few slices), so the
// load needs little more memory than the session it fills.
//
// How it ends (TLoadResult): complete; complete without a last line cut
// short (a recording ended by a crash or power loss); stopped at a bad row,
// with what came before kept; cancelled; stopped for lack of memory; or
// stopped because the file became shorter meanwhile. Each with a message in
// Portuguese for the user. A file that is not a recording, or too large for
// the memory free, is refused when opened.
//
// Qt-free.

#include "mapped_file.h"
#include "slice_pipeline.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class TSession;

enum class TLoadStatus {
    Loading,
    Complete,     // every row, but perhaps a last one cut short
    BadRow,       // stopped at a line that is not a row
    Cancelled,
    NoMemory,     // stopped before the memory ran out
    FileShrank,   // another program truncated the file meanwhile
};

struct TLoadResult {
    TLoadStatus Status = TLoadStatus::Loading;
    // Frames appended to the session.
    std::uint64_t Rows = 0;
    // The file ended with a line without its line end, which was left out.
    bool LastRowCut = false;
    // The line (1 = the header) where the load stopped or that was left out;
    // 0 when none.
    std::uint64_t Line = 0;
    // For the user: why the load stopped, or what was left out. Empty for a
    // complete load that left nothing out.
    std::string Message;

    // The session holds only the beginning of the file's rows.
    bool Partial() const { return Status != TLoadStatus::Complete && Status != TLoadStatus::Loading; }
};

struct TLoadProgress {
    std::uint64_t Rows = 0;        // appended so far
    std::uint64_t Bytes = 0;       // of the file, read and appended
    std::uint64_t TotalBytes = 0;  // of the file when opened
    int Permille() const { return TotalBytes == 0 ? 1000 : int(Bytes * 1000 / TotalBytes); }
};

struct TLoadOptions {
    TSlicePipeline::TSettings Parsing;
    // Memory the system can still give, in bytes; nothing when unknown.
    // By default MemAvailable from /proc/meminfo.
    std::function<std::optional<std::uint64_t>()> AvailableMemory;
    // The load stops while this much memory is still free; it looks every
    // so many rows.
    std::uint64_t ReserveBytes = std::uint64_t(64) << 20;
    std::uint64_t RowsPerMemoryCheck = std::uint64_t(1) << 20;
};

// MemAvailable of /proc/meminfo, in bytes.
std::optional<std::uint64_t> SystemAvailableMemory();

class TRecordingLoader {
public:
    // Opens path for loading into session, which must be empty. Throws
    // Exception when the file cannot be read, is not a recording or would
    // not fit in the memory free.
    TRecordingLoader(const std::string& path, TSession& session, TLoadOptions options = {});
    ~TRecordingLoader();
    TRecordingLoader(const TRecordingLoader&) = delete;
    TRecordingLoader& operator=(const TRecordingLoader&) = delete;

    // Starts parsing. onReady is called on a worker thread whenever parsed
    // rows wait for AppendReady after it found none; it must not touch the
    // session, only wake the thread that owns it.
    void Start(std::function<void()> onReady = {});

    enum class TAppendState {
        Waiting,    // no parsed rows ready: onReady tells when there are
        MoreReady,  // the deadline passed with parsed rows waiting
        Ended,      // Result says how
    };
    // Appends the rows parsed so far, in order, until none are ready or the
    // deadline passes.
    TAppendState AppendReady(std::chrono::steady_clock::time_point deadline);

    // Ends the load where it stands (the rows appended stay); waits for the
    // workers to end the slice each parses (about a millisecond a megabyte).
    void Cancel();

    bool Ended() const { return m_result.Status != TLoadStatus::Loading; }
    const TLoadResult& Result() const { return m_result; }
    TLoadProgress Progress() const;
    const std::string& Path() const { return m_file.Path(); }

private:
    void Finish(TLoadStatus status, std::uint64_t line, const std::string& problem);
    std::string Message(TLoadStatus status, std::uint64_t line, const std::string& problem) const;
    // Rows of the head slice that may be appended: up to the first that does
    // not follow the rows before it; sets m_joinProblem for that one.
    std::size_t JoinedRows(const TParsedSlice& slice);
    // The head slice is appended up to m_stopRow: go on to the next, or end.
    void EndSlice(const TParsedSlice& slice);
    bool MemoryRunningOut() const;

    TMappedFile m_file;
    TSession& m_session;
    TLoadOptions m_options;
    std::uint64_t m_rowsBegin = 0;
    std::unique_ptr<TSlicePipeline> m_pipeline;
    TLoadResult m_result;

    // The rows appended so far: last time and next index of each axis.
    std::int64_t m_lastTimeUs = -1;
    std::int64_t m_nextIndex[AxisCount] = {-1, -1, -1};
    // Within the head slice.
    bool m_joined = false;
    std::size_t m_cursor = 0;
    std::size_t m_stopRow = 0;
    std::string m_joinProblem;
    std::uint64_t m_bytesDone = 0;
    std::uint64_t m_rowsAtMemoryCheck = 0;
};

// Loads the whole file into session on this thread, waiting for the
// workers. For tools and tests; a window uses TRecordingLoader in slices.
// Throws as the loader's constructor does.
TLoadResult LoadRecording(const std::string& path, TSession& session, TLoadOptions options = {});
