#include "pty_pair.h"

#include "exception.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

speed_t SpeedConstant(int baud)
{
    switch (baud) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return B0;
    }
}

std::string SystemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

} // namespace

void MakeRawTty(int fd, const std::string& what, int baud)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        throw Exception(SystemError(what + ": tcgetattr"));
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CRTSCTS | CSTOPB);
    if (baud > 0) {
        const speed_t s = SpeedConstant(baud);
        if (s == B0)
            throw Exception(what + ": unsupported baud rate " + std::to_string(baud));
        cfsetispeed(&t, s);
        cfsetospeed(&t, s);
    }
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        throw Exception(SystemError(what + ": tcsetattr"));
}

TPtyPair::TPtyPair(bool keepSlaveOpen)
{
    char name[256] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
        throw Exception(SystemError("openpty"));
    m_slavePath = name;
    try {
        // On Linux both ends share one termios; setting it through each end
        // keeps this correct on systems where they do not.
        MakeRawTty(m_slave, m_slavePath);
        MakeRawTty(m_master, "pty master");
    } catch (...) {
        CloseSlave();
        CloseMaster();
        throw;
    }
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    if (!keepSlaveOpen)
        CloseSlave();
}

TPtyPair::~TPtyPair()
{
    CloseSlave();
    CloseMaster();
}

void TPtyPair::CloseMaster()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

void TPtyPair::CloseSlave()
{
    if (m_slave >= 0) {
        ::close(m_slave);
        m_slave = -1;
    }
}

bool TPtyPair::HasReader() const
{
    if (m_master < 0)
        return false;
    // While no process has the slave open, poll on the master reports
    // POLLHUP at once; it stops doing so when the slave is opened.
    pollfd p{m_master, POLLOUT, 0};
    return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

bool TPtyPair::WaitForReader(int timeoutMs) const
{
    if (m_master < 0)
        return false;
    const int stepMs = 10;
    int waited = 0;
    for (;;) {
        if (HasReader())
            return true;
        if (timeoutMs >= 0 && waited >= timeoutMs)
            return false;
        ::usleep(stepMs * 1000);
        waited += stepMs;
    }
}
