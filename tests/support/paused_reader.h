#pragma once
// The reading end of a FIFO held open by a reader that does not read, as a
// program stopped with Ctrl+Z or busy elsewhere: whatever writes into the
// pipe fills it and then waits. Resume reads everything from then on, on a
// thread of its own, until the writer closes the pipe.
//
// So that a writer that waits on the thread it should not wait on makes the
// test fail rather than hang, a watchdog resumes the reader after
// watchdogSeconds; a test checks WatchdogFired() to tell.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

class TPausedReader {
public:
    TPausedReader(const std::string& fifo, int watchdogSeconds = 10)
    {
        ::mkfifo(fifo.c_str(), 0600);
        m_fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        m_watchdog = std::thread([this, watchdogSeconds] {
            std::unique_lock<std::mutex> hold(m_lock);
            if (!m_changed.wait_for(hold, std::chrono::seconds(watchdogSeconds), [&] { return m_resumed || m_ending; })) {
                m_watchdogFired = true;
                hold.unlock();
                Resume();
            }
        });
    }
    ~TPausedReader()
    {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_ending = true;
        }
        m_changed.notify_all();
        m_watchdog.join();
        m_stop = true;
        if (m_reading.joinable())
            m_reading.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TPausedReader(const TPausedReader&) = delete;
    TPausedReader& operator=(const TPausedReader&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    // Bytes waiting in the pipe, unread.
    int Waiting() const
    {
        int bytes = 0;
        return ::ioctl(m_fd, FIONREAD, &bytes) == 0 ? bytes : -1;
    }
    bool WatchdogFired() const { return m_watchdogFired; }
    // Makes the pipe hold about bytes (at least a page); returns what it holds.
    int SetPipeSize(int bytes) { return ::fcntl(m_fd, F_SETPIPE_SZ, bytes); }

    void Resume()
    {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (m_resumed)
                return;
            m_resumed = true;
        }
        m_changed.notify_all();
        m_reading = std::thread([this] {
            char buffer[65536];
            while (!m_stop) {
                pollfd fd{m_fd, POLLIN, 0};
                if (::poll(&fd, 1, 20) <= 0)
                    continue;
                const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
                if (n == 0 && m_sawData) {
                    m_ended = true;  // the writer closed the pipe
                    return;
                }
                if (n > 0) {
                    std::lock_guard<std::mutex> hold(m_lock);
                    m_text.append(buffer, std::size_t(n));
                    m_sawData = true;
                }
            }
        });
    }
    // Once the writer has closed the pipe, after Resume.
    bool Ended() const { return m_ended; }
    std::string Text() const
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_text;
    }

private:
    int m_fd = -1;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_resumed = false;
    bool m_ending = false;
    std::atomic<bool> m_watchdogFired{false};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_ended{false};
    std::atomic<bool> m_sawData{false};
    std::string m_text;
    std::thread m_watchdog;
    std::thread m_reading;
};
