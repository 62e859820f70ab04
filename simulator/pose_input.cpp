#include "pose_input.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

void TPoseInput::Poll(int timeoutMs, const TOnPose& onPose, const TOnBad& onBad)
{
    if (m_ended)
        return;
    pollfd p{m_fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready <= 0)
        return;
    char buffer[256];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        m_ended = true;
        if (!m_pending.empty())
            Line(std::move(m_pending), onPose, onBad);
        m_pending.clear();
        return;
    }
    m_pending.append(buffer, std::size_t(n));
    std::size_t end;
    while ((end = m_pending.find('\n')) != std::string::npos) {
        std::string line = m_pending.substr(0, end);
        m_pending.erase(0, end + 1);
        Line(std::move(line), onPose, onBad);
    }
}

void TPoseInput::Line(std::string line, const TOnPose& onPose, const TOnBad& onBad)
{
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return;
    line = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
    TPose pose;
    if (ParsePose(line, pose))
        onPose(pose);
    else
        onBad(line);
}
