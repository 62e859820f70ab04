#include "work_sharing.h"

#include <system_error>

TWorkSharing::~TWorkSharing()
{
    if (!m_helper.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_helper.join();
}

bool TWorkSharing::StartHelper()
{
    if (!m_helperTried) {
        m_helperTried = true;
        if (std::thread::hardware_concurrency() > 1) {
            try {
                m_helper = std::thread(&TWorkSharing::Help, this);
            } catch (const std::system_error&) {
                // Without a helper every job runs on the caller.
            }
        }
    }
    return m_helper.joinable();
}

void TWorkSharing::Run(std::size_t count, const std::function<void(std::size_t)>& job)
{
    if (count <= 1 || !StartHelper()) {
        for (std::size_t i = 0; i < count; ++i)
            job(i);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_job = &job;
        m_count = count;
        m_next = 0;
        m_failure = nullptr;
        m_open = true;
        ++m_run;
    }
    m_wake.notify_one();
    std::exception_ptr failure = Drain();
    std::unique_lock<std::mutex> lock(m_mutex);
    // A helper that has not joined yet (its processor busy elsewhere) is
    // not waited for: it will find the run closed.
    m_open = false;
    m_done.wait(lock, [this] { return !m_helping; });
    m_job = nullptr;
    if (!failure)
        failure = m_failure;
    m_failure = nullptr;
    lock.unlock();
    if (failure)
        std::rethrow_exception(failure);
}

std::exception_ptr TWorkSharing::Drain()
{
    for (;;) {
        std::size_t i;
        {
            // Jobs take milliseconds: a lock per job costs nothing next to
            // them, and keeps every shared field under the one mutex.
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_next >= m_count)
                return nullptr;
            i = m_next++;
        }
        try {
            (*m_job)(i);
        } catch (...) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_next = m_count;  // skip the rest
            return std::current_exception();
        }
    }
}

void TWorkSharing::Help()
{
    unsigned long seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || (m_open && m_run != seen); });
            if (m_stop)
                return;
            seen = m_run;
            m_helping = true;
        }
        std::exception_ptr failure = Drain();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (failure && !m_failure)
                m_failure = failure;
            m_helping = false;
        }
        m_done.notify_one();
    }
}
