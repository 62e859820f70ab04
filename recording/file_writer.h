#pragma once
// A file written through a POSIX descriptor with a large buffer of its own,
// for recordings and exports that run to hundreds of megabytes.
//
// Two ways to write:
// - Direct: into the file itself, created or truncated at once, so that
//   what was flushed is in the file even if the program dies (a
//   recording).
// - Replace: into a new temporary file in the same directory, renamed over
//   the chosen name only by Close, so that a cancelled or failed write
//   leaves nothing half-written under that name (an export). A name that
//   is a symbolic link replaces the file it points to; a name that is not a
//   regular file (a device such as /dev/null or /dev/full, a pipe) cannot be
//   replaced and is written directly.
// A pipe that no program reads yet fails at once instead of waiting for one.
// A pipe (or a terminal, a socket) whose reader has stopped reading makes
// the write wait for room; with an interrupt descriptor given
// (SetInterrupt), that wait ends as soon as the descriptor becomes
// readable, and the write fails as interrupted.
//
// Every failure (open, write, a full disk, sync, close, rename) is thrown
// as an Exception whose Portuguese message names the file and the reason.
// After a failure the writer is spent: only Discard and destruction remain.
//
// A direct file is text in lines (the rows of a recording). A write that
// fails part way, as on a disk that fills up, would leave the file ending
// inside a line, which a reader takes for a row with wrong values: the
// file is cut back to the end of its last whole line before the failure
// is thrown.
//
// Syncing: SyncInBackground starts an fdatasync on a thread of its own, so
// that the thread writing (the GUI thread) never waits for the disk; its
// failure is thrown by the next Flush, PollSync or Close. Close syncs the
// rest itself before closing.
//
// Qt-free. Not thread-safe: one thread uses the writer (writer_thread.h
// runs one on a thread of its own).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

class TFileWriter {
public:
    enum class TMode { Direct, Replace };

    // Bytes the writer gathers before handing them to the kernel.
    static constexpr std::size_t BufferBytes = std::size_t(1) << 20;

    // Opens (Direct) or prepares (Replace) path. Throws Exception.
    TFileWriter(const std::string& path, TMode mode);
    // Without Close: the descriptor is closed and a Replace leaves no file,
    // nothing reported (whoever wanted the file closed it).
    ~TFileWriter();
    TFileWriter(const TFileWriter&) = delete;
    TFileWriter& operator=(const TFileWriter&) = delete;

    // The name as given.
    const std::string& Path() const { return m_path; }

    // Room for at least bytes (at most BufferBytes) at the end of the
    // buffer; hands the buffer to the kernel first when it is too full.
    // Write there, then Commit the end of what was written.
    char* Reserve(std::size_t bytes)
    {
        if (m_used + bytes > BufferBytes)
            Flush();
        return m_buffer.get() + m_used;
    }
    void Commit(const char* end) { m_used = std::size_t(end - m_buffer.get()); }
    void Write(std::string_view text);

    // Hands the buffered bytes to the kernel.
    void Flush();
    // A descriptor that, once readable, ends any wait for a reader to make
    // room; -1 for none. The writer does not own it.
    void SetInterrupt(int fd) { m_interrupt = fd; }
    // True when a write failed because the interrupt came.
    bool Interrupted() const { return m_interrupted; }
    // Bytes handed to the kernel so far.
    std::uint64_t BytesWritten() const { return m_written; }
    // Of them, those up to the end of the last whole line.
    std::uint64_t WholeLineBytes() const { return m_wholeLines; }

    // Starts syncing what was flushed so far to the disk, unless a sync is
    // still running or nothing was written since the last one. Throws the
    // failure of the sync before it, if any.
    void SyncInBackground();
    // True while a background sync runs; throws its failure once it ended.
    bool PollSync();

    // Flushes, syncs, closes; a Replace then takes the chosen name.
    void Close();
    // Closes without keeping anything new: a Replace removes its temporary
    // file (a Direct file keeps what was flushed). Never throws.
    void Discard();

private:
    [[noreturn]] void Fail(const char* what, int error);
    [[noreturn]] void FailWrite(int error);
    // Waits until the descriptor takes more bytes; false when interrupted.
    bool WaitForRoom();
    void JoinSync();
    void CloseDescriptor();

    std::string m_path;    // as given
    std::string m_target;  // the file that takes the name (links resolved)
    std::string m_temporary;  // Replace: the file written; empty when direct
    int m_fd = -1;
    int m_interrupt = -1;
    bool m_interrupted = false;
    bool m_failed = false;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    std::uint64_t m_written = 0;
    std::uint64_t m_wholeLines = 0;
    std::uint64_t m_syncedBytes = 0;  // written when the last sync started
    std::thread m_sync;
    std::atomic<bool> m_syncDone{true};
    std::atomic<int> m_syncError{0};
};

// The Portuguese words for an errno value, with the system's own text in
// parentheses, e.g. "não há espaço livre no disco (No space left on device)".
std::string ErrnoReason(int error);
