#pragma once
// A file mapped read-only into memory, as large as it was when opened.
//
// A recording may still be written by the program that records it: what
// is added later is not seen. A file that another program truncates while
// it is read would end the process with SIGBUS at the first page past its
// new end; reads of the mapping therefore go through Guarded, which turns
// that into a false result on the thread that read.
//
// The pages read are the kernel's page cache: Drop gives back their place
// in this process' resident memory once they are parsed (they stay cached),
// so that loading a large file does not make the process look as large.
//
// Qt-free.

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

class TMappedFile {
public:
    // Opens and maps path. Throws Exception naming the file and the reason.
    explicit TMappedFile(const std::string& path);
    ~TMappedFile();
    TMappedFile(const TMappedFile&) = delete;
    TMappedFile& operator=(const TMappedFile&) = delete;

    const std::string& Path() const { return m_path; }
    // Bytes when opened; the mapping covers them.
    std::uint64_t Size() const { return m_size; }
    const char* Data() const { return m_data; }
    // True when the file is now shorter than when it was opened (its last
    // pages may then read as zeros, or not at all).
    bool Shrank() const;

    // Runs read(), which reads the mapping; false when the file became
    // shorter than a page it read (read() was then cut off where it stood:
    // it must leave nothing half done that matters, and take no locks).
    template <typename F>
    bool Guarded(F&& read) const
    {
        TGuardScope scope(m_data, m_mapped);
        if (sigsetjmp(scope.Jump, 1) != 0)
            return false;
        scope.Arm();
        std::forward<F>(read)();
        return true;
    }

    // Asks for the pages of [begin, end) to be read in ahead of use; gives
    // back their place in resident memory once used. Best effort: both
    // only change how fast it goes.
    void Prefetch(std::uint64_t begin, std::uint64_t end) const;
    void Drop(std::uint64_t begin, std::uint64_t end) const;

    // What Guarded arms on its thread while read() runs.
    struct TGuardScope {
        TGuardScope(const char* begin, std::size_t bytes);
        ~TGuardScope();
        void Arm();
        sigjmp_buf Jump;
        const char* Begin;
        std::size_t Bytes;
    };

private:
    std::string m_path;
    std::uint64_t m_size = 0;
    char* m_data = nullptr;
    std::size_t m_mapped = 0;
    int m_fd = -1;
};
