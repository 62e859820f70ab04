#include "paced_writer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <unistd.h>

TPacedWriter::~TPacedWriter()
{
    Stop();
}

void TPacedWriter::Start(int fd, std::vector<uint8_t> bytes, double bytesPerSecond, double packetSeconds)
{
    auto shared = std::make_shared<std::vector<uint8_t>>(std::move(bytes));
    bool given = false;
    Start(
        fd,
        [shared, given](std::vector<uint8_t>& out) mutable {
            if (given)
                return false;
            given = true;
            out.swap(*shared);
            return true;
        },
        bytesPerSecond, packetSeconds);
}

void TPacedWriter::Start(int fd, TProducer producer, double bytesPerSecond, double packetSeconds)
{
    Stop();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = false;
        m_finished = false;
        m_error.clear();
    }
    m_written = 0;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    m_running = true;
    m_thread = std::thread(&TPacedWriter::Run, this, fd, std::move(producer), bytesPerSecond, packetSeconds);
}

void TPacedWriter::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    m_running = false;
}

bool TPacedWriter::WaitFinished(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto done = [this] { return m_finished; };
    if (timeoutMs < 0) {
        m_cv.wait(lock, done);
        return true;
    }
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
}

std::string TPacedWriter::Error() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_error;
}

void TPacedWriter::Run(int fd, TProducer producer, double bytesPerSecond, double packetSeconds)
{
    using Clock = std::chrono::steady_clock;
    const bool paced = bytesPerSecond > 0;
    // Bytes written together: one, or a packet's worth of line time.
    const double packet = paced ? std::max(1.0, bytesPerSecond * std::max(0.0, packetSeconds)) : 0.0;
    // Largest burst after a stall: ~50 ms of line time, at least one frame
    // and one packet.
    const double maxTokens = paced ? std::max({3.0, bytesPerSecond * 0.05, packet}) : 0.0;
    double tokens = paced ? std::min(3.0, maxTokens) : 0.0;
    bool ended = false;  // the producer has nothing more
    auto last = Clock::now();

    std::vector<uint8_t> pending;
    size_t offset = 0;
    std::string error;

    auto stopRequested = [this] {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_stop;
    };
    // Sleeps up to `us`, waking early on Stop(). Returns true when stopping.
    auto sleepFor = [this](std::chrono::microseconds us) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, us, [this] { return m_stop; });
    };

    std::vector<uint8_t> more;
    while (!stopRequested()) {
        if (offset == pending.size()) {
            pending.clear();
            offset = 0;
            if (ended || !producer(pending))
                break;
            continue;
        }
        // A packet may span what the producer hands over in several calls.
        // What was written goes first, so that the buffer holds no more
        // than a packet and a call's worth.
        if (!ended && double(pending.size() - offset) < packet) {
            pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(offset));
            offset = 0;
            while (!ended && double(pending.size()) < packet) {
                more.clear();
                if (!producer(more))
                    ended = true;
                pending.insert(pending.end(), more.begin(), more.end());
            }
        }
        size_t n = pending.size() - offset;
        if (paced) {
            const auto now = Clock::now();
            tokens = std::min(maxTokens, tokens + bytesPerSecond * std::chrono::duration<double>(now - last).count());
            last = now;
            // The last bytes of a stream go out as soon as they are due.
            const double due = std::min(packet, double(n));
            if (tokens < due) {
                const double wait = (due - tokens) / bytesPerSecond;
                const auto us = std::chrono::microseconds(std::max<long>(1000, long(wait * 1e6)));
                if (sleepFor(us))
                    break;
                continue;
            }
            n = std::min(n, size_t(tokens));
        }
        pollfd p{fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, 20);
        if (r < 0 && errno != EINTR) {
            error = std::string("poll: ") + std::strerror(errno);
            break;
        }
        if (r <= 0)
            continue; // not writable yet (line full) or interrupted
        if (!(p.revents & POLLOUT)) {
            if (p.revents & (POLLERR | POLLNVAL)) {
                error = "the output descriptor failed";
                break;
            }
            if (sleepFor(std::chrono::microseconds(5000)))
                break;
            continue;
        }
        const ssize_t w = ::write(fd, pending.data() + offset, n);
        if (w < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            error = std::string("write: ") + std::strerror(errno);
            break;
        }
        offset += size_t(w);
        m_written += uint64_t(w);
        if (paced)
            tokens -= double(w);
    }

    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = error;
        m_finished = true;
    }
    m_running = false;
    m_cv.notify_all();
}
