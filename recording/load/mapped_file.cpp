#include "mapped_file.h"

#include "exception.h"
#include "file_writer.h"

#include <cerrno>
#include <csignal>
#include <mutex>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The guard of the thread that is reading a mapping, if any.
thread_local TMappedFile::TGuardScope* t_guard = nullptr;
struct sigaction g_previous;

void OnBusError(int signal, siginfo_t* info, void* context)
{
    TMappedFile::TGuardScope* guard = t_guard;
    const char* address = static_cast<const char*>(info->si_addr);
    if (guard != nullptr && address >= guard->Begin && address < guard->Begin + guard->Bytes) {
        t_guard = nullptr;
        siglongjmp(guard->Jump, 1);
    }
    // Not a read of ours: as before the handler was installed.
    if (g_previous.sa_flags & SA_SIGINFO) {
        g_previous.sa_sigaction(signal, info, context);
        return;
    }
    if (g_previous.sa_handler == SIG_IGN)
        return;
    if (g_previous.sa_handler != SIG_DFL) {
        g_previous.sa_handler(signal);
        return;
    }
    ::signal(SIGBUS, SIG_DFL);
    ::raise(SIGBUS);
}

void InstallHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previous);
    });
}

constexpr std::uint64_t PageBytes = 4096;

}  // namespace

TMappedFile::TGuardScope::TGuardScope(const char* begin, std::size_t bytes) : Begin(begin), Bytes(bytes)
{
    InstallHandler();
}

void TMappedFile::TGuardScope::Arm()
{
    t_guard = this;
}

TMappedFile::TGuardScope::~TGuardScope()
{
    t_guard = nullptr;
}

TMappedFile::TMappedFile(const std::string& path) : m_path(path)
{
    auto fail = [&](int error) {
        throw Exception("Não foi possível abrir \"" + path + "\": " + ErrnoReason(error) + ".");
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        fail(errno);
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        fail(error);
    }
    if (S_ISDIR(status.st_mode)) {
        ::close(fd);
        fail(EISDIR);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        throw Exception("Não foi possível abrir \"" + path + "\": não é um arquivo comum (uma gravação é um arquivo "
                        "num disco, não um dispositivo ou um pipe).");
    }
    m_size = std::uint64_t(status.st_size);
    if (m_size > 0) {
        m_mapped = std::size_t(m_size);
        void* data = ::mmap(nullptr, m_mapped, PROT_READ, MAP_SHARED, fd, 0);
        if (data == MAP_FAILED) {
            const int error = errno;
            ::close(fd);
            fail(error);
        }
        m_data = static_cast<char*>(data);
        ::madvise(m_data, m_mapped, MADV_SEQUENTIAL);
    }
    m_fd = fd;
    InstallHandler();
}

TMappedFile::~TMappedFile()
{
    if (m_data != nullptr)
        ::munmap(m_data, m_mapped);
    if (m_fd >= 0)
        ::close(m_fd);
}

bool TMappedFile::Shrank() const
{
    struct stat status {};
    return ::fstat(m_fd, &status) == 0 && std::uint64_t(status.st_size) < m_size;
}

void TMappedFile::Prefetch(std::uint64_t begin, std::uint64_t end) const
{
    end = end < m_size ? end : m_size;
    begin &= ~(PageBytes - 1);
    if (begin < end)
        ::madvise(m_data + begin, std::size_t(end - begin), MADV_POPULATE_READ);
}

void TMappedFile::Drop(std::uint64_t begin, std::uint64_t end) const
{
    // Only whole pages inside the range: a neighbour may be reading the
    // page at either edge (dropping it would cost it a fault, no more).
    begin = (begin + PageBytes - 1) & ~(PageBytes - 1);
    end = end < m_size ? end & ~(PageBytes - 1) : (m_size + PageBytes - 1) & ~(PageBytes - 1);
    if (begin < end)
        ::madvise(m_data + begin, std::size_t(end - begin), MADV_DONTNEED);
}
