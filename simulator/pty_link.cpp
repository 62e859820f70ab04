#include "pty_link.h"

#include "exception.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ReadLink(const std::string& path)
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    return n < 0 ? std::string() : std::string(buffer, size_t(n));
}

} // namespace

TPtyLink::TPtyLink(std::string linkPath, std::string target)
    : m_path(std::move(linkPath)), m_target(std::move(target))
{
    if (m_path.empty())
        throw Exception("--link: empty path");
    struct stat st {};
    if (::lstat(m_path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
        throw Exception("--link: " + m_path + " exists and is not a symbolic link; not replacing it");

    // Made under a name of its own beside the path, then renamed over it:
    // a reader of the path sees the old link or the new one, never none.
    const std::string temporary = m_path + ".accel-sim-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(m_target.c_str(), temporary.c_str()) != 0)
        throw Exception("--link: cannot create " + temporary + ": " + std::strerror(errno));
    if (::rename(temporary.c_str(), m_path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw Exception("--link: cannot create " + m_path + ": " + std::strerror(error));
    }
}

TPtyLink::~TPtyLink()
{
    if (StillOurs())
        ::unlink(m_path.c_str());
}

bool TPtyLink::StillOurs() const
{
    return ReadLink(m_path) == m_target;
}
