#include "file_writer.h"

#include "exception.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string DirectoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a name stands for: a symbolic link is followed, so that an
// export through a link replaces the file it points to and keeps the link.
// A link that leads nowhere (yet) is taken as it stands.
std::string ResolveTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr)
        return path;
    return resolved;
}

// Syncing is not for every file: pipes, sockets and most devices refuse
// it, and that is no failure of the data.
bool SyncFailed(int result)
{
    return result != 0 && errno != EINVAL && errno != EROFS;
}

}  // namespace

std::string ErrnoReason(int error)
{
    const char* words;
    switch (error) {
    case ENOSPC: words = "não há espaço livre no disco"; break;
    case EDQUOT: words = "a cota de disco do usuário acabou"; break;
    case EACCES:
    case EPERM: words = "permissão negada"; break;
    case ENOENT: words = "o caminho não existe"; break;
    case ENOTDIR: words = "uma parte do caminho não é uma pasta"; break;
    case EISDIR: words = "o nome é de uma pasta"; break;
    case EROFS: words = "o sistema de arquivos é somente leitura"; break;
    case EFBIG: words = "o arquivo passou do tamanho máximo permitido"; break;
    case EIO: words = "erro de entrada e saída no dispositivo"; break;
    case ENAMETOOLONG: words = "o nome é longo demais"; break;
    case EMFILE:
    case ENFILE: words = "arquivos abertos demais"; break;
    case ENXIO: words = "nenhum programa está lendo do pipe, ou o dispositivo não está presente"; break;
    case EPIPE: words = "o programa que lia do pipe terminou"; break;
    case ECANCELED: words = "a escrita foi interrompida enquanto esperava o leitor"; break;
    default: words = "erro do sistema"; break;
    }
    return std::string(words) + " (" + std::strerror(error) + ")";
}

TFileWriter::TFileWriter(const std::string& path, TMode mode)
    : m_path(path), m_target(path), m_buffer(new char[BufferBytes])
{
    if (path.empty())
        throw Exception("Não foi possível criar o arquivo: nenhum nome foi dado.");
    int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    if (mode == TMode::Replace) {
        m_target = ResolveTarget(path);
        struct stat st {};
        const bool exists = ::stat(m_target.c_str(), &st) == 0;
        if (exists && !S_ISREG(st.st_mode)) {
            // A device or a pipe: written as it is, never replaced.
            flags = O_WRONLY | O_TRUNC | O_CLOEXEC;
        } else {
            // Replacing a file the user may not write would be a way round
            // its permissions.
            if (exists && ::access(m_target.c_str(), W_OK) != 0)
                Fail("criar o arquivo", errno);
            // A name of our own making next to the target, for the rename
            // to stay within one file system; cut short so that a name
            // near the longest allowed still leaves room for the rest.
            std::random_device seed;
            std::mt19937 random(seed());
            static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
            const std::string stem = DirectoryOf(m_target) + "/." + BaseNameOf(m_target).substr(0, 200) + ".";
            for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
                std::string name = stem;
                for (int i = 0; i < 8; ++i)
                    name += letters[random() % (sizeof(letters) - 1)];
                name += ".tmp";
                m_fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
                if (m_fd >= 0)
                    m_temporary = name;
                else if (errno != EEXIST)
                    Fail("criar o arquivo", errno);
            }
            if (m_fd < 0)
                Fail("criar o arquivo", EEXIST);
            // The new file keeps the permissions of the one it replaces;
            // should that fail it keeps the default ones, which loses no data.
            if (exists)
                (void)::fchmod(m_fd, st.st_mode & 07777);
            return;
        }
    }
    // Without O_NONBLOCK, opening a pipe waits until a program reads from
    // it, and no signal ends that wait. With it, a pipe nobody reads fails
    // at once (ENXIO); a regular file or a device opens as before. The flag
    // stays: a write to a full pipe then returns, and the wait for room is
    // one that an interrupt can end (WaitForRoom). Regular files ignore it.
    m_fd = ::open(m_target.c_str(), flags | O_NONBLOCK, 0666);
    if (m_fd < 0)
        Fail("criar o arquivo", errno);
}

TFileWriter::~TFileWriter()
{
    Discard();
}

void TFileWriter::Fail(const char* what, int error)
{
    m_failed = true;
    m_used = 0;
    Discard();
    throw Exception("Não foi possível " + std::string(what) + " \"" + m_path + "\": " + ErrnoReason(error) + ".");
}

void TFileWriter::Write(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t n = std::min(text.size(), BufferBytes);
        char* p = Reserve(n);
        std::memcpy(p, text.data(), n);
        Commit(p + n);
        text.remove_prefix(n);
    }
}

void TFileWriter::Flush()
{
    if (m_failed || m_fd < 0)
        return;
    std::size_t done = 0;
    while (done < m_used) {
        const ssize_t n = ::write(m_fd, m_buffer.get() + done, m_used - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (WaitForRoom())
                    continue;
                m_interrupted = true;
                FailWrite(ECANCELED);
            }
            FailWrite(errno);
        }
        if (n == 0)
            FailWrite(EIO);
        // Rows are short: the last line end is found a few bytes back.
        const char* const begin = m_buffer.get() + done;
        if (const void* end = ::memrchr(begin, '\n', std::size_t(n)))
            m_wholeLines = m_written + std::uint64_t(static_cast<const char*>(end) - begin) + 1;
        done += std::size_t(n);
        m_written += std::uint64_t(n);
    }
    m_used = 0;
    PollSync();
}

bool TFileWriter::WaitForRoom()
{
    pollfd fds[2] = {{m_fd, POLLOUT, 0}, {m_interrupt, POLLIN, 0}};
    const nfds_t count = m_interrupt >= 0 ? 2 : 1;
    for (;;) {
        const int ready = ::poll(fds, count, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return true;  // the write says what is wrong
        if (count == 2 && fds[1].revents != 0)
            return false;
        if (fds[0].revents != 0)
            return true;  // room, or an error the write reports
    }
}

void TFileWriter::FailWrite(int error)
{
    // A replacement is thrown away whole; a device or a pipe cannot be cut
    // and has nothing after its last line end that a reader would keep.
    if (m_temporary.empty() && m_fd >= 0 && m_written != m_wholeLines) {
        struct stat st {};
        // Should the cut fail too, the write's failure is still the one
        // to report.
        if (::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(m_fd, off_t(m_wholeLines)) != 0) {
        }
    }
    Fail("gravar no arquivo", error);
}

void TFileWriter::JoinSync()
{
    if (m_sync.joinable())
        m_sync.join();
}

bool TFileWriter::PollSync()
{
    if (!m_syncDone.load())
        return true;
    JoinSync();
    if (const int error = m_syncError.exchange(0))
        Fail("gravar no arquivo", error);
    return false;
}

void TFileWriter::SyncInBackground()
{
    if (m_failed || m_fd < 0 || PollSync() || m_written == m_syncedBytes)
        return;
    m_syncedBytes = m_written;
    m_syncDone = false;
    const int fd = m_fd;
    try {
        m_sync = std::thread([this, fd] {
            if (SyncFailed(::fdatasync(fd)))
                m_syncError = errno;
            m_syncDone = true;
        });
    } catch (...) {
        // No thread to spare: the sync waits for Close.
        m_syncDone = true;
    }
}

void TFileWriter::Close()
{
    if (m_failed || m_fd < 0)
        return;
    Flush();
    JoinSync();
    PollSync();
    if (SyncFailed(::fdatasync(m_fd)))
        Fail("gravar no arquivo", errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR)
        Fail("gravar no arquivo", errno);
    if (m_temporary.empty())
        return;
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        Fail("salvar o arquivo", errno);
    m_temporary.clear();
    // The new name on the disk too. Should this fail the file is complete
    // and in place, only not yet certain to survive a power loss.
    const int dir = ::open(DirectoryOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
}

void TFileWriter::CloseDescriptor()
{
    JoinSync();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void TFileWriter::Discard()
{
    CloseDescriptor();
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }
    m_failed = true;
}
